// Tables of base letters for U+00C0-U+024F and U+1E00-U+1EFF, taken from the Unicode
// canonical decompositions; "." marks a code point without one.
#include "text/plain_letters.h"

namespace tavex {
namespace {

constexpr std::string_view kLatin =  // U+00C0-U+024F
    "AAAAAA.CEEEEIIII.NOOOOO..UUUUY..aaaaaa.ceeeeiiii.nooooo..uuuuy.y"   // U+00C0
    "AaAaAaCcCcCcCcDd..EeEeEeEeEeGgGgGgGgHh..IiIiIiIiI...JjKk.LlLlLl."   // U+0100
    "...NnNnNn...OoOoOo..RrRrRrSsSsSsSsTtTt..UuUuUuUuUuUuWwYyYZzZzZz."   // U+0140
    "................................Oo.............Uu..............."   // U+0180
    ".............AaIiOoUuUuUuUuUu.AaAa....GgKkOoOo..j...Gg..NnAa...."   // U+01C0
    "AaAaEeEeIiIiOoOoRrRrUuUuSsTt..Hh......AaEeOoOoOoOoYy............"   // U+0200
    "................";                                                  // U+0240
constexpr std::string_view kLatinAdditional =  // U+1E00-U+1EFF
    "AaBbBbBbCcDdDdDdDdDdEeEeEeEeEeFfGgHhHhHhHhHhIiIiKkKkKkLlLlLlLlMm"   // U+1E00
    "MmMmNnNnNnNnOoOoOoOoPpPpRrRrRrRrSsSsSsSsSsTtTtTtTtUuUuUuUuUuVvVv"   // U+1E40
    "WwWwWwWwWwXxXxYyZzZzZzhtwy......AaAaAaAaAaAaAaAaAaAaAaAaEeEeEeEe"   // U+1E80
    "EeEeEeEeIiIiOoOoOoOoOoOoOoOoOoOoOoOoUuUuUuUuUuUuUuYyYyYyYy......";  // U+1EC0

std::string_view Letter(std::string_view table, char32_t offset) {
  const std::string_view letter = table.substr(offset, 1);
  return letter == "." ? std::string_view() : letter;
}

}  // namespace

std::string_view PlainLetters(char32_t c) {
  switch (c) {
    // Letters without a decomposition, and those whose decomposition leads to one.
    case U'ß':
      return "ss";
    case U'Æ':
    case U'Ǣ':
    case U'Ǽ':
      return "AE";
    case U'æ':
    case U'ǣ':
    case U'ǽ':
      return "ae";
    case U'Œ':
      return "OE";
    case U'œ':
      return "oe";
    case U'Ø':
    case U'Ǿ':
      return "O";
    case U'ø':
    case U'ǿ':
      return "o";
    case U'Ł':
      return "L";
    case U'ł':
      return "l";
    case U'Đ':
      return "D";
    case U'đ':
      return "d";
    case U'Þ':
      return "TH";
    case U'þ':
      return "th";
    default:
      break;
  }
  if (c >= 0xC0 && c < 0xC0 + kLatin.size()) return Letter(kLatin, c - 0xC0);
  if (c >= 0x1E00 && c < 0x1E00 + kLatinAdditional.size()) return Letter(kLatinAdditional, c - 0x1E00);
  return {};
}

}  // namespace tavex
