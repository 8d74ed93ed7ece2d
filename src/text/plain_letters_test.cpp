// The stand-ins checked against glibc's transliteration, an independent table.
#include "text/plain_letters.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>

#include <string>

namespace tavex {
namespace {

// `c` transliterated to ASCII by iconv in a UTF-8 locale; empty when it fails.
std::string Transliterated(char32_t c) {
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  locale_t previous = uselocale(utf8);
  iconv_t cd = iconv_open("ASCII//TRANSLIT", "UTF-32LE");
  char in[4] = {static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16), 0};
  char out[16] = {};
  char* in_p = in;
  char* out_p = out;
  std::size_t in_left = 4, out_left = sizeof(out);
  const bool ok = iconv(cd, &in_p, &in_left, &out_p, &out_left) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  uselocale(previous);
  freelocale(utf8);
  return ok ? std::string(out, sizeof(out) - out_left) : std::string();
}

TEST(PlainLettersTest, AgreeWithTransliteration) {
  int compared = 0;
  for (char32_t c : {U'\u00C0', U'\u0100', U'\u1E00'}) {
    for (char32_t at = c; at < c + 0x150; ++at) {
      const std::string_view plain = PlainLetters(at);
      const std::string translit = Transliterated(at);
      if (plain.empty() || translit.empty() || translit == "?") continue;
      EXPECT_EQ(plain, translit) << std::hex << static_cast<std::uint32_t>(at);
      ++compared;
    }
  }
  EXPECT_GT(compared, 300);
  EXPECT_EQ(PlainLetters(U'é'), "e");
  EXPECT_EQ(PlainLetters(U'ß'), "ss");
  EXPECT_EQ(PlainLetters(U'þ'), "th");
  EXPECT_EQ(PlainLetters(U'ə'), "");   // no Latin letter with diacritics
  EXPECT_EQ(PlainLetters(U'×'), "");   // a sign, not a letter
  EXPECT_EQ(PlainLetters(U'ı'), "");   // no decomposition
}

}  // namespace
}  // namespace tavex
