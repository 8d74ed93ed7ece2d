#include "text/text.h"

#include <gtest/gtest.h>

namespace tavex {
namespace {

TEST(TextTest, UnitEncodingFollowsTheThreeByteRuleForSurrogates) {
  EXPECT_EQ(EncodeUnitUtf8(u'a'), "a");
  EXPECT_EQ(EncodeUnitUtf8(0x00E9), "\xC3\xA9");
  EXPECT_EQ(EncodeUnitUtf8(0x3042), "\xE3\x81\x82");
  EXPECT_EQ(EncodeUnitUtf8(0xD83D), "\xED\xA0\xBD");
  EXPECT_EQ(EncodeUnitUtf8(0xDE00), "\xED\xB8\x80");
}

TEST(TextTest, Utf16RoundTripKeepsPairsAndLoneSurrogates) {
  std::u16string pair = u"x\U0001F600y";
  EXPECT_EQ(Utf16ToUtf8(pair), "x\xF0\x9F\x98\x80y");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(pair)), pair);

  std::u16string lone{u'a', char16_t(0xD83D), u'b', char16_t(0xDE00)};
  std::string utf8 = Utf16ToUtf8(lone);
  EXPECT_EQ(utf8, "a\xED\xA0\xBD" "b\xED\xB8\x80");
  EXPECT_EQ(Utf8ToUtf16(utf8), lone);
}

TEST(TextTest, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");          // cut off at the end
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(Utf8ToUtf16("\xE3\x81" "z"), u"\uFFFDz");   // cut off before ASCII
}

TEST(TextTest, TrimControlAndReplaceAll) {
  EXPECT_EQ(TrimControl(std::string_view("\r\n\t a b \x01")), "a b");
  EXPECT_EQ(TrimControl(std::string_view(" \n")), "");
  EXPECT_EQ(TrimControl(std::u16string_view(u"\u3000x ")), u"\u3000x");

  EXPECT_EQ(ReplaceAll("aaa", "aa", "a"), "aa");  // no rescan of the result
  EXPECT_EQ(ReplaceAll("<br><BR>", "<br>", "\n"), "\n<BR>");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll(u"x&y&", u"&", u"&amp;"), u"x&amp;y&amp;");
}

TEST(TextTest, CaseFoldingIsAsciiOnly) {
  EXPECT_EQ(AsciiLower("Config.CFT\xC3\x89"), "config.cft\xC3\x89");
  EXPECT_TRUE(EqualsIgnoreAsciiCase("FILES.SKN", "files.skn"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("files.skn", "files.sk"));
}

TEST(TextTest, ParseIntTakesOnlyWholeDecimals) {
  std::int64_t v = 7;
  EXPECT_TRUE(ParseInt("123", v));
  EXPECT_EQ(v, 123);
  EXPECT_TRUE(ParseInt("-45", v));
  EXPECT_EQ(v, -45);
  EXPECT_TRUE(ParseInt("+6", v));
  EXPECT_EQ(v, 6);
  for (const char* bad : {"", "+", "-", "12a", " 1", "1 ", "0x10", "+-1", "99999999999999999999"}) {
    EXPECT_FALSE(ParseInt(bad, v)) << bad;
  }
  EXPECT_EQ(v, 6);
}

}  // namespace
}  // namespace tavex
