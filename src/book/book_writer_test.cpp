#include "book/book_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "book/book_fixture.h"
#include "text/cp932.h"
#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex::book {
namespace {

using tavex::testing::SplitCrLf;

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

class WriteBookHtmlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteBookDatabase(
        db_,
        {{0, "<entry id=\"a_1\"><hw>\u00E9lan</hw><inflection>\u00E9lans</inflection><id>A1</id>"
             "<sense>see <xr to=\"B_1\">bee</xr></sense></entry>",
          "\u00E9lan"},
         {1, "<entry id=\"b_1\"><hw>bee</hw><dr>x-ray</dr><dr>\u65E5\u672C</dr></entry>", "bee"},
         {2, "<entry><hw>broken</entry>", "broken"},
         {3, "<entry id=\"c_1\"><hw>sea</hw></entry>", "sea"},
         {4, "", "empty"}},
        {u'\u00E9'}, {{0, "a_1"}, {1, "b_1"}, {3, "c_1"}});
    options_.database_file = db_;
    options_.main_stylesheet = testing::WriteTestStylesheets(dir_.path());
    options_.book_html = dir_ / "html_EPW";
    options_.copyright_page = dir_ / "copyright.html";
    options_.host = HostTexts{"00-11-22-33-44-55", "192.0.2.1", ""};
  }

  std::string Write(int mode) {
    options_.mode = OperatingMode{mode};
    WriteBookHtml(options_, progress_);
    return ReadFile(options_.book_html);
  }

  tavex::testing::TempDir dir_;
  std::string db_ = dir_ / "TAVEX_data";
  BookOptions options_;
  tavex::testing::RecordingProgress progress_;
};

TEST_F(WriteBookHtmlTest, WholeBookIsShiftJisWithCrLfAndOneBlockPerEntry) {
  const std::string book = Write(0);
  // An independent decoder accepts every byte.
  const std::string decode = "iconv -f CP932 -t UTF-8 '" + options_.book_html + "' > '" + (dir_ / "decoded") + "'";
  ASSERT_EQ(std::system(decode.c_str()), 0);
  const std::string text = ReadFile(dir_ / "decoded");
  EXPECT_EQ(text, SjisToUtf8(Sjis(book)));

  const std::vector<std::string> lines = SplitCrLf(book);
  EXPECT_EQ(Count(book, "\n"), Count(book, "\r\n"));
  EXPECT_EQ(Count(book, "\r"), Count(book, "\r\n"));
  ASSERT_GT(lines.size(), 11u);
  EXPECT_EQ(lines[3], "<meta name=\"GENERATOR\\\" content=\"TAVEX Toolkit Developer 0.0.10beta 2010.10.12\">");
  EXPECT_EQ(lines[7], "<dl>");
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"</dl>", "</body>", "</html>"}));

  std::vector<std::string> ids;
  const std::regex dt("<dt id=\"(\\d+)\">");
  for (std::sregex_iterator it(text.begin(), text.end(), dt), end; it != end; ++it) ids.push_back((*it)[1]);
  EXPECT_EQ(ids, (std::vector<std::string>{"0", "1", "2", "3", "4", "50080"}));

  EXPECT_NE(text.find("<dt id=\"0\">&#x00E9;lan</dt>\r\n<key title=\"elans\" type=\"前方表記\">ＥＬＡＮＳ</key>\r\n<dd><p>"),
            std::string::npos);
  EXPECT_NE(text.find("<A href=\"#1\">bee</A>"), std::string::npos);  // the id matches ignoring case
  EXPECT_NE(text.find("<key title=\"日本\" type=\"前方表記\">日本</key>"), std::string::npos);
  EXPECT_EQ(text.find("後方表記"), std::string::npos);
  EXPECT_EQ(text.find("title=\"A1\""), std::string::npos);
  // An entry that does not parse: the headword line, no keys, an empty body.
  EXPECT_NE(text.find("<dt id=\"2\">broken</dt>\r\n<dd><p>\r\n<br>\r\n</p></dd>\r\n"), std::string::npos);
  EXPECT_NE(text.find("<dt id=\"50080\">copyright_info</dt>\r\n"
                      "<key title=\"owner_info\" type=\"前方表記\">ＯＷＮＥＲＩＮＦＯ</key>\r\n"
                      "<key title=\"copyright_info\" type=\"前方表記\">ＣＯＰＹＲＩＧＨＴＩＮＦＯ</key>\r\n"
                      "<dd><p>\r\n<b>[COPYRIGHT INFORMATION]</b>"),
            std::string::npos);
  EXPECT_NE(text.find("[Physical Address]<br>00-11-22-33-44-55<br>"), std::string::npos);
  EXPECT_FALSE(FileExists(options_.book_html + ".tmp"));
}

TEST_F(WriteBookHtmlTest, BackwardKeysAndIdKeysInModesOneAndTwo) {
  for (int mode : {1, 2}) {
    const std::string text = SjisToUtf8(Sjis(Write(mode)));
    EXPECT_NE(text.find("<key title=\"elans\" type=\"前方表記\">ＥＬＡＮＳ</key>\r\n"
                        "<key title=\"elans\" type=\"後方表記\">ＥＬＡＮＳ</key>\r\n"
                        "<key title=\"A1\" type=\"前方表記\">Ａ１</key>\r\n"),
              std::string::npos)
        << mode;
    EXPECT_NE(text.find("<key title=\"copyright_info\" type=\"後方表記\">ＣＯＰＹＲＩＧＨＴＩＮＦＯ</key>\r\n<dd><p>"),
              std::string::npos);
  }
}

TEST_F(WriteBookHtmlTest, ProgressWarningAndCopyrightPage) {
  Write(0);
  ASSERT_EQ(progress_.statuses.size(), 5u);
  EXPECT_EQ(progress_.statuses.back(), "[htmlを書き出し中] 5/5");
  EXPECT_EQ(progress_.ranges, std::vector<int>{5});
  ASSERT_EQ(progress_.warnings.size(), 1u);
  EXPECT_EQ(progress_.warnings[0], "2 entries did not parse and were written without a body: first at index 2");

  const std::vector<std::string> page = SplitCrLf(ReadFile(options_.copyright_page));
  ASSERT_EQ(page.size(), 8u);
  EXPECT_EQ(page[4], "<body>");
  EXPECT_EQ(page[5].rfind("<b>[COPYRIGHT INFORMATION]</b>", 0), 0u);
  EXPECT_NE(ReadFile(options_.book_html).find(page[5]), std::string::npos);  // the same block in both
}

// A rule from a shared file can empty every definition (text output, or a template that
// replaces the whole document): the run says so in one warning.
TEST_F(WriteBookHtmlTest, EntriesTransformedIntoNoBodyAreCountedInOneWarning) {
  for (const char* custom : {"<xsl:output method=\"text\"/>", "<xsl:template match=\"/\"/>"}) {
    std::vector<RuleRow> rules = testing::TestRules();
    rules[2].custom_xsl = custom;
    options_.main_stylesheet = testing::WriteTestStylesheets(dir_.path(), rules);
    progress_.warnings.clear();
    Write(0);
    ASSERT_EQ(progress_.warnings.size(), 2u) << custom;
    EXPECT_EQ(progress_.warnings[1].rfind("3 entries have no body after the transformation and were written "
                                          "without one: first at index 0", 0), 0u) << progress_.warnings[1];
  }
}

TEST_F(WriteBookHtmlTest, EmptyTableGivesHeaderOwnerEntryAndFooter) {
  store::Connection(db_).Exec("DELETE FROM [fs_skn]");
  const std::vector<std::string> lines = SplitCrLf(Write(0));
  ASSERT_EQ(lines.size(), 8u + 6u + 3u);
  EXPECT_EQ(lines[8], "<dt id=\"50080\">copyright_info</dt>");
  EXPECT_TRUE(progress_.warnings.empty());
}

TEST(OwnerEntryId, StaysClearOfRecordIndexes) {
  EXPECT_EQ(OwnerEntryId(-1), 50080);  // an empty table
  EXPECT_EQ(OwnerEntryId(50079), 50080);
  EXPECT_EQ(OwnerEntryId(50080), 50081);  // a record holds 50080 already
  EXPECT_EQ(OwnerEntryId(70000), 70001);
}

TEST_F(WriteBookHtmlTest, FailedRunLeavesTheEarlierBookInPlace) {
  const std::string earlier = Write(0);
  options_.main_stylesheet = dir_ / "missing.xsl";
  EXPECT_THROW(Write(0), Error);
  EXPECT_EQ(ReadFile(options_.book_html), earlier);
  EXPECT_FALSE(FileExists(options_.book_html + ".tmp"));

  // A stylesheet fault inside one entry names the entry.
  std::vector<RuleRow> rules = testing::TestRules();
  rules.push_back(testing::Rule("sea"));
  rules.back().custom_xsl = "<xsl:template match=\"hw[.='sea']\"><xsl:message terminate=\"yes\">stop</xsl:message></xsl:template>";
  options_.main_stylesheet = testing::WriteTestStylesheets(dir_.path(), rules);
  try {
    Write(0);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()).rfind("entry 3 (", 0), 0u) << error.what();
  }
  EXPECT_EQ(ReadFile(options_.book_html), earlier);
}

// Entries are transformed on several threads and written in record order: the book and
// the warning are the same whatever the number of threads, and a fault is reported for
// the first faulty entry even when a later one fails sooner.
TEST_F(WriteBookHtmlTest, SameBookWhateverTheNumberOfThreads) {
  std::vector<testing::TestEntry> entries;
  std::vector<std::pair<std::int64_t, std::string>> topics;
  for (int i = 0; i < 500; ++i) {
    const std::string id = "w" + std::to_string(i);
    std::string xml = "<entry id=\"" + id + "\"><hw>w\u00E9" + std::to_string(i) + "</hw><sense>" +
                      std::string(static_cast<std::size_t>(i % 13) * 20, 'x') + " <xr to=\"w" +
                      std::to_string((i * 7) % 500) + "\">see</xr></sense><dr>d" + std::to_string(i) + "</dr></entry>";
    if (i % 97 == 3) xml = "<entry><hw>broken</entry>";
    entries.push_back({i, xml, "w\u00E9" + std::to_string(i)});
    topics.emplace_back(i, id);
  }
  std::remove(db_.c_str());
  testing::WriteBookDatabase(db_, entries, {u'\u00E9'}, topics);

  options_.now = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 40));  // one clock for every run
  options_.threads = 1;
  const std::string one = Write(1);
  const std::vector<std::string> one_warnings = progress_.warnings;
  ASSERT_EQ(one_warnings.size(), 1u);
  EXPECT_EQ(one_warnings[0], "6 entries did not parse and were written without a body: first at index 3");
  for (std::size_t threads : {2u, 4u}) {
    progress_ = {};
    options_.threads = threads;
    EXPECT_TRUE(Write(1) == one) << threads;  // (too long to print)
    EXPECT_EQ(progress_.warnings, one_warnings) << threads;
    EXPECT_EQ(progress_.statuses.back(), "[htmlを書き出し中] 500/500") << threads;
  }

  // Entry 40 is slow to fail (its transformation runs long first), entry 450 fails at once.
  std::vector<RuleRow> rules = testing::TestRules();
  rules.push_back(testing::Rule("stop"));
  rules.back().custom_xsl = "<xsl:template match=\"stop\"><xsl:message terminate=\"yes\">stop</xsl:message></xsl:template>";
  options_.main_stylesheet = testing::WriteTestStylesheets(dir_.path(), rules);
  store::Connection db(db_);
  db.Exec("UPDATE [fs_skn] SET [CONTENT_text]='<entry>" + std::string(200000, 'y') + "<stop/></entry>' WHERE [index]=40");
  db.Exec("UPDATE [fs_skn] SET [CONTENT_text]='<entry><stop/></entry>' WHERE [index]=450");
  options_.threads = 4;
  try {
    Write(1);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()).rfind("entry 40 (wé40): ", 0), 0u) << error.what();
  }
  EXPECT_TRUE(ReadFile(options_.book_html) == one);
}

}  // namespace
}  // namespace tavex::book
