// Text helpers shared by every subsystem. UTF-8 `std::string` is the default text;
// `std::u16string` is used where UTF-16 code units are what counts (the character
// statistics and the gaiji substitution); `Sjis` holds Shift_JIS (code page 932) bytes,
// so that no function can take one encoding for another by accident.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavex {

// Shift_JIS (code page 932) bytes: the encoding of the book's files.
struct Sjis {
  std::string bytes;

  Sjis() = default;
  explicit Sjis(std::string b) : bytes(std::move(b)) {}
  bool empty() const { return bytes.empty(); }
  std::size_t size() const { return bytes.size(); }
  Sjis& operator+=(const Sjis& other) {
    bytes += other.bytes;
    return *this;
  }
  friend Sjis operator+(Sjis a, const Sjis& b) { return a += b; }
  friend bool operator==(const Sjis&, const Sjis&) = default;
};

// Builds Shift_JIS from ASCII text (fixed markup of the book's files).
inline Sjis SjisAscii(std::string_view ascii) { return Sjis(std::string(ascii)); }

// UTF-8 to UTF-16. Invalid bytes become U+FFFD; three-byte encodings of surrogates
// (as `Utf16ToUtf8` writes for a lone surrogate) come back as that code unit.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. A surrogate pair becomes one four-byte sequence; a lone surrogate
// is encoded on its own by the three-byte rule, so that no code unit is lost.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The UTF-8 bytes of one code unit taken alone (the three-byte rule for surrogates).
std::string EncodeUnitUtf8(char16_t unit);

// Removes leading and trailing characters whose code is 0x20 or below.
std::string TrimControl(std::string_view text);
std::u16string TrimControl(std::u16string_view text);

// Replaces every occurrence of `from` in `text` by `to`, plain and case-sensitive,
// scanning left to right without rescanning replaced text.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to);

// ASCII-only case folding, for names read from a case-insensitive disc.
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Parses a whole decimal integer (optional sign); false when the text is not one.
bool ParseInt(std::string_view text, std::int64_t& value);

}  // namespace tavex
