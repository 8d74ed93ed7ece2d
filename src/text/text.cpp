// Text helpers: UTF-8/UTF-16 conversion that keeps every code unit (lone surrogates
// included), trimming, plain replacement, ASCII case folding and integer parsing.
#include "text/text.h"

#include <fmt/format.h>

#include <charconv>

namespace tavex {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

bool IsControlOrSpace(char32_t c) { return c <= 0x20; }

template <typename Char>
std::basic_string<Char> TrimControlImpl(std::basic_string_view<Char> text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsControlOrSpace(static_cast<std::make_unsigned_t<Char>>(text[begin]))) ++begin;
  while (end > begin && IsControlOrSpace(static_cast<std::make_unsigned_t<Char>>(text[end - 1]))) --end;
  return std::basic_string<Char>(text.substr(begin, end - begin));
}

template <typename Char>
std::basic_string<Char> ReplaceAllImpl(std::basic_string_view<Char> text,
                                       std::basic_string_view<Char> from,
                                       std::basic_string_view<Char> to) {
  if (from.empty()) return std::basic_string<Char>(text);
  std::basic_string<Char> out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = text.find(from, pos);
    if (hit == std::basic_string_view<Char>::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

char AsciiLowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  ForEachUtf16Unit(utf8, [&out](char16_t unit) { out += unit; });
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string EncodeUnitUtf8(char16_t unit) {
  std::string out;
  AppendUtf8(out, unit);
  return out;
}

std::string TrimControl(std::string_view text) { return TrimControlImpl(text); }

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto hex = [&out](unsigned value) { out += fmt::format("\\x{:02X}", value); };
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      if ((b < 0x20 && b != '\t') || b == 0x7F) {
        hex(b);
      } else {
        out += static_cast<char>(b);
      }
      ++i;
      continue;
    }
    // The length of a well-formed sequence; C1 controls are C2 80 to C2 9F.
    std::size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
    if (length == 0 || b > 0xF4 || i + length > text.size()) {
      hex(b);
      ++i;
      continue;
    }
    bool valid = true;
    for (std::size_t k = 1; k < length; ++k)
      valid = valid && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!valid) {
      hex(b);
      ++i;
    } else if (b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      hex(static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}
std::u16string TrimControl(std::u16string_view text) { return TrimControlImpl(text); }

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  return ReplaceAllImpl(text, from, to);
}

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to) {
  return ReplaceAllImpl(text, from, to);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLowerChar(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  }
  return true;
}

bool ParseInt(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (*begin == '+') {
    ++begin;  // from_chars takes "-" but not "+"
    if (begin == end || *begin == '-') return false;
  }
  std::int64_t parsed = 0;
  auto [ptr, ec] = std::from_chars(begin, end, parsed);
  if (ec != std::errc() || ptr != end) return false;
  value = parsed;
  return true;
}

}  // namespace tavex
