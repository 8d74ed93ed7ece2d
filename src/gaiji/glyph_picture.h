// A picture of rendered gaiji glyphs, so that a person can check them by eye: each glyph
// slot drawn from its glyph text, enlarged, side by side in rows. Written as a greyscale PNG.
#pragma once

#include <string>
#include <vector>

#include "gaiji/glyph_bitmap.h"

namespace tavex::gaiji {

// How the picture is laid out.
struct GlyphPictureOptions {
  int scale = 4;     // each glyph pixel becomes a scale x scale square
  int per_row = 16;  // glyph slots per picture row
  int gap = 2;       // grey pixels (unscaled) between slots
};

// The picture as PNG bytes: ink black, blank white, gaps grey. Glyphs with an empty glyph
// text (width class 0) take an empty 8-pixel slot drawn in light grey.
std::string GlyphPicturePng(const std::vector<GlyphBitmap>& glyphs, const GlyphPictureOptions& options = {});

// Writes GlyphPicturePng to `path` (atomically). Throws tavex::Error naming the file.
void WriteGlyphPicture(const std::string& path, const std::vector<GlyphBitmap>& glyphs,
                       const GlyphPictureOptions& options = {});

// A greyscale image (one byte per pixel, rows top to bottom) as PNG bytes, stored
// without compression so that no compression library is needed.
std::string EncodeGreyPng(int width, int height, const std::vector<unsigned char>& pixels);

}  // namespace tavex::gaiji
