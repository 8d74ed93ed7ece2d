#include "sample/sample_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "sample/sample_entries.h"
#include "sample/sample_test_tools.h"
#include "sample/sample_words.h"
#include "testing/test_util.h"

namespace tavex::sample {
namespace {

using testing::Quote;
using testing::RunCommand;

// The tag keys of an entry's elements below its root: the name, or for span the
// name with its class ("span class=\"x\"", "span class=\"\"" without one).
std::set<std::string> TagKeys(const std::string& xml) {
  static const std::regex kStartTag(R"(<([A-Za-z][\w\-]*)([^>]*)>)");
  static const std::regex kClass(R"re(class="([^"]*)")re");
  static const std::regex kHidden(R"re(<!\[CDATA\[[\s\S]*?\]\]>|<!--[\s\S]*?-->)re");
  std::string markup = std::regex_replace(xml, kHidden, "");
  std::set<std::string> keys;
  bool root = true;
  for (std::sregex_iterator it(markup.begin(), markup.end(), kStartTag), end; it != end; ++it) {
    if (root) {
      root = false;
      continue;
    }
    std::string key = (*it)[1];
    if (key == "span") {
      std::smatch cls;
      std::string attributes = (*it)[2];
      key = "span class=\"" + (std::regex_search(attributes, cls, kClass) ? cls[1].str() : "") + "\"";
    }
    keys.insert(key);
  }
  return keys;
}

std::vector<SampleEntry> Entries(int count) {
  static std::vector<Headword> words;
  words = MakeHeadwords(count, 1);
  SampleEntryMaker maker(words, count, 1);
  std::vector<SampleEntry> entries;
  for (int i = 0; i < count; ++i) entries.push_back(maker.Make(i));
  return entries;
}

std::string XPath(const std::string& file, const std::string& expression) {
  std::string out = RunCommand("xmllint --xpath " + Quote(expression) + " " + Quote(file)).output;
  if (out.ends_with("\n")) out.pop_back();
  return out;
}

TEST(SampleRules, ExchangeFileIsWellFormedShiftJis) {
  if (!testing::HaveTool("xmllint")) GTEST_SKIP() << "xmllint is not installed";
  tavex::testing::TempDir dir;
  std::string path = dir / "xsl_data.xml";
  WriteSampleRules(path);
  std::string xml = testing::ReadBytes(path);
  EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"));
  for (char c : xml)
    ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "ASCII is valid Shift_JIS as it stands";
  auto lint = RunCommand("xmllint --noout " + Quote(path));
  EXPECT_EQ(lint.status, 0) << lint.output;

  std::vector<SampleRule> rules = SampleRules();
  std::string count = std::to_string(rules.size());
  EXPECT_EQ(XPath(path, "count(/root/tags)"), count);
  EXPECT_EQ(XPath(path, "count(/root/tags[count(*)=20])"), count);
  std::string names;
  for (int k = 1; k <= 20; ++k)
    names += XPath(path, "name(/root/tags[1]/*[" + std::to_string(k) + "])") + " ";
  EXPECT_EQ(names,
            "index tag apply_templates leave_tag bold italic sup sub pre_br post_br pre_sp post_sp pre_text "
            "post_text upper_case lower_case indent custom_xsl total_count first_index ");
  // Markup and non-ASCII values come back as text.
  EXPECT_EQ(
      XPath(path, "string(/root/tags[tag='x-ref']/custom_xsl)"),
      "<xsl:template match=\"x-ref\"><A topic=\"{@topic}\"><xsl:value-of select=\".\"/></A></xsl:template>");
  EXPECT_EQ(XPath(path, "string(/root/tags[tag='xr']/pre_text)"), "→");
  EXPECT_EQ(XPath(path, "string(/root/tags[tag='span class=\"lab\"']/italic)"), "1");
}

TEST(SampleRules, EveryTagOfTheEntriesHasOneRule) {
  std::set<std::string> used;
  for (const SampleEntry& entry : Entries(200)) {
    if (entry.content.starts_with("<") && entry.content.ends_with(">")) {
      for (const std::string& key : TagKeys(entry.content)) used.insert(key);
    }
  }
  std::set<std::string> ruled;
  for (const SampleRule& rule : SampleRules()) {
    EXPECT_TRUE(ruled.insert(rule.tag).second) << "two rules for " << rule.tag;
    EXPECT_EQ(rule.custom_xsl.find('\n'), std::string::npos) << rule.tag;
  }
  for (const std::string& key : used) EXPECT_TRUE(ruled.count(key)) << "no rule for " << key;
  for (const std::string& key : ruled) EXPECT_TRUE(used.count(key)) << "rule for an unused tag " << key;
}

// The custom templates, placed in a stylesheet shaped like the book's main one,
// transform real sample entries. mp3_wav is stood in for by an EXSLT function.
TEST(SampleRules, CustomTemplatesLinkEntriesAndRecordings) {
  if (!testing::HaveTool("xsltproc")) GTEST_SKIP() << "xsltproc is not installed";
  tavex::testing::TempDir dir;
  std::string xsl =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
      "xmlns:user=\"urn:user-scripts\" xmlns:func=\"http://exslt.org/functions\" "
      "extension-element-prefixes=\"func\">\n"
      "<func:function name=\"user:mp3_wav\"><xsl:param name=\"topic\"/><xsl:param name=\"resource\"/>"
      "<func:result select=\"concat($resource, '/', substring-before(substring-after($topic, '/'), '.mp3'), "
      "'.wav')\"/>"
      "</func:function>\n"
      "<xsl:template match=\"/\"><html><head><title></title></head><xsl:element "
      "name=\"body\"><xsl:apply-templates/>"
      "<xsl:apply-templates select=\"/entry/h-g/top-g/side-g/side-panel\"/>"
      "<xsl:apply-templates select=\"/entry/p-g/side-g/side-panel\"/></xsl:element></html></xsl:template>\n";
  for (const SampleRule& rule : SampleRules()) {
    if (!rule.custom_xsl.empty()) {
      xsl += rule.custom_xsl + "\n";
    } else if (rule.apply_templates != "1") {
      xsl += "<xsl:template match=\"" + rule.tag + "\"></xsl:template>\n";
    }
  }
  xsl += "</xsl:stylesheet>\n";
  testing::WriteBytes(dir / "main.xsl", xsl);

  std::vector<SampleEntry> entries = Entries(60);
  // Entry 1 (café) links to o'clock and has a side panel at its top; entry 3 has an editor's note.
  for (int index : {1, 3, 4}) {
    std::string input = dir / ("entry" + std::to_string(index) + ".xml");
    testing::WriteBytes(input, entries[index].content);
    auto result = RunCommand("xsltproc " + Quote(dir / "main.xsl") + " " + Quote(input));
    ASSERT_EQ(result.status, 0) << result.output;
    const std::string& html = result.output;
    std::size_t links = 0;
    for (std::size_t at = entries[index].content.find("<x-ref "); at != std::string::npos;
         at = entries[index].content.find("<x-ref ", at + 1)) {
      ++links;
    }
    std::size_t anchors = 0;
    static const std::regex kAnchor("<A topic=\"[^\"\n]*\">[^<\n]*</A>");
    for (std::sregex_iterator it(html.begin(), html.end(), kAnchor), end; it != end; ++it) ++anchors;
    EXPECT_EQ(anchors, links) << html;
    EXPECT_EQ(html.find("check against the 2nd proof"), std::string::npos) << "editor notes are dropped";
    EXPECT_NE(html.find("us_pron/"), std::string::npos) << html;
    EXPECT_NE(html.find("uk_pron/"), std::string::npos) << html;
  }
  std::string cafe =
      RunCommand("xsltproc " + Quote(dir / "main.xsl") + " " + Quote(dir / "entry1.xml")).output;
  EXPECT_NE(cafe.find("<A topic=\"o'clock_1\">o'clock</A>"), std::string::npos) << cafe;
  // Inflections one space apart, none before the closing parenthesis.
  EXPECT_NE(cafe.find("<i>cafés</i> <i>caféed</i> <i>caféing</i>"), std::string::npos) << cafe;
  EXPECT_EQ(cafe.find("caféing</i> "), std::string::npos) << cafe;
  // The side panel is left out where it stands and shown once, at the end.
  std::size_t panel = cafe.find("Word origin");
  ASSERT_NE(panel, std::string::npos);
  EXPECT_EQ(cafe.find("Word origin", panel + 1), std::string::npos);
  EXPECT_GT(panel, cafe.find("<A topic="));
  std::string clock =
      RunCommand("xsltproc " + Quote(dir / "main.xsl") + " " + Quote(dir / "entry4.xml")).output;
  EXPECT_NE(clock.find("o'clock_1.wav"), std::string::npos) << clock;
}

}  // namespace
}  // namespace tavex::sample
