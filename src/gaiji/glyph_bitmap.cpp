#include "gaiji/glyph_bitmap.h"

namespace tavex::gaiji {

int WidthClass(int advance) {
  if (advance > 8 && advance <= 16) return 16;
  if (advance > 0 && advance <= 8) return 8;
  return 0;
}

GlyphBitmap PlaceGlyph(const RasterGlyph& raster) {
  const int cell_height = raster.cell_height;
  const int advance = raster.advance;
  if (raster.width < 0 || raster.height < 0 || advance < raster.width ||
      cell_height < raster.height || cell_height != kGaijiCellHeight) {
    return {};
  }
  GlyphBitmap result;
  result.black_box_width = raster.width;
  result.black_box_height = raster.height;
  result.advance = advance;
  result.cell_height = cell_height;
  result.left_offset = raster.origin_x;
  result.top_offset = cell_height - raster.descent - raster.origin_y;
  result.width_class = WidthClass(advance);
  if (result.width_class == 0) return result;

  // The slot the glyph is centred in; pixels of the cell that carry no ink stay blank.
  const int slot_width = result.width_class;
  const int shift = (slot_width - advance) / 2;  // both non-negative: a floor
  std::vector<std::vector<bool>> slot(kGaijiCellHeight, std::vector<bool>(slot_width, false));
  const bool bits_complete =
      raster.pitch * 8 >= raster.width &&
      raster.bits.size() >= static_cast<std::size_t>(raster.pitch) * raster.height;
  if (bits_complete) {
    for (int y = 0; y < raster.height; ++y) {
      const int row = result.top_offset + y;
      if (row < 0 || row >= cell_height) continue;
      const unsigned char* line = raster.bits.data() + static_cast<std::size_t>(y) * raster.pitch;
      for (int x = 0; x < raster.width; ++x) {
        const int column = raster.origin_x + x;
        if (column < 0 || column >= advance) continue;
        if ((line[x / 8] >> (7 - x % 8)) & 1) slot[row][column + shift] = true;
      }
    }
  }

  std::string& text = result.glyph_text;
  text.reserve(kGaijiCellHeight * (slot_width + 2));
  for (int row = 0; row < kGaijiCellHeight; ++row) {
    if (row > 0) text += "\r\n";
    for (int column = 0; column < slot_width; ++column) text += slot[row][column] ? '#' : '.';
  }
  return result;
}

bool GlyphFitsCell(const RasterGlyph& raster) {
  const int top = raster.cell_height - raster.descent - raster.origin_y;
  return raster.cell_height == kGaijiCellHeight && WidthClass(raster.advance) != 0 && raster.width >= 0 &&
         raster.origin_x >= 0 && raster.origin_x + raster.width <= raster.advance && raster.height >= 0 &&
         top >= 0 && top + raster.height <= raster.cell_height;
}

std::vector<std::vector<bool>> GlyphRows(const std::string& glyph_text) {
  std::vector<std::vector<bool>> rows;
  if (glyph_text.empty()) return rows;
  rows.emplace_back();
  for (std::size_t i = 0; i < glyph_text.size(); ++i) {
    const char c = glyph_text[i];
    if (c == '\r' && i + 1 < glyph_text.size() && glyph_text[i + 1] == '\n') {
      rows.emplace_back();
      ++i;
    } else {
      rows.back().push_back(c == '#');
    }
  }
  return rows;
}

}  // namespace tavex::gaiji
