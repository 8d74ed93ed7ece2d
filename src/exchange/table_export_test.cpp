#include "exchange/table_export.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "analysis/entry_table_fixture.h"
#include "analysis/statistics.h"
#include "exchange/table_import.h"
#include "fs/files.h"
#include "xml/xml.h"
#include "store/tables.h"
#include "testing/test_util.h"

namespace tavex::exchange {
namespace {

using analysis::testing::QueryRows;
using Rows = std::vector<std::vector<std::string>>;

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; true when it exits with 0.
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

TEST(CompactTagSpaceTest, RemovesSpaceBetweenTagsOnly) {
  EXPECT_EQ(CompactTagSpace("  <a>\r\n  <b> x  y </b>\t<c/>\n"), "<a><b> x  y </b><c/>");
  EXPECT_EQ(CompactTagSpace("a > b < c"), "a > b < c");
  EXPECT_EQ(CompactTagSpace("    "), "");
  EXPECT_EQ(CompactTagSpace("\x01plain\x1F"), "plain");
  EXPECT_EQ(CompactTagSpace(""), "");
}

class ExportTest : public ::testing::Test {
 protected:
  std::string db_path() const { return dir_ / "TAVEX_data"; }
  tavex::testing::TempDir dir_;
};

TEST_F(ExportTest, XslFileIsShiftJisWithCompactedValues) {
  store::CreateDatabase(db_path());
  store::CreateXslTable(db_path());
  {
    store::Connection db(db_path());
    store::Appender rows(db, "xsl");
    rows.AddNew();
    rows.SetText("tag", "span class=\"pos\"");
    rows.SetText("apply_templates", "1");
    rows.SetText("pre_text", "\xE3\x80\x90");  // 【
    rows.SetText("post_text", "   ");
    rows.SetText("custom_xsl", "  <xsl:template match=\"hw\">\r\n  <b> a  b </b>\n</xsl:template>  ");
    rows.Update();
  }
  const std::string path = dir_ / "xsl_data.xml";
  ExportXslXml(db_path(), path);

  // 【 is 81 79 in Shift_JIS.
  EXPECT_NE(ReadFile(path).find("\x81\x79"), std::string::npos);
  xml::Document doc;
  ASSERT_TRUE(doc.Load(path)) << doc.LastError();
  EXPECT_EQ(doc.DocumentElement().TagName(), "root");
  std::vector<xml::Node> tags = doc.ElementsByTagName("tags");
  ASSERT_EQ(tags.size(), 1u);
  std::vector<xml::Node> cells = tags[0].Children();
  ASSERT_EQ(cells.size(), 20u);
  EXPECT_EQ(cells[0].TagName(), "index");
  EXPECT_EQ(cells[0].Text(), "1");
  EXPECT_EQ(cells[1].Text(), "span class=\"pos\"");
  EXPECT_EQ(cells[12].TagName(), "pre_text");
  EXPECT_EQ(cells[12].Text(), "\xE3\x80\x90");
  EXPECT_EQ(cells[13].TagName(), "post_text");
  EXPECT_EQ(cells[13].Text(), "");
  EXPECT_EQ(cells[17].TagName(), "custom_xsl");
  EXPECT_EQ(cells[17].Text(), "<xsl:template match=\"hw\"><b> a  b </b></xsl:template>");
  EXPECT_EQ(cells[19].TagName(), "first_index");

  if (HaveTool("xmllint")) {
    EXPECT_TRUE(Shell("xmllint --noout '" + path + "'"));
  }
  if (HaveTool("iconv")) {
    EXPECT_TRUE(Shell("iconv -f CP932 -t UTF-8 '" + path + "' > '" + dir_.path() + "/decoded.xml'"));
    EXPECT_NE(ReadFile(dir_ / "decoded.xml").find("\xE3\x80\x90"), std::string::npos);
  }
}

TEST_F(ExportTest, CharRoundTripRestoresEveryColumn) {
  analysis::testing::WriteEntryTable(
      db_path(), {{0, "<entry>a&lt;\xC3\xA9\tb</entry>"}, {4, "<entry>\xF0\x9F\x98\x80\xE3\x81\x82 a</entry>"}});
  tavex::testing::RecordingProgress progress;
  store::CreateCharTable(db_path());
  analysis::BuildCharTableFromStatistics(db_path(), progress);
  const std::string columns = "[ws],[ws_code],[ws_hex],[utf8_hex],[total_count],[first_index],[char_ref]";
  Rows before = QueryRows(db_path(), "select " + columns + " from [char] order by [index]");
  ASSERT_EQ(before.size(), 9u);
  EXPECT_EQ(before[2][0], "\xC3\xA9");

  const std::string path = dir_ / "char_data.xml";
  ExportCharXml(db_path(), path);
  if (HaveTool("xmllint")) {
    EXPECT_TRUE(Shell("xmllint --noout '" + path + "'"));
  }
  xml::Document doc;
  ASSERT_TRUE(doc.Load(path));
  for (const xml::Node& ws : doc.ElementsByTagName("ws")) EXPECT_EQ(ws.Text(), "");

  // A table that already numbered a row: the imported rows continue from there.
  store::ExecSql(db_path(), "DROP TABLE [char]");
  store::CreateCharTable(db_path());
  store::ExecSql(db_path(), "INSERT INTO [char]([ws]) VALUES ('z')");
  {
    store::Connection db(db_path());
    ASSERT_NO_THROW(ImportCharXml(db, path));
  }
  Rows after = QueryRows(db_path(), "select " + columns + " from [char] where [index] > 1 order by [index]");
  EXPECT_EQ(after, before);
  Rows indexes = QueryRows(db_path(), "select min([index]), max([index]) from [char] where [index] > 1");
  EXPECT_EQ(indexes, (Rows{{"2", "10"}}));
}

}  // namespace
}  // namespace tavex::exchange
