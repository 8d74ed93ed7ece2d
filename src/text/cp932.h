// Code page 932 (Shift_JIS as the book's authoring tool reads it), through iconv "CP932".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace tavex {

// UTF-8 to Shift_JIS. Each character without a mapping becomes one "?".
Sjis ToSjis(std::string_view utf8);
Sjis ToSjis(std::u16string_view utf16);
// The Shift_JIS bytes of single code units, asked of iconv once per unit and thread and
// then looked up: the book's text passes through here character by character.
class SjisUnitEncoder {
 public:
  static SjisUnitEncoder& ForThisThread();

  // Appends the bytes of `unit` taken alone, as AppendSjis.
  void Append(char16_t unit, std::string& out) {
    const std::uint32_t known = encoded_[unit];
    if (known == 0) {
      AppendUnlearnt(unit, out);
    } else {
      AppendKnown(known, out);
    }
  }

 private:
  // Each entry: 0 when not asked yet, else the byte count times 0x10000 plus the bytes.
  static constexpr std::uint32_t kAskAgain = 0xFFFFFFFF;
  static void AppendKnown(std::uint32_t known, std::string& out) {
    if ((known >> 16) == 2) out += static_cast<char>((known >> 8) & 0xFF);
    out += static_cast<char>(known & 0xFF);
  }
  std::uint32_t Learn(char16_t unit);
  void AppendUnlearnt(char16_t unit, std::string& out);

  std::vector<std::uint32_t> encoded_ = std::vector<std::uint32_t>(0x10000, 0);
};

// Appends the Shift_JIS bytes of one code unit taken alone ("?" when it has none; a
// surrogate alone has none). Same bytes as ToSjis of that unit, without its allocations.
void AppendSjis(char16_t unit, std::string& out);

// Shift_JIS to UTF-8 / UTF-16. Bytes that do not decode become U+FFFD.
std::string SjisToUtf8(const Sjis& sjis);
std::u16string SjisToUtf16(const Sjis& sjis);

// True when JIS X 0208 assigns a character to `row` and `cell` (both 1 to 94), as
// iconv's EUC-JP decodes it; learnt once for all codes.
bool IsJisX0208Assigned(int row, int cell);

// True when `byte` starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool IsSjisLeadByte(unsigned char byte);

// True when the code unit does not come back unchanged from a round trip through
// code page 932: such characters need a gaiji reference in the book (`char_ref` "1").
bool NeedsCharRef(char16_t unit);

}  // namespace tavex
