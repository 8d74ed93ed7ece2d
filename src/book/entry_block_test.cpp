#include "book/entry_block.h"

#include <gtest/gtest.h>

#include "text/cp932.h"

namespace tavex::book {
namespace {

std::string Key(std::string_view utf8) { return SjisToUtf8(MakeKeyText(ToSjis(utf8))); }

TEST(MakeKeyText, LettersAndDigitsBecomeFullWidthCapitalsOtherBytesGo) {
  EXPECT_EQ(Key("owner_info"), "ＯＷＮＥＲＩＮＦＯ");
  EXPECT_EQ(Key("x-ray"), "ＸＲＡＹ");
  EXPECT_EQ(Key("ABC 123"), "ＡＢＣ１２３");
  EXPECT_EQ(Key("zZ09"), "ＺＺ０９");
  EXPECT_EQ(Key("it's a.b!\t\x7f"), "ＩＴＳＡＢ");
  EXPECT_EQ(Key("ｶﾀ"), "");  // half-width katakana are single bytes
}

TEST(MakeKeyText, FourteenSymbolsDroppedOtherDoubleByteCharactersKept) {
  EXPECT_EQ(Key("・％－「」（）“”″＜＞／："), "");
  EXPECT_EQ(Key("a＝b"), "Ａ＝Ｂ");
  EXPECT_EQ(Key("日本／語"), "日本語");
  EXPECT_EQ(Key("(x-y)!"), "ＸＹ");
  // A trail byte that looks like ASCII belongs to its character: ソ is 0x83 0x5C ("\").
  EXPECT_EQ(Key("ソ1"), "ソ１");
}

TEST(MakeKeyText, ImageRunsAreSkipped) {
  EXPECT_EQ(Key("a<img src=x>b"), "ＡＢ");
  EXPECT_EQ(Key("a<img src=x"), "Ａ");
  EXPECT_EQ(Key("a<IMG>b"), "ＡＩＭＧＢ");  // case-sensitive
}

TEST(KeyLines, ForwardOnlyOrForwardThenBackward) {
  const std::vector<Sjis> keywords{SjisAscii("run"), SjisAscii("a-b")};
  const std::vector<Sjis> forward = KeyLines(keywords, false);
  ASSERT_EQ(forward.size(), 2u);
  EXPECT_EQ(SjisToUtf8(forward[0]), "<key title=\"run\" type=\"前方表記\">ＲＵＮ</key>");
  const std::vector<Sjis> both = KeyLines(keywords, true);
  ASSERT_EQ(both.size(), 4u);
  EXPECT_EQ(SjisToUtf8(both[1]), "<key title=\"run\" type=\"後方表記\">ＲＵＮ</key>");
  EXPECT_EQ(SjisToUtf8(both[3]), "<key title=\"a-b\" type=\"後方表記\">ＡＢ</key>");
}

}  // namespace
}  // namespace tavex::book
