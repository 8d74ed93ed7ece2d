#include "check/key_text.h"

#include <array>
#include <cstdint>

#include "text/cp932.h"

namespace tavex::check {

namespace {

// ・％－「」（）“”″＜＞／： as Shift_JIS codes: dropped from search texts.
constexpr std::array<std::uint16_t, 14> kIgnoredSymbols = {0x8145, 0x8193, 0x817C, 0x8175, 0x8176,
                                                           0x8169, 0x816A, 0x8167, 0x8168, 0x818D,
                                                           0x8183, 0x8184, 0x815E, 0x8146};

bool IsIgnoredSymbol(unsigned char lead, unsigned char trail) {
  std::uint16_t code = static_cast<std::uint16_t>(lead << 8 | trail);
  for (std::uint16_t symbol : kIgnoredSymbols) {
    if (symbol == code) return true;
  }
  return false;
}

unsigned char At(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

bool IsHalfWidthKana(unsigned char byte) { return byte >= 0xA1 && byte <= 0xDF; }

}  // namespace

bool HasHalfWidthKana(std::string_view sjis) {
  for (std::size_t i = 0; i < sjis.size(); ++i) {
    unsigned char byte = At(sjis, i);
    if (IsSjisLeadByte(byte)) {
      ++i;  // the trail byte may look like kana; it belongs to the pair
    } else if (IsHalfWidthKana(byte)) {
      return true;
    }
  }
  return false;
}

std::string ExpectedKeyText(std::string_view title) {
  std::string out;
  std::size_t i = 0;
  while (i < title.size()) {
    unsigned char byte = At(title, i);
    if (IsSjisLeadByte(byte) && i + 1 < title.size()) {
      if (!IsIgnoredSymbol(byte, At(title, i + 1))) out.append(title.substr(i, 2));
      i += 2;
    } else if (title.substr(i, 4) == "<img") {
      // Skip to the next single-byte '>', stepping over double-byte characters whole.
      std::size_t j = i + 4;
      while (j < title.size() && title[j] != '>') j += IsSjisLeadByte(At(title, j)) ? 2 : 1;
      i = j + 1;
    } else if (byte >= '0' && byte <= '9') {
      out += '\x82';
      out += static_cast<char>(0x4F + (byte - '0'));
      i += 1;
    } else if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) {
      out += '\x82';
      out += static_cast<char>(0x60 + ((byte | 0x20) - 'a'));
      i += 1;
    } else {
      i += 1;
    }
  }
  return out;
}

}  // namespace tavex::check
