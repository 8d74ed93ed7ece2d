// Entities and tag attributes of the book source's markup.
#include "source/markup.h"

#include <charconv>

#include "text/text.h"

namespace tavex::source {

std::optional<std::string_view> TagAttribute(std::string_view attributes, std::string_view name) {
  std::size_t i = 0;
  while (i < attributes.size()) {
    while (i < attributes.size() && (attributes[i] == ' ' || attributes[i] == '\t' || attributes[i] == '/'))
      ++i;
    std::size_t start = i;
    while (i < attributes.size() && attributes[i] != '=' && attributes[i] != ' ' && attributes[i] != '\t')
      ++i;
    std::string_view key = attributes.substr(start, i - start);
    if (key.empty()) break;
    std::string_view value;
    if (i < attributes.size() && attributes[i] == '=') {
      ++i;
      if (i < attributes.size() && (attributes[i] == '"' || attributes[i] == '\'')) {
        const char quote = attributes[i++];
        std::size_t end = attributes.find(quote, i);
        if (end == std::string_view::npos) end = attributes.size();
        value = attributes.substr(i, end - i);
        i = end + 1;
      } else {
        start = i;
        while (i < attributes.size() && attributes[i] != ' ' && attributes[i] != '\t') ++i;
        value = attributes.substr(start, i - start);
      }
    }
    if (EqualsIgnoreAsciiCase(key, name)) return value;
  }
  return std::nullopt;
}

std::optional<std::pair<char32_t, std::size_t>> DecodeEntity(std::string_view text) {
  if (text.size() < 3 || text[0] != '&') return std::nullopt;
  const std::size_t semicolon = text.substr(0, 12).find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  std::string_view body = text.substr(1, semicolon - 1);
  const std::size_t length = semicolon + 1;
  if (!body.empty() && body[0] == '#') {
    body.remove_prefix(1);
    int base = 10;
    if (!body.empty() && (body[0] == 'x' || body[0] == 'X')) {
      body.remove_prefix(1);
      base = 16;
    }
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value, base);
    if (body.empty() || ec != std::errc() || end != body.data() + body.size() || value > 0x10FFFF) {
      return std::nullopt;
    }
    return std::make_pair(static_cast<char32_t>(value), length);
  }
  static constexpr std::pair<std::string_view, char32_t> kNamed[] = {
      {"nbsp", 0xA0}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& [name, c] : kNamed) {
    if (body == name) return std::make_pair(c, length);
  }
  return std::nullopt;
}

}  // namespace tavex::source
