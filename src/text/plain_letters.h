// The plain-text stand-in of a Latin letter with diacritics, for search keys: a key can
// hold only what the book's character set holds, and a reader types "cafes" for "cafés".
// The stand-in is the letter's base by Unicode canonical decomposition (é gives e, ǖ
// gives u), or for the letters that do not decompose the usual spelling (ß ss, æ ae,
// œ oe, ø o, ł l, đ d, þ th).
#pragma once

#include <string_view>

namespace tavex {

// The ASCII letters that stand in for `c`; empty when it has none (it is no Latin letter
// with diacritics, or one outside the table).
std::string_view PlainLetters(char32_t c);

}  // namespace tavex
