#include "book/transform.h"

#include <gtest/gtest.h>

#include "book/book_fixture.h"
#include "text/cp932.h"
#include "text/error.h"
#include "testing/test_util.h"

namespace tavex::book {
namespace {

std::string Collapse(std::string_view text) { return CollapseBlankRuns(text); }

GaijiTable TableOf(std::initializer_list<char16_t> units) {
  std::vector<GaijiChar> rows;
  for (char16_t unit : units) {
    GaijiChar row;
    row.ws = unit;
    row.ws_code = unit;
    row.ws_hex = fmt::format("{:04X}", static_cast<unsigned>(unit));
    row.reference = "&#x" + row.ws_hex + ";";
    rows.push_back(row);
  }
  return GaijiTable(std::move(rows));
}

std::vector<std::string> KeywordTexts(std::string_view xml_text, const GaijiTable& table, int mode) {
  xml::Document doc;
  EXPECT_TRUE(doc.LoadXml(xml_text));
  std::vector<std::string> texts;
  for (const Sjis& keyword : CollectKeywords(doc.DocumentElement(), table, OperatingMode{mode})) {
    texts.push_back(SjisToUtf8(keyword));
  }
  return texts;
}

TEST(CollapseBlankRuns, RunsBecomeOneTokenAndLoneTokensStay) {
  EXPECT_EQ(Collapse("a<br><br><br>b"), "a<br>b");
  EXPECT_EQ(Collapse("a&nbsp;&nbsp;b"), "a&nbsp;b");
  EXPECT_EQ(Collapse("a<br>&nbsp;<br>b"), "a<br>&nbsp;b");
  EXPECT_EQ(Collapse("a<br>b&nbsp;c"), "a<br>b&nbsp;c");
  EXPECT_EQ(Collapse("<BR><Br>x"), "<br>x");
  // A shorter run before a longer one: both collapse.
  EXPECT_EQ(Collapse("<br><br>x<br><br><br>y"), "<br>x<br>y");
  EXPECT_EQ(Utf16ToUtf8(CollapseBlankRuns(u"\u00E9<br><br>\u00E9")), "\u00E9<br>\u00E9");
}

TEST(LinkTopics, AnchorsPointAtRecordIndexesAndUnknownTopicsAtMinusOne) {
  const TopicResolver resolve = [](std::string_view id) -> std::int64_t { return id == "b_1" ? 7 : -1; };
  const Sjis text = ToSjis(std::string_view(
      "see <A topic=\"b_1\">bee</A>, <A topic=\"zz\">\u65E5</A> and <A topic=\"b_1\">bee</A>"));
  EXPECT_EQ(SjisToUtf8(LinkTopics(text, resolve)),
            "see <A href=\"#7\">bee</A>, <A href=\"#-1\">\u65E5</A> and <A href=\"#7\">bee</A>");
  // The topic reaches the lookup as UTF-8 even when it is not ASCII.
  std::string seen;
  LinkTopics(ToSjis(std::string_view("<A topic=\"\u65E5\u672C\">x</A>")), [&](std::string_view id) {
    seen = id;
    return std::int64_t{0};
  });
  EXPECT_EQ(seen, "\u65E5\u672C");
  // An id whose letters became gaiji references and entities is looked up as written in the entry.
  LinkTopics(ToSjis(std::string_view("<A topic=\"caf&#x00E9;_1 &amp; o&apos;c\">x</A>")), [&](std::string_view id) {
    seen = id;
    return std::int64_t{0};
  });
  EXPECT_EQ(seen, "caf\u00E9_1 & o'c");
}

TEST(CollectKeywords, GroupsByNameOnceEachWithPlainLettersAndPerMode) {
  const GaijiTable table = TableOf({u'\u00E9', u'\u025B'});
  const std::string entry =
      "<entry><id>ID</id><dr>run</dr><inflection>runs</inflection><pv>go on</pv>"
      "<inflection>run</inflection><vs>caf\u00E9</vs><vs>cafe</vs><vs>\u025B \u025B</vs><dr> </dr></entry>";
  EXPECT_EQ(KeywordTexts(entry, table, 0), (std::vector<std::string>{"runs", "run", "cafe"}));
  EXPECT_EQ(KeywordTexts(entry, table, 1), (std::vector<std::string>{"runs", "run", "cafe", "ID", "go on"}));
  EXPECT_EQ(KeywordTexts(entry, table, 2).size(), 5u);
  // The root is no candidate.
  EXPECT_TRUE(KeywordTexts("<dr>x</dr>", table, 0).empty());
}

TEST(CutBody, BetweenTheFirstMarkersOnly) {
  EXPECT_EQ(CutBody(SjisAscii("<html><body>\nB<br>\n</body></html>")).bytes, "\nB<br>\n");
  EXPECT_TRUE(CutBody(SjisAscii("<html><body>B")).empty());
  EXPECT_TRUE(CutBody(SjisAscii("B</body>")).empty());
  EXPECT_TRUE(CutBody(SjisAscii("</body><body>B</body>")).empty());
  EXPECT_TRUE(CutBody(SjisAscii("<body></body>")).empty());
}

class TransformEntryTest : public ::testing::Test {
 protected:
  tavex::testing::TempDir dir_;
  GaijiTable table_ = TableOf({u'\u00E9', u'\u2002'});
  TopicResolver resolve_ = [](std::string_view id) -> std::int64_t { return id == "b_1" ? 1 : -1; };
};

TEST_F(TransformEntryTest, BodyTitleAndKeywordsOfOneEntry) {
  EntryTransformer transformer(testing::WriteTestStylesheets(dir_.path()), table_, resolve_, OperatingMode{1});
  const TransformedEntry entry = transformer.TransformEntry(
      "<entry id=\"a_1\"><hw>caf\u00E9</hw><note>dropped</note><sense>one</sense><sense>two</sense>"
      "<sp>x</sp><sp>y</sp><xr to=\"b_1\">bee</xr><xr to=\"none\">no</xr><inflection>caf\u00E9s</inflection>"
      "<id>A1</id></entry>",
      "caf\u00E9\u2002au lait");
  EXPECT_TRUE(entry.parsed);
  EXPECT_EQ(SjisToUtf8(entry.title), "caf&#x00E9; au lait");
  const std::string body = SjisToUtf8(entry.body);
  EXPECT_NE(body.find("<b>caf&#x00E9;</b>"), std::string::npos) << body;
  EXPECT_EQ(body.find("dropped"), std::string::npos) << body;
  EXPECT_NE(body.find("<br>one<br>two<br>"), std::string::npos) << body;      // post+pre break collapsed
  EXPECT_NE(body.find("&nbsp;x&nbsp;y&nbsp;"), std::string::npos) << body;
  EXPECT_NE(body.find("<A href=\"#1\">bee</A>"), std::string::npos) << body;
  EXPECT_NE(body.find("<A href=\"#-1\">no</A>"), std::string::npos) << body;
  EXPECT_EQ(body.find("<body>"), std::string::npos);
  ASSERT_EQ(entry.keywords.size(), 2u);
  EXPECT_EQ(entry.keywords[0].bytes, "cafes");
  EXPECT_EQ(entry.keywords[1].bytes, "A1");
}

TEST_F(TransformEntryTest, XmlThatDoesNotParseGivesOnlyTheTitle) {
  EntryTransformer transformer(testing::WriteTestStylesheets(dir_.path()), table_, resolve_, OperatingMode{0});
  for (const char* xml_text : {"<entry><hw>broken</entry>", ""}) {
    const TransformedEntry entry = transformer.TransformEntry(xml_text, "t\u00E9");
    EXPECT_FALSE(entry.parsed);
    EXPECT_TRUE(entry.body.empty());
    EXPECT_TRUE(entry.keywords.empty());
    EXPECT_EQ(entry.title.bytes, "t&#x00E9;");
  }
  // The reused document recovers for the next entry.
  EXPECT_TRUE(transformer.TransformEntry("<entry><dr>ok</dr></entry>", "ok").parsed);
}

TEST_F(TransformEntryTest, StylesheetThatDoesNotLoadNamesTheFile) {
  const std::string path = dir_ / "missing.xsl";
  try {
    EntryTransformer transformer(path, table_, resolve_, OperatingMode{0});
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace tavex::book
