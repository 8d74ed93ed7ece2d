// JIS X 0208, the book's character set: codes are two bytes 0x21-0x7E each (row and
// cell). The book source is code page 932, whose double-byte characters are JIS X 0208
// codes rearranged; characters outside the set have no place in the text.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavex::epwing {

constexpr std::uint16_t kGeta = 0x222E;  // 〓, the stand-in for a character the set lacks
constexpr std::uint16_t kJisSpace = 0x2121;

// The JIS X 0208 code of a code page 932 double-byte character, or 0 when the code
// falls outside the assigned characters of JIS X 0208 (the NEC and IBM extensions,
// user-defined characters, unassigned cells).
std::uint16_t JisFromSjis(unsigned char lead, unsigned char trail);

// The JIS X 0208 code of one Unicode character as code page 932 writes it, or 0.
// Looked up in a table filled on first use of each code unit.
std::uint16_t JisFromUnicode(char32_t c);

// The full-width JIS X 0208 forms of the ASCII characters (0 for controls), the same
// that readers give a typed query: space 0x2121, 'A' 0x2341, '-' 0x215D, '\'' 0x2147.
const std::uint16_t* AsciiJisTable();
inline std::uint16_t JisFromAscii(unsigned char c) { return c < 0x80 ? AsciiJisTable()[c] : 0; }

// True when `jis` is an assigned JIS X 0208 character.
bool IsAssignedJis(std::uint16_t jis);

// The hiragana of a katakana code (ソ 0x253D gives そ 0x243D), as readers fold a query
// before a search; every other code as it is. ヴ ヵ ヶ move to the hiragana row too,
// where JIS X 0208 leaves their cells empty, as the readers' folding does.
constexpr std::uint16_t HiraganaOf(std::uint16_t jis) {
  return (jis >> 8) == 0x25 && (jis & 0xFF) >= 0x21 && (jis & 0xFF) <= 0x76 ? jis - 0x100 : jis;
}

}  // namespace tavex::epwing
