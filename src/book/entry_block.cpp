// Search key texts and the lines of an entry block.
#include "book/entry_block.h"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "text/cp932.h"

namespace tavex::book {

namespace {

// The fourteen full-width symbols that a search key leaves out, as Shift_JIS byte pairs:
// ・％－「」（）“”″＜＞／：
constexpr std::array<std::uint16_t, 14> kDroppedSymbols = {0x8145, 0x8193, 0x817C, 0x8175, 0x8176, 0x8169, 0x816A,
                                                           0x8167, 0x8168, 0x818D, 0x8183, 0x8184, 0x815E, 0x8146};

bool IsDroppedSymbol(unsigned char lead, unsigned char trail) {
  const auto pair = static_cast<std::uint16_t>((lead << 8) | trail);
  return std::find(kDroppedSymbols.begin(), kDroppedSymbols.end(), pair) != kDroppedSymbols.end();
}

// The position just past the ">" that ends an "<img" run starting at `start`, stepping
// over double-byte characters whole; the end of the text when there is none.
std::size_t SkipImage(std::string_view bytes, std::size_t start) {
  std::size_t i = start + 4;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (IsSjisLeadByte(byte)) {
      i += 2;
    } else if (byte == '>') {
      return i + 1;
    } else {
      ++i;
    }
  }
  return bytes.size();
}

// Shift_JIS of the two key types.
const Sjis& ForwardType() {
  static const Sjis type = ToSjis(std::string_view("前方表記"));
  return type;
}
const Sjis& BackwardType() {
  static const Sjis type = ToSjis(std::string_view("後方表記"));
  return type;
}

Sjis KeyLine(const Sjis& keyword, const Sjis& key_text, const Sjis& type) {
  return Sjis(fmt::format("<key title=\"{}\" type=\"{}\">{}</key>", keyword.bytes, type.bytes, key_text.bytes));
}

}  // namespace

Sjis MakeKeyText(const Sjis& keyword) {
  const std::string_view bytes = keyword.bytes;
  std::string key;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (IsSjisLeadByte(byte)) {
      // A lead byte cut off at the end of the text is no character and is dropped.
      if (i + 1 < bytes.size()) {
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        if (!IsDroppedSymbol(byte, trail)) key.append(bytes.substr(i, 2));
      }
      i += 2;
    } else if (bytes.substr(i, 4) == "<img") {
      i = SkipImage(bytes, i);
    } else if (byte >= '0' && byte <= '9') {
      key += '\x82';
      key += static_cast<char>(0x4F + (byte - '0'));
      ++i;
    } else if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) {
      key += '\x82';
      key += static_cast<char>(0x60 + ((byte & ~0x20) - 'A'));
      ++i;
    } else {
      ++i;
    }
  }
  return Sjis(std::move(key));
}

std::vector<Sjis> KeyLines(const std::vector<Sjis>& keywords, bool backward_keys) {
  std::vector<Sjis> lines;
  lines.reserve(keywords.size() * (backward_keys ? 2 : 1));
  for (const Sjis& keyword : keywords) {
    const Sjis key_text = MakeKeyText(keyword);
    lines.push_back(KeyLine(keyword, key_text, ForwardType()));
    if (backward_keys) lines.push_back(KeyLine(keyword, key_text, BackwardType()));
  }
  return lines;
}

std::vector<Sjis> EntryBlockLines(std::int64_t index, const Sjis& title, const std::vector<Sjis>& keywords,
                                  const Sjis& body, bool backward_keys, std::string_view last_line) {
  std::vector<Sjis> lines;
  lines.push_back(Sjis(fmt::format("<dt id=\"{}\">{}</dt>", index, title.bytes)));
  for (Sjis& line : KeyLines(keywords, backward_keys)) lines.push_back(std::move(line));
  lines.push_back(SjisAscii("<dd><p>"));
  lines.push_back(Sjis(body.bytes + "<br>"));
  lines.push_back(SjisAscii(last_line));
  return lines;
}

Sjis WithCrLf(const Sjis& text) {
  if (text.bytes.find('\n') == std::string::npos) return text;
  std::string result;
  result.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.bytes.size(); ++i) {
    const char c = text.bytes[i];
    if (c == '\n' && (i == 0 || text.bytes[i - 1] != '\r')) result += '\r';
    result += c;
  }
  return Sjis(std::move(result));
}

}  // namespace tavex::book
