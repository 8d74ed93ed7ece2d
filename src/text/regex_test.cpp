#include "text/regex.h"

#include <gtest/gtest.h>

#include "text/error.h"

namespace tavex {
namespace {

const char kSectionPattern[] = "\\[(.+?)\\]\\nPATH = (.+?)\\n((?:(?:.+?)\\n)*?)\\n";
const char kDeclarationPattern[] = "(?:(?:(.+?) = (.+?)\\n)(?:\\1,OFFSET = (.+?)\\n)?)";

TEST(RegexTest, FindsConfigurationSections) {
  std::string config =
      "[index]\nPATH = Index.idx\nCONTENT = BYTES\nCONTENT,OFFSET = INT32\n\n"
      "[Empty]\npath = e.dat\n\n"
      "[last]\nPATH = last.dat\nNAME = TEXT\n";  // no empty line: not a section
  auto sections = FindAll(kSectionPattern, config);
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].groups, (std::vector<std::string>{
                                    "index", "Index.idx", "CONTENT = BYTES\nCONTENT,OFFSET = INT32\n"}));
  EXPECT_EQ(sections[0].offset, 0u);
  EXPECT_EQ(sections[1].groups, (std::vector<std::string>{"Empty", "e.dat", ""}));

  auto declarations = FindAll(kDeclarationPattern, sections[0].groups[2] + "NAME = TEXT\n");
  ASSERT_EQ(declarations.size(), 2u);
  EXPECT_EQ(declarations[0].groups, (std::vector<std::string>{"CONTENT", "BYTES", "INT32"}));
  EXPECT_EQ(declarations[1].groups, (std::vector<std::string>{"NAME", "TEXT", ""}));
}

TEST(RegexTest, DotMatchesCarriageReturnButNotLineFeed) {
  auto matches = FindAll("a.b", "a\rb a\nb A-B");
  ASSERT_EQ(matches.size(), 2u);
  EXPECT_EQ(matches[0].text, "a\rb");
  EXPECT_EQ(matches[1].text, "A-B");
  EXPECT_EQ(matches[1].offset, 8u);
  EXPECT_EQ(FindAll("^x$", "x\ny\nX").size(), 2u);  // multi-line anchors
}

TEST(RegexTest, CollapsesRunsAndFindsLinks) {
  auto runs = FindAll("(?:(?:<br>)|(?:&nbsp;)){2,}", "a<br>b<br><BR>&nbsp;c&nbsp;");
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, "<br><BR>&nbsp;");

  auto links = FindAll("<A\\stopic=\"(.*?)\">(.*?)</A>",
                       "see <a topic=\"run\">run</a> and <A\ttopic=\"go\">go</A><A href=\"x\">no</A>");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].groups, (std::vector<std::string>{"run", "run"}));
  EXPECT_EQ(links[1].groups, (std::vector<std::string>{"go", "go"}));
}

TEST(RegexTest, HighlightsOneTagOnly) {
  std::string xml = "&lt;b class=\"x\"&gt;bold&lt;/b&gt;&lt;bx&gt;&lt;b/&gt;&lt;B&gt;";
  auto tags = FindAll("(&lt;/?b(?:\\s.*?)?/?&gt;)", xml);
  std::vector<std::string> texts;
  for (const auto& m : tags) texts.push_back(m.groups[0]);
  EXPECT_EQ(texts, (std::vector<std::string>{"&lt;b class=\"x\"&gt;", "&lt;/b&gt;", "&lt;b/&gt;",
                                             "&lt;B&gt;"}));
}

TEST(RegexTest, CompactAndEmptyMatches) {
  auto gaps = FindAll("(>\\s*?<)", "<a>\r\n  <b><c>\n</c></b></a>");
  ASSERT_EQ(gaps.size(), 5u);
  EXPECT_EQ(gaps[0].text, ">\r\n  <");
  EXPECT_EQ(gaps[2].text, ">\n<");

  // Empty matches advance one character each: one per position, and at the end.
  auto empties = FindAll("x*", "ab");
  EXPECT_EQ(empties.size(), 3u);
  auto mixed = FindAll("x*", "xxa");
  ASSERT_EQ(mixed.size(), 3u);
  EXPECT_EQ(mixed[0].text, "xx");
  // Unset group gives empty text; Shift_JIS bytes are matched as bytes.
  auto unset = FindAll("(a)|(b)", "b");
  ASSERT_EQ(unset.size(), 1u);
  EXPECT_EQ(unset[0].groups, (std::vector<std::string>{"", "b"}));
  EXPECT_EQ(FindAll("\\x82\\xa0", "\x82\xa0\x82\xa0").size(), 2u);
}

TEST(RegexTest, InvalidPatternNamesItself) {
  try {
    Regex("(unclosed");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("\"(unclosed\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("missing closing parenthesis"), std::string::npos) << e.what();
  }
  Regex reused("o");
  EXPECT_EQ(reused.FindAll("foo").size(), 2u);
  EXPECT_EQ(reused.FindAll("bar").size(), 0u);
}

}  // namespace
}  // namespace tavex
