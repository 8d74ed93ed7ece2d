// One gaiji glyph as the book's font file wants it: the rasteriser's 1-bit picture of a
// character placed into its cell, centred in a 16- or 8-pixel-wide slot, and written as
// rows of "#" (ink) and "." (blank). This part is pure; render_glyph.h feeds it from fonts.
#pragma once

#include <string>
#include <vector>

namespace tavex::gaiji {

// The result of rendering one character. Every field is 0 or empty until a rendering
// succeeds; a width class of 0 means the character cannot be a gaiji.
struct GlyphBitmap {
  int black_box_width = 0;   // width of the inked area, in pixels
  int black_box_height = 0;  // height of the inked area
  int advance = 0;           // the character's advance width (cell width)
  int cell_height = 0;       // the font's cell height (ascent plus descent)
  int left_offset = 0;       // column of the inked area's left edge inside the cell
  int top_offset = 0;        // row of the inked area's top inside the cell (ascent - origin y)
  int width_class = 0;       // 16 (full width), 8 (half width) or 0 (not usable)
  // 16 rows of width_class characters, "#" ink and "." blank, CR LF between rows and no
  // line end after the last. Plain ASCII, so it reads the same in Shift_JIS.
  std::string glyph_text;
};

// What the rasteriser reports for one character at one cell height, in pixels.
struct RasterGlyph {
  int cell_height = 0;  // ascent + descent of the font at this size
  int descent = 0;      // below the baseline
  int advance = 0;      // advance width
  int width = 0;        // black-box width
  int height = 0;       // black-box height (rows)
  int origin_x = 0;     // black box's left edge relative to the pen position
  int origin_y = 0;     // black box's top relative to the baseline, upward positive
  int pitch = 0;        // bytes per row in `bits`
  // `height` rows of `pitch` bytes; pixel j of a row is bit 7 - (j mod 8) of byte j / 8
  // (leftmost pixel in the most significant bit); 1 is ink.
  std::vector<unsigned char> bits;
};

// The cell height every gaiji glyph must have.
inline constexpr int kGaijiCellHeight = 16;

// 16 for an advance of 9..16, 8 for 1..8, otherwise 0.
int WidthClass(int advance);

// Places a rasterised character into its slot. Gives an empty result (width class 0)
// when the black box is wider than the advance, taller than the cell, the cell is not
// 16 pixels high, or the advance is 0 or over 16. Ink falling outside the cell is dropped.
GlyphBitmap PlaceGlyph(const RasterGlyph& raster);

// True when PlaceGlyph accepts the glyph and its black box lies inside the cell (no
// column left of the pen or past the advance, no row above or below the cell), so the
// placed glyph keeps every ink pixel.
bool GlyphFitsCell(const RasterGlyph& raster);

// The pixels of a glyph text, row by row: true for ink. Rows split at CR LF.
std::vector<std::vector<bool>> GlyphRows(const std::string& glyph_text);

}  // namespace tavex::gaiji
