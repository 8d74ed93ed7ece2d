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

inline bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Calls `unit(char16_t)` for each UTF-16 code unit of `utf8`, in order, as Utf8ToUtf16
// would give them; for passes that look at each character once and keep no copy.
template <typename Unit>
void ForEachUtf16Unit(std::string_view utf8, Unit&& unit) {
  constexpr char16_t kReplacement = 0xFFFD;
  const std::size_t n = utf8.size();
  std::size_t i = 0;
  while (i < n) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    if (b0 < 0x80) {
      unit(static_cast<char16_t>(b0));
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      length = 2, c = b0 & 0x1F, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      length = 3, c = b0 & 0x0F, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      length = 4, c = b0 & 0x07, minimum = 0x10000;
    } else {
      unit(kReplacement);
      ++i;
      continue;
    }
    std::size_t taken = 1;
    while (taken < length && i + taken < n && (static_cast<unsigned char>(utf8[i + taken]) & 0xC0) == 0x80) {
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + taken]) & 0x3F);
      ++taken;
    }
    if (taken < length || c < minimum || c > 0x10FFFF) {
      // A broken sequence stands for one replacement character; resume after it.
      unit(kReplacement);
      i += taken;
      continue;
    }
    if (c < 0x10000) {
      unit(static_cast<char16_t>(c));  // a three-byte surrogate comes back as that single unit
    } else {
      c -= 0x10000;
      unit(static_cast<char16_t>(0xD800 | (c >> 10)));
      unit(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
    i += length;
  }
}

// UTF-8 to UTF-16. Invalid bytes become U+FFFD; three-byte encodings of surrogates
// (as `Utf16ToUtf8` writes for a lone surrogate) come back as that code unit.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. A surrogate pair becomes one four-byte sequence; a lone surrogate
// is encoded on its own by the three-byte rule, so that no code unit is lost.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends the UTF-8 bytes of the code point `c` (surrogates by the three-byte rule).
void AppendUtf8(std::string& out, char32_t c);

// The UTF-8 bytes of one code unit taken alone (the three-byte rule for surrogates).
std::string EncodeUnitUtf8(char16_t unit);

// Removes leading and trailing characters whose code is 0x20 or below.
std::string TrimControl(std::string_view text);
std::u16string TrimControl(std::u16string_view text);

// `text` (UTF-8) with its control characters (C0, DEL and the C1 range U+0080-U+009F)
// written as "\xNN", so that text taken from a file can be shown on a terminal without
// its escape codes acting. Tabs are kept; bytes that are not UTF-8 are shown as "\xNN" too.
std::string EscapeControls(std::string_view text);

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
