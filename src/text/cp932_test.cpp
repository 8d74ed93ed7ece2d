#include "text/cp932.h"

#include <gtest/gtest.h>

namespace tavex {
namespace {

TEST(Cp932Test, ConvertsBothWays) {
  Sjis sjis = ToSjis(std::string_view("a\xE3\x81\x82\xE6\xBC\xA2"));  // a, あ, 漢
  EXPECT_EQ(sjis.bytes, "a\x82\xA0\x8A\xBF");
  EXPECT_EQ(SjisToUtf8(sjis), "a\xE3\x81\x82\xE6\xBC\xA2");
  EXPECT_EQ(SjisToUtf16(sjis), u"a\u3042\u6F22");
  EXPECT_EQ(ToSjis(std::u16string_view(u"\u3042b")).bytes, "\x82\xA0" "b");
}

TEST(Cp932Test, EachUnmappableCharacterBecomesOneQuestionMark) {
  EXPECT_EQ(ToSjis(std::string_view("caf\xC3\xA9!")).bytes, "caf?!");
  EXPECT_EQ(ToSjis(std::string_view("\xC3\xA9\xC9\x99\xF0\x9F\x98\x80x")).bytes, "???x");
  // A lone surrogate (three-byte form) and broken bytes are one character each.
  EXPECT_EQ(ToSjis(std::u16string_view(u"a\xD83D" "b")).bytes, "a?b");
  EXPECT_EQ(ToSjis(std::string_view("\xFFz\xE3\x81")).bytes, "?z?");
  // Conversion keeps going across the iconv buffer boundary.
  std::string long_text(10000, 'x');
  long_text += "\xC3\xA9";
  EXPECT_EQ(ToSjis(long_text).bytes, std::string(10000, 'x') + "?");
}

TEST(Cp932Test, UndecodableShiftJisBecomesReplacement) {
  EXPECT_EQ(SjisToUtf8(Sjis("a\x82")), "a\xEF\xBF\xBD");
  EXPECT_EQ(SjisToUtf8(Sjis("\xA0" "b")), "\xEF\xBF\xBD" "b");
}

TEST(Cp932Test, LeadBytes) {
  EXPECT_TRUE(IsSjisLeadByte(0x81));
  EXPECT_TRUE(IsSjisLeadByte(0x9F));
  EXPECT_TRUE(IsSjisLeadByte(0xE0));
  EXPECT_TRUE(IsSjisLeadByte(0xFC));
  EXPECT_FALSE(IsSjisLeadByte(0x80));
  EXPECT_FALSE(IsSjisLeadByte(0xA0));  // half-width katakana are single bytes
  EXPECT_FALSE(IsSjisLeadByte(0xDF));
  EXPECT_FALSE(IsSjisLeadByte(0xFD));
  EXPECT_FALSE(IsSjisLeadByte('A'));
}

TEST(Cp932Test, CharRefForCharactersThatDoNotSurviveTheRoundTrip) {
  for (char16_t kept : {u'a', u'?', u'\u3042', u'\u6F22', u'\uFF5E', u'\uFF71'}) {
    EXPECT_FALSE(NeedsCharRef(kept)) << static_cast<int>(kept);
  }
  // é and ə are missing; U+2014 and U+301C map to look-alikes; U+00A5 to the backslash.
  for (char16_t changed : {u'\u00E9', u'\u0259', u'\u2014', u'\u301C', u'\u00A5',
                           char16_t(0xD83D), char16_t(0xDE00)}) {
    EXPECT_TRUE(NeedsCharRef(changed)) << static_cast<int>(changed);
  }
}

}  // namespace
}  // namespace tavex

namespace tavex {
namespace {

// The per-unit table behind UTF-16 conversion gives what iconv gives for the same text,
// for every code unit alone, for pairs (one "?"), and for units beside each other.
TEST(Cp932Test, UnitTableAgreesWithIconvForEveryCodeUnit) {
  for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
    const auto unit = static_cast<char16_t>(code);
    const std::u16string alone(1, unit);
    const std::string expected = ToSjis(Utf16ToUtf8(alone)).bytes;
    ASSERT_EQ(ToSjis(std::u16string_view(alone)).bytes, expected) << std::hex << code;
    std::string appended = "x";
    AppendSjis(unit, appended);
    ASSERT_EQ(appended, "x" + expected) << std::hex << code;
  }
  // The book writer copies ASCII without asking: the code page must keep every byte of it.
  for (int c = 0; c < 0x80; ++c) ASSERT_EQ(ToSjis(std::string(1, static_cast<char>(c))).bytes, std::string(1, static_cast<char>(c)));
  const std::u16string mixed = u"a\u00E9\u65E5\U0001F600" + std::u16string(1, u'\xD800') + u"b" +
                               std::u16string(1, u'\xDC00') + u"\u301C\u2014";
  EXPECT_EQ(ToSjis(std::u16string_view(mixed)).bytes, ToSjis(Utf16ToUtf8(mixed)).bytes);
}

}  // namespace
}  // namespace tavex
