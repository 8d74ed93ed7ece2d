#include "stylesheet/stylesheet_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "text/error.h"
#include "fs/files.h"
#include "xml/xml.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

RuleRow Rule(const std::string& tag, const std::string& apply = "1") {
  RuleRow row;
  row.tag = tag;
  row.apply_templates = apply;
  return row;
}

using tavex::testing::SplitCrLf;

TEST(MainStylesheet, NoRowsGiveTheNineteenFixedLines) {
  testing::TempDir dir;
  WriteMainStylesheet(dir / "epwing_dic.xsl", {});
  const std::string text = ReadFile(dir / "epwing_dic.xsl");
  std::vector<std::string> lines = SplitCrLf(text);
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"utf-8\"?>");  // no byte-order mark
  EXPECT_EQ(lines[1],
            "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
            "xmlns:html=\"http://www.w3.org/profiles/XHTML-strict\" xmlns:user=\"urn:user-scripts\">");
  EXPECT_EQ(lines[16], "");
  EXPECT_EQ(lines[17], "");
  EXPECT_EQ(lines[18], "</xsl:stylesheet>");
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
}

TEST(MainStylesheet, RowsInOrderCustomTextReplacesTheTemplate) {
  RuleRow custom = Rule("sense");
  custom.bold = "1";
  custom.custom_xsl = "<xsl:template match=\"sense\"><em><xsl:apply-templates/></em></xsl:template>";
  RuleRow accent = Rule("hw");
  accent.pre_text = "é";
  std::vector<std::string> generated{"earlier line"};
  const std::string text =
      MainStylesheetText({Rule("entry"), custom, Rule("note", "0"), accent}, &generated);
  std::vector<std::string> lines = SplitCrLf(text);
  ASSERT_EQ(lines.size(), 23u);
  EXPECT_EQ(lines[17], "<xsl:template match=\"entry\"><xsl:apply-templates/></xsl:template>");
  EXPECT_EQ(lines[18], custom.custom_xsl);
  EXPECT_EQ(lines[19], "<xsl:template match=\"note\"></xsl:template>");
  EXPECT_EQ(lines[20], "<xsl:template match=\"hw\">\xC3\xA9<xsl:apply-templates/></xsl:template>");
  // Only generated templates of rendered rows reach the final view, after what it had.
  ASSERT_EQ(generated.size(), 3u);
  EXPECT_EQ(generated[1], lines[17]);
  EXPECT_EQ(generated[2], lines[20]);
}

// Runs a shell command and returns its standard output; the exit status goes to `status`.
std::string RunTool(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  status = pclose(pipe);
  return output;
}

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A rule set in the shape the statistics produce for a disc with spans and no rules file.
std::vector<RuleRow> SampleRules() {
  RuleRow hw = Rule("hw");
  hw.bold = "1";
  hw.post_sp = "1";
  RuleRow pos = Rule("span class=\"pos\"");
  pos.leave_tag = "1";
  pos.italic = "1";
  RuleRow bare = Rule("span class=\"\"");
  bare.upper_case = "1";
  RuleRow def = Rule("def");
  def.pre_br = "1";
  def.indent = "2";
  def.pre_text = "é ";
  RuleRow quoted = Rule("span class=\"it's\"");
  quoted.pre_text = "Q:";
  return {Rule("entry"), hw, pos, bare, def, Rule("note", "0"), quoted};
}

TEST(StylesheetFiles, IndependentToolsLoadAndApplyThem) {
  if (!HaveTool("xmllint") || !HaveTool("xsltproc")) GTEST_SKIP() << "xmllint or xsltproc missing";
  testing::TempDir dir;
  WriteMainStylesheet(dir / "epwing_dic.xsl", SampleRules());
  WriteScriptStylesheet(dir / "user_script.xsl");
  testing::WriteTestFile(dir / "entry.xml",
                         "<entry id=\"e1\"><hw>run</hw><span class=\"pos\">verb</span>"
                         "<span>loud</span><def>move fast<note>hidden</note></def>"
                         "<span class=\"it's\">x</span></entry>");
  int status = -1;
  RunTool("xmllint --noout '" + (dir / "epwing_dic.xsl") + "' '" + (dir / "user_script.xsl") + "' 2>&1",
      status);
  EXPECT_EQ(status, 0);
  std::string html = RunTool("xsltproc '" + (dir / "epwing_dic.xsl") + "' '" + (dir / "entry.xml") + "' 2>&1", status);
  EXPECT_EQ(status, 0) << html;
  html.erase(std::remove(html.begin(), html.end(), '\n'), html.end());  // the serialiser's own breaks
  EXPECT_NE(html.find("<b>run</b>&nbsp;<span class=\"pos\"><i>verb</i></span>LOUD<br>"
                      "<p><indent val=\"2\"></indent>\xC3\xA9 move fast</p><indent val=\"1\"></indent>"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("Q:x"), std::string::npos) << html;
  EXPECT_EQ(html.find("hidden"), std::string::npos) << html;
}

TEST(StylesheetFiles, OwnProcessorAppliesThemWithTheNativeScriptFunction) {
  testing::TempDir dir;
  std::vector<RuleRow> rules = SampleRules();
  RuleRow sound = Rule("sound");
  sound.custom_xsl = "<xsl:template match=\"sound\"><a href=\"{user:mp3_wav(@path, 'us_pron')}\"/></xsl:template>";
  rules.push_back(sound);
  WriteMainStylesheet(dir / "epwing_dic.xsl", rules);
  WriteScriptStylesheet(dir / "user_script.xsl");

  xml::Document entry;
  ASSERT_TRUE(entry.LoadXml("<entry id=\"e1\"><hw>run</hw> <span class=\"pos\">verb</span>"
                            "<sound path=\"sound/word_1.mp3\"/></entry>"));
  xml::Stylesheet stylesheet(dir / "epwing_dic.xsl");
  std::string html = stylesheet.Transform(entry);
  html.erase(std::remove(html.begin(), html.end(), '\n'), html.end());
  EXPECT_NE(html.find("<b>run</b>&nbsp;<span class=\"pos\"><i>verb</i></span>"
                      "<a href=\"us_pron/word_1.wav\"></a>"),
            std::string::npos)
      << html;
}

// Tag keys come from the disc and option texts from hand-edited rule files. Any of them
// may hold quotes, "&" and "<": a span key always gives a stylesheet that loads; any
// other text either loads or fails as an error that names the stylesheet file.
TEST(StylesheetFiles, QuotesAmpersandsAndAnglesLoadOrFailNamingTheFile) {
  testing::TempDir dir;
  WriteScriptStylesheet(dir / "user_script.xsl");
  xml::Document entry;
  ASSERT_TRUE(entry.LoadXml("<entry><hw>run</hw><span class=\"q'&amp;&lt;&quot;{}\">x</span></entry>"));
  const std::string path = dir / "epwing_dic.xsl";

  // Span keys with every awkward character load and keep their class.
  RuleRow span = Rule("span class=\"q'&<\"{}\"");
  span.leave_tag = "1";
  WriteMainStylesheet(path, {span, Rule("span class=\"\""), Rule("span class=\"'\"\"")});
  EXPECT_NE(xml::Stylesheet(path).Transform(entry).find("<span class=\"q'&amp;&lt;&quot;{}\">x</span>"),
            std::string::npos);

  std::vector<RuleRow> hostile;
  for (const char* key : {"a\"b", "a&b", "a<b", "hw\" or \"1", "span class=\"x", "*", "<", "\"", ""}) {
    hostile.push_back(Rule(key));
  }
  for (int column = 11; column < kRuleRowSize; ++column) {  // pre_text .. custom_xsl
    for (const char* text : {"say \"hi\" & <b>", "'&<\"", "&amp;", "]]>", "{"}) {
      RuleRow row = Rule("hw");
      RuleText(row, column) = text;
      hostile.push_back(row);
    }
  }
  int loaded = 0;
  for (const RuleRow& row : hostile) {
    SCOPED_TRACE(row.tag + " | " + row.pre_text + row.post_text + row.indent + row.custom_xsl);
    WriteMainStylesheet(path, {row});
    try {
      xml::Stylesheet stylesheet(path);
      stylesheet.Transform(entry);
      ++loaded;
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
  }
  EXPECT_GT(loaded, 0);
  EXPECT_LT(loaded, static_cast<int>(hostile.size()));
}

// Sets the file's last-write time to the local time given.
void SetLocalMtime(const std::string& path, int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  utimbuf times{};
  times.actime = times.modtime = std::mktime(&local);
  ASSERT_EQ(utime(path.c_str(), &times), 0);
}

TEST(BackupMainStylesheet, DatedNameAndEveryVersionIsKept) {
  testing::TempDir dir;
  const std::string main_path = dir / "working/epwing_dic.xsl";
  const std::string backups = dir / "lib_folder/xsl_backup_folder";
  EXPECT_FALSE(BackupMainStylesheet(main_path, backups));  // nothing to back up
  EXPECT_FALSE(FolderExists(backups));

  testing::WriteTestFile(main_path, "first");
  SetLocalMtime(main_path, 2026, 12, 6, 23, 15, 3);  // odd second: rounded down
  EXPECT_EQ(BackupFileName(main_path), "epwing_dic_20261206231502.xsl");
  EXPECT_TRUE(BackupMainStylesheet(main_path, backups));
  EXPECT_FALSE(FileExists(main_path));
  EXPECT_EQ(ReadFile(backups + "/epwing_dic_20261206231502.xsl"), "first");

  // More versions within the same two seconds: each is kept under a counter after the date.
  for (const char* version : {"second", "third"}) {
    testing::WriteTestFile(main_path, version);
    SetLocalMtime(main_path, 2026, 12, 6, 23, 15, 2);
    EXPECT_TRUE(BackupMainStylesheet(main_path, backups));
    EXPECT_FALSE(FileExists(main_path));
  }
  EXPECT_EQ(ReadFile(backups + "/epwing_dic_20261206231502.xsl"), "first");
  EXPECT_EQ(ReadFile(backups + "/epwing_dic_20261206231502_2.xsl"), "second");
  EXPECT_EQ(ReadFile(backups + "/epwing_dic_20261206231502_3.xsl"), "third");
}

}  // namespace
}  // namespace tavex
