#include "analysis/entry_walk.h"

#include <gtest/gtest.h>

#include <utility>

namespace tavex::analysis {
namespace {

std::vector<std::pair<std::string, int>> TagCounts(const TagTally& tally) {
  std::vector<std::pair<std::string, int>> counts;
  for (const TagCount& entry : tally.entries()) counts.emplace_back(entry.tag, entry.total_count);
  return counts;
}

std::u16string Codes(const CharTally& tally) {
  std::u16string codes;
  for (const CharCount& entry : tally.entries()) codes += entry.code;
  return codes;
}

void Walk(std::string_view xml_text, TagTally& tags, CharTally& chars, int record_index) {
  xml::Document doc;
  ASSERT_TRUE(LoadEntryDocument(xml_text, doc)) << xml_text;
  ElementWalk(doc.DocumentElement(), tags, record_index);
  TextWalk(doc.DocumentElement(), chars, record_index);
}

TEST(EntryWalkTest, ElementKeysInDocumentOrderWithoutTheRoot) {
  TagTally tags;
  CharTally chars;
  Walk("<entry id='e'><entry><span class='x'/></entry><span class='y'><span/></span>"
       "<Span/><span class='x'/><t:b xmlns:t='urn:t'/></entry>",
       tags, chars, 0);
  std::vector<std::pair<std::string, int>> expected = {
      {"entry", 1}, {"span class=\"x\"", 2}, {"span class=\"y\"", 1},
      {"span class=\"\"", 1}, {"Span", 1}, {"t:b", 1}};
  EXPECT_EQ(TagCounts(tags), expected);
}

TEST(EntryWalkTest, EmptyRootAndBrokenXmlAddNothing) {
  TagTally tags;
  CharTally chars;
  Walk("<entry/>", tags, chars, 0);
  EXPECT_EQ(tags.size(), 0u);
  EXPECT_EQ(chars.size(), 0u);
  xml::Document doc;
  EXPECT_FALSE(LoadEntryDocument("<entry><b></entry>", doc));
  EXPECT_FALSE(LoadEntryDocument("", doc));
}

TEST(EntryWalkTest, TextWalkReadsOnlyTextNodes) {
  TagTally tags;
  CharTally chars;
  Walk("<entry title='zzz'>ab<!--qq--><![CDATA[ww]]><?pi vv?><b k='yy'>a</b>ba</entry>", tags, chars, 3);
  EXPECT_EQ(Codes(chars), u"ab");
  EXPECT_EQ(chars.entries()[0].total_count, 3);
  EXPECT_EQ(chars.entries()[1].total_count, 2);
}

TEST(EntryWalkTest, FirstIndexIsKeptFromTheFirstEntry) {
  TagTally tags;
  CharTally chars;
  Walk("<entry><hw>a</hw></entry>", tags, chars, 17);
  Walk("<entry><hw>ab</hw><pos>b</pos></entry>", tags, chars, 4);
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags.entries()[0].tag, "hw");
  EXPECT_EQ(tags.entries()[0].total_count, 2);
  EXPECT_EQ(tags.entries()[0].first_index, 17);
  EXPECT_EQ(tags.entries()[1].first_index, 4);
  ASSERT_EQ(chars.size(), 2u);
  EXPECT_EQ(chars.entries()[0].first_index, 17);
  EXPECT_EQ(chars.entries()[0].total_count, 2);
  EXPECT_EQ(chars.entries()[1].first_index, 4);
}

TEST(EntryWalkTest, CodeTextsOfWorkedValues) {
  struct Case {
    char16_t code;
    const char* hex;
    const char* utf8;
  };
  const Case cases[] = {{u'a', "0061", "61"},      {0xE9, "00E9", "C3A9"},     {0xA0, "00A0", "C2A0"},
                        {0x2014, "2014", "E28094"}, {0x3042, "3042", "E38182"}, {0xD83D, "D83D", "EDA0BD"},
                        {0xDE00, "DE00", "EDB880"}};
  CharTally chars;
  for (const Case& c : cases) TallyCharacter(c.code, chars, -1);
  ASSERT_EQ(chars.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(chars.entries()[i].code, cases[i].code);
    EXPECT_EQ(chars.entries()[i].code_hex, cases[i].hex);
    EXPECT_EQ(chars.entries()[i].utf8_hex, cases[i].utf8);
    EXPECT_EQ(chars.entries()[i].first_index, -1);
  }
  EXPECT_EQ(Utf8Hex(""), "");
}

TEST(EntryWalkTest, SupplementaryCharacterGivesTwoSurrogates) {
  TagTally tags;
  CharTally chars;
  Walk("<entry>\xF0\x9F\x98\x80\xC3\xA9</entry>", tags, chars, 1);
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars.entries()[0].code_hex, "D83D");
  EXPECT_EQ(chars.entries()[0].utf8_hex, "EDA0BD");
  EXPECT_EQ(chars.entries()[1].code_hex, "DE00");
  EXPECT_EQ(chars.entries()[1].utf8_hex, "EDB880");
  EXPECT_EQ(chars.entries()[2].code_hex, "00E9");
}

}  // namespace
}  // namespace tavex::analysis
