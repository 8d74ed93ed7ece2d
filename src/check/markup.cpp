#include "check/markup.h"

#include <fmt/format.h>

#include "text/cp932.h"
#include "text/text.h"

namespace tavex::check {

std::optional<std::string_view> AttributeValue(std::string_view element, std::string_view name) {
  std::string pattern = std::string(name) + "=\"";
  std::size_t pos = 0;
  while ((pos = element.find(pattern, pos)) != std::string_view::npos) {
    // The name must stand on its own ("start" is not inside "restart").
    bool own = pos > 0 && (element[pos - 1] == ' ' || element[pos - 1] == '\t');
    if (own) {
      std::size_t begin = pos + pattern.size();
      std::size_t end = element.find('"', begin);
      if (end == std::string_view::npos) return std::nullopt;
      return element.substr(begin, end - begin);
    }
    pos += pattern.size();
  }
  return std::nullopt;
}

std::string_view StartTagAt(std::string_view line, std::size_t pos) {
  std::size_t end = line.find('>', pos);
  return end == std::string_view::npos ? line.substr(pos) : line.substr(pos, end - pos + 1);
}

std::optional<std::uint32_t> ParseHex(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::string Snippet(std::string_view sjis, std::size_t max_chars) {
  std::u16string text = Utf8ToUtf16(SjisToUtf8(Sjis(std::string(sjis))));
  if (text.size() <= max_chars) return Utf16ToUtf8(text);
  std::size_t cut = max_chars;
  if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;  // keep pairs whole
  return Utf16ToUtf8(text.substr(0, cut)) + "...";
}

std::string CodePointName(std::uint32_t code) { return fmt::format("U+{:04X}", code); }

std::string GaijiCodeName(std::uint32_t code) { return fmt::format("{:04X}", code); }

bool InGaijiLayout(std::uint32_t code) {
  std::uint32_t high = code >> 8;
  std::uint32_t low = code & 0xFF;
  return high >= 0xA1 && high <= 0xFE && low >= 0x21 && low <= 0x7E;
}

std::uint32_t NextGaijiCode(std::uint32_t code) {
  if ((code & 0xFF) >= 0x7E) return ((code >> 8) + 1) << 8 | 0x21;
  return code + 1;
}

}  // namespace tavex::check
