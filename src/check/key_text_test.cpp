#include "check/key_text.h"

#include <gtest/gtest.h>

#include "check/project_check.h"
#include "text/cp932.h"

namespace tavex::check {
namespace {

std::string S(const char* utf8) { return ToSjis(std::string(utf8)).bytes; }

TEST(ExpectedKeyText, FoldsLettersAndDigitsAndDropsWhatTheSearchIgnores) {
  EXPECT_EQ(ExpectedKeyText(S("ABC 123")), S("ＡＢＣ１２３"));
  EXPECT_EQ(ExpectedKeyText(S("x-ray")), S("ＸＲＡＹ"));
  EXPECT_EQ(ExpectedKeyText(S("・％－「」（）“”″＜＞／：")), "");
  EXPECT_EQ(ExpectedKeyText(S("＝日本a")), S("＝日本Ａ"));
  EXPECT_EQ(ExpectedKeyText(S("a<img src=\"日.png\">b")), S("ＡＢ"));
  EXPECT_EQ(ExpectedKeyText(S("ｶﾅa<img")), S("Ａ"));
}

TEST(HasHalfWidthKana, LooksOnlyAtSingleBytes) {
  EXPECT_TRUE(HasHalfWidthKana(S("aｱ")));
  // い is 82 A2: its trail byte lies in the kana range but belongs to the pair.
  EXPECT_FALSE(HasHalfWidthKana(S("いいえ日本")));
}

TEST(ProjectPathToLocal, FollowsBaseAndDriveZOnly) {
  EXPECT_EQ(ProjectPathToLocal("/w/b", "$(BASE)\\sub\\html_EPW"), "/w/b/sub/html_EPW");
  EXPECT_EQ(ProjectPathToLocal("/w/b", "Z:\\tmp\\x.xml"), "/tmp/x.xml");
  EXPECT_EQ(ProjectPathToLocal("/w/b", "C:\\x.xml"), "");
  EXPECT_EQ(ProjectPathToLocal("/w/b", "$(BASE)\\"), "");
}

}  // namespace
}  // namespace tavex::check
