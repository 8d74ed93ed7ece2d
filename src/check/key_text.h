// What the check needs to know about Shift_JIS text in the book: where half-width katakana
// stands (single bytes 0xA1-0xDF outside double-byte characters), and which search text a
// key's title should have given, derived independently of the writer so that a key line
// that does not match its title shows up.
#pragma once

#include <string>
#include <string_view>

namespace tavex::check {

// True when the Shift_JIS text holds a half-width katakana character.
bool HasHalfWidthKana(std::string_view sjis);

// The search text for a key titled `title` (both Shift_JIS): letters become full-width
// capitals, digits full-width digits, double-byte characters stay except the fourteen
// punctuation symbols the search ignores, "<img ...>" and every other single byte go.
std::string ExpectedKeyText(std::string_view title);

}  // namespace tavex::check
