// Diacritics and kana scripts folded the way the EPWING book's search folds them.
#include "source/key_forms.h"

#include <algorithm>

#include "text/plain_letters.h"
#include "text/text.h"

namespace tavex::source {
namespace {

// Hiragana ぁ-ゖ and katakana ァ-ヶ stand 0x60 apart.
constexpr char32_t kKanaDistance = 0x60;
bool IsHiragana(char32_t c) { return c >= 0x3041 && c <= 0x3096; }
bool IsKatakana(char32_t c) { return c >= 0x30A1 && c <= 0x30F6; }

}  // namespace

std::vector<std::string> FoldedForms(std::string_view key) {
  const std::u16string units = Utf8ToUtf16(key);
  std::string plain, hiragana, katakana;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    const std::string_view letters = PlainLetters(c);
    if (letters.empty()) {
      AppendUtf8(plain, c);
    } else {
      plain += letters;
    }
    AppendUtf8(hiragana, IsKatakana(c) ? c - kKanaDistance : c);
    AppendUtf8(katakana, IsHiragana(c) ? c + kKanaDistance : c);
  }
  std::vector<std::string> forms;
  for (std::string* form : {&plain, &hiragana, &katakana}) {
    if (*form != key && std::find(forms.begin(), forms.end(), *form) == forms.end())
      forms.push_back(std::move(*form));
  }
  return forms;
}

}  // namespace tavex::source
