// Code page 932 (Shift_JIS as the book's authoring tool reads it), through iconv "CP932".
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace tavex {

// UTF-8 to Shift_JIS. Each character without a mapping becomes one "?".
Sjis ToSjis(std::string_view utf8);
Sjis ToSjis(std::u16string_view utf16);
// Appends the Shift_JIS bytes of one code unit taken alone ("?" when it has none; a
// surrogate alone has none). Same bytes as ToSjis of that unit, without its allocations.
void AppendSjis(char16_t unit, std::string& out);

// Shift_JIS to UTF-8 / UTF-16. Bytes that do not decode become U+FFFD.
std::string SjisToUtf8(const Sjis& sjis);
std::u16string SjisToUtf16(const Sjis& sjis);

// True when `byte` starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool IsSjisLeadByte(unsigned char byte);

// True when the code unit does not come back unchanged from a round trip through
// code page 932: such characters need a gaiji reference in the book (`char_ref` "1").
bool NeedsCharRef(char16_t unit);

}  // namespace tavex
