// Tables for JIS X 0208: the code page 932 arithmetic, and Unicode lookups cached per code unit.
#include "epwing/jis.h"

#include <array>
#include <string>
#include <vector>

#include "text/cp932.h"

namespace tavex::epwing {

bool IsAssignedJis(std::uint16_t jis) {
  return IsJisX0208Assigned((jis >> 8) - 0x20, (jis & 0xFF) - 0x20);
}

std::uint16_t JisFromSjis(unsigned char lead, unsigned char trail) {
  int row_base;
  if (lead >= 0x81 && lead <= 0x9F) {
    row_base = (lead - 0x81) * 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    row_base = (lead - 0xC1) * 2;
  } else {
    return 0;
  }
  int row, cell;
  if (trail >= 0x40 && trail <= 0x7E) {
    row = row_base + 1, cell = trail - 0x3F;
  } else if (trail >= 0x80 && trail <= 0x9E) {
    row = row_base + 1, cell = trail - 0x40;
  } else if (trail >= 0x9F && trail <= 0xFC) {
    row = row_base + 2, cell = trail - 0x9E;
  } else {
    return 0;
  }
  const auto jis = static_cast<std::uint16_t>(((row + 0x20) << 8) | (cell + 0x20));
  return IsAssignedJis(jis) ? jis : 0;
}

std::uint16_t JisFromUnicode(char32_t c) {
  if (c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  if (c >= 0x20 && c < 0x7F) return JisFromAscii(static_cast<unsigned char>(c));
  // 0 = not asked yet; 1 = no JIS form; else the code.
  thread_local std::vector<std::uint16_t> known(0x10000, 0);
  std::uint16_t& slot = known[c];
  if (slot == 0) {
    std::string sjis;
    SjisUnitEncoder::ForThisThread().Append(static_cast<char16_t>(c), sjis);
    std::uint16_t jis = 0;
    if (sjis.size() == 2) {
      jis = JisFromSjis(static_cast<unsigned char>(sjis[0]), static_cast<unsigned char>(sjis[1]));
    }
    slot = jis == 0 ? 1 : jis;
  }
  return slot == 1 ? 0 : slot;
}

const std::uint16_t* AsciiJisTable() {
  // The full-width forms U+FF01-U+FF5E as code page 932 writes them, but for the quote
  // marks, whose full-width forms code page 932 keeps outside JIS X 0208.
  static const std::array<std::uint16_t, 0x80> table = [] {
    std::array<std::uint16_t, 0x80> t{};
    for (int c = 0x21; c < 0x7F; ++c) {
      std::string sjis;
      AppendSjis(static_cast<char16_t>(0xFF01 + (c - 0x21)), sjis);
      if (sjis.size() == 2) {
        t[c] = JisFromSjis(static_cast<unsigned char>(sjis[0]), static_cast<unsigned char>(sjis[1]));
      }
    }
    t[' '] = kJisSpace;
    t['"'] = 0x2149;   // ”
    t['\''] = 0x2147;  // ’
    return t;
  }();
  return table.data();
}

}  // namespace tavex::epwing
