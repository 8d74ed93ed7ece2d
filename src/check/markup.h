// Small readers for the fixed markup the book's files are written in. The check reads the
// files line by line as bytes rather than parsing them as XML or HTML, because the book is
// large and the point is to find the lines where the markup went wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavex::check {

// The value of attribute `name` in `element` (the text of one start tag), when present.
std::optional<std::string_view> AttributeValue(std::string_view element, std::string_view name);

// The start tag beginning at `pos` in `line`, up to and including its ">" (or the rest
// of the line when the tag does not close on it).
std::string_view StartTagAt(std::string_view line, std::size_t pos);

// Parses hexadecimal digits (any case, at most 8); nothing when empty or not hex.
std::optional<std::uint32_t> ParseHex(std::string_view digits);

// The Shift_JIS `text` as UTF-8 for a message, shortened to about `max_chars` characters.
std::string Snippet(std::string_view sjis, std::size_t max_chars = 60);

// "U+00E9", "U+1D400".
std::string CodePointName(std::uint32_t code);

// "A121": a gaiji code as the gaiji files write it.
std::string GaijiCodeName(std::uint32_t code);

// True when `code` lies in the book format's gaiji layout: rows A1 to FE, columns 21 to 7E.
bool InGaijiLayout(std::uint32_t code);

// The code after `code` in the layout: the low byte runs 21..7E, then the next row's 21.
std::uint32_t NextGaijiCode(std::uint32_t code);

}  // namespace tavex::check
