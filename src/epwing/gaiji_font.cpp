// Writing the book's gaiji fonts.
#include "epwing/gaiji_font.h"

#include <fmt/format.h>

#include "fs/write_layer.h"
#include "text/error.h"
#include "text/text.h"

namespace tavex::epwing {
namespace {

constexpr std::size_t kPage = 2048;

// Glyph index of `code` in a set starting at `start`: 94 codes a row.
int GlyphIndex(std::uint16_t start, std::uint16_t code) {
  return ((code >> 8) - (start >> 8)) * 94 + ((code & 0xFF) - (start & 0xFF));
}

}  // namespace

void WriteFontFile(const std::string& path, const source::FontSet& set, bool narrow) {
  const std::size_t glyph_size = narrow ? 16 : 32;
  int count = 1;
  if (!set.glyphs.empty()) count = GlyphIndex(set.start, set.glyphs.back().code) + 1;
  std::string data(kPage, '\0');
  data[10] = static_cast<char>(set.start >> 8);
  data[11] = static_cast<char>(set.start & 0xFF);
  data[12] = static_cast<char>(count >> 8);
  data[13] = static_cast<char>(count & 0xFF);
  const std::size_t glyph_bytes = static_cast<std::size_t>(count) * glyph_size;
  data.resize(kPage + (glyph_bytes + kPage - 1) / kPage * kPage, '\0');
  for (const source::Glyph& glyph : set.glyphs) {
    const int index = GlyphIndex(set.start, glyph.code);
    // Load keeps every code at or after its set's start; a set made otherwise is a fault here.
    if (index < 0 || index >= count)
      throw Error(fmt::format("gaiji code {:04X} outside its font set", glyph.code));
    std::size_t at = kPage + static_cast<std::size_t>(index) * glyph_size;
    for (int row = 0; row < 16; ++row) {
      data[at++] = static_cast<char>(glyph.rows[row] >> 8);
      if (!narrow) data[at++] = static_cast<char>(glyph.rows[row] & 0xFF);
    }
  }
  WriteFileInPlace(path, data);
}

std::string AfontsText(const source::GaijiSet& set) {
  std::string text;
  for (bool narrow : {true, false}) {
    for (const source::Glyph& glyph : (narrow ? set.narrow() : set.wide()).glyphs) {
      std::string utf8;
      const char32_t c = glyph.unicode;
      if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) continue;
      AppendUtf8(utf8, c);
      text += fmt::format("{}{:04x} {}\n", narrow ? 'n' : 'w', glyph.code, utf8);
    }
  }
  return text;
}

}  // namespace tavex::epwing
