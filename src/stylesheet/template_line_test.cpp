#include "stylesheet/template_line.h"

#include <gtest/gtest.h>

#include "store/database.h"
#include "store/tables.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

RuleRow Row(const std::string& tag) {
  RuleRow row;
  row.tag = tag;
  return row;
}

TEST(TemplateLine, WorkedLines) {
  RuleRow row = Row("p-g");
  row.apply_templates = "0";
  EXPECT_EQ(TemplateLine(row), "<xsl:template match=\"p-g\"></xsl:template>");

  row.apply_templates = "1";
  EXPECT_EQ(TemplateLine(row), "<xsl:template match=\"p-g\"><xsl:apply-templates/></xsl:template>");

  row.pre_br = "1";
  row.bold = "1";
  EXPECT_EQ(TemplateLine(row),
            "<xsl:template match=\"p-g\"><br/><b><xsl:apply-templates/></b></xsl:template>");

  row = Row("p-g");
  row.apply_templates = "1";
  row.leave_tag = "1";
  row.indent = "2";
  row.pre_text = "(";
  row.post_text = ")";
  row.upper_case = "1";
  EXPECT_EQ(TemplateLine(row),
            "<xsl:template match=\"p-g\"><p-g><p><indent val=\"2\"/>(<xsl:value-of "
            "select=\"translate(., 'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ')\" "
            "/>)</p><indent val=\"1\"/></p-g></xsl:template>");
}

TEST(TemplateLine, EveryOptionInItsPlace) {
  RuleRow row = Row("x");
  for (int k = 1; k < kRuleRowSize - 1; ++k) RuleText(row, k) = "1";
  row.pre_text = "[";
  row.post_text = "]";
  const std::string sp = "<xsl:text disable-output-escaping=\"yes\">&amp;nbsp;</xsl:text>";
  EXPECT_EQ(TemplateLine(row),
            "<xsl:template match=\"x\"><br/><x><p><indent val=\"1\"/>" + sp +
                "[<b><i><sup><sub><xsl:value-of select=\"translate(., "
                "'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ')\" />"
                "</sub></sup></i></b>]" + sp + "</p><indent val=\"1\"/></x><br/></xsl:template>");
}

TEST(TemplateLine, FlagsAreOnOnlyForExactlyOne) {
  for (const char* text : {" 1", "", "0", "1 ", "yes"}) {
    RuleRow row = Row("a");
    row.apply_templates = text;
    EXPECT_EQ(TemplateLine(row), "<xsl:template match=\"a\"></xsl:template>") << text;
    row.apply_templates = "1";
    row.italic = text;
    row.lower_case = text;
    EXPECT_EQ(TemplateLine(row), "<xsl:template match=\"a\"><xsl:apply-templates/></xsl:template>");
  }
}

TEST(TemplateLine, CaseAndIndentOptions) {
  RuleRow row = Row("a");
  row.apply_templates = "1";
  row.lower_case = "1";
  EXPECT_NE(TemplateLine(row).find("'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz'"),
            std::string::npos);
  row.upper_case = "1";  // both on: upper case wins
  EXPECT_NE(TemplateLine(row).find("'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"),
            std::string::npos);

  row = Row("a");
  row.apply_templates = "1";
  row.indent = "0";
  EXPECT_EQ(TemplateLine(row),
            "<xsl:template match=\"a\"><p><indent val=\"0\"/><xsl:apply-templates/></p><indent "
            "val=\"1\"/></xsl:template>");
}

TEST(TemplateLine, SpanKeysBecomeClassPatterns) {
  EXPECT_EQ(MatchPattern("span class=\"ipa\""), "span[@class='ipa']");
  EXPECT_EQ(MatchPattern("span class=\"\""), "span[not(@class) or @class='']");
  EXPECT_EQ(MatchPattern("span class=\"it's\""), "span[@class=&quot;it's&quot;]");
  EXPECT_EQ(MatchPattern("span class=\"a'b\"c\""),
            "span[@class=concat('a', &quot;'&quot;, 'b&quot;c')]");
  // Other keys stand as they are, even odd ones.
  EXPECT_EQ(MatchPattern("span"), "span");
  EXPECT_EQ(MatchPattern("Span class=\"x\""), "Span class=\"x\"");
  EXPECT_EQ(MatchPattern("h-g"), "h-g");

  RuleRow row = Row("span class=\"a&{b}\"");
  row.apply_templates = "1";
  row.leave_tag = "1";
  EXPECT_EQ(TemplateLine(row),
            "<xsl:template match=\"span[@class='a&amp;{b}']\"><span class=\"a&amp;{{b}}\">"
            "<xsl:apply-templates/></span></xsl:template>");
}

// A working database whose xsl table holds the given rows (empty texts stay null).
void AddXslRows(const std::string& db_path, const std::vector<RuleRow>& rows) {
  store::EnsureDatabase(db_path);
  store::CreateXslTable(db_path);
  store::Connection db(db_path);
  store::Appender append(db, "xsl");
  for (const RuleRow& row : rows) {
    append.AddNew();
    for (int k = 0; k < kRuleRowSize; ++k) {
      if (!RuleText(row, k).empty()) append.SetText(kRuleColumns[k], RuleText(row, k));
    }
    append.SetText("total_count", "7");
    append.Update();
  }
}

TEST(TemplateTextForTag, TrimmedValuesWithoutCaseOrIndent) {
  testing::TempDir dir;
  const std::string db = dir / "TAVEX_data";
  EXPECT_EQ(TemplateTextForTag(db, "p-g"), "");  // no database file
  EXPECT_EQ(TemplateTextForTag("", "p-g"), "");

  RuleRow pg = Row("p-g");
  pg.apply_templates = " 1";
  pg.bold = "1\t";
  pg.upper_case = "1";
  pg.indent = "2";
  pg.pre_text = " ( ";
  RuleRow custom = Row("sense");
  custom.custom_xsl = "<xsl:template match=\"sense\"/>";
  AddXslRows(db, {pg, custom});

  EXPECT_EQ(TemplateTextForTag(db, "P-G"),
            "<xsl:template match=\"p-g\">(<b><xsl:apply-templates/></b></xsl:template>");
  EXPECT_EQ(TemplateTextForTag(db, "sense"), "<xsl:template match=\"sense\"/>");
  EXPECT_EQ(TemplateTextForTag(db, "nothing"), "<xsl:template match=\"\"></xsl:template>");
}

TEST(LoadRuleRows, TableOrderWithNullsAsEmptyTexts) {
  testing::TempDir dir;
  const std::string db = dir / "TAVEX_data";
  EXPECT_TRUE(LoadRuleRows(db).empty());
  store::EnsureDatabase(db);
  EXPECT_TRUE(LoadRuleRows(db).empty());  // no xsl table yet

  RuleRow b = Row("b-tag");
  b.apply_templates = "1";
  b.custom_xsl = "x";
  AddXslRows(db, {Row("z"), b, Row("a")});
  std::vector<RuleRow> rows = LoadRuleRows(db);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].tag, "z");
  EXPECT_EQ(rows[1].tag, "b-tag");
  EXPECT_EQ(rows[1].apply_templates, "1");
  EXPECT_EQ(rows[1].custom_xsl, "x");
  EXPECT_EQ(rows[1].leave_tag, "");
  EXPECT_EQ(rows[2].tag, "a");
}

}  // namespace
}  // namespace tavex
