#include "gaiji/glyph_bitmap.h"

#include <gtest/gtest.h>

namespace tavex::gaiji {
namespace {

// A raster of a 16-pixel cell (descent 3) whose black box is `width` x `height`, all ink.
RasterGlyph SolidBox(int advance, int width, int height, int origin_x, int origin_y) {
  RasterGlyph raster;
  raster.cell_height = 16;
  raster.descent = 3;
  raster.advance = advance;
  raster.width = width;
  raster.height = height;
  raster.origin_x = origin_x;
  raster.origin_y = origin_y;
  raster.pitch = 4;  // padded, as the rasteriser pads rows
  raster.bits.assign(static_cast<std::size_t>(raster.pitch) * height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) raster.bits[y * raster.pitch + x / 8] |= 0x80 >> (x % 8);
  }
  return raster;
}

TEST(WidthClassTest, BoundariesOfTheTwoSlots) {
  EXPECT_EQ(WidthClass(0), 0);
  EXPECT_EQ(WidthClass(-1), 0);
  EXPECT_EQ(WidthClass(1), 8);
  EXPECT_EQ(WidthClass(8), 8);
  EXPECT_EQ(WidthClass(9), 16);
  EXPECT_EQ(WidthClass(16), 16);
  EXPECT_EQ(WidthClass(17), 0);
}

TEST(PlaceGlyphTest, AdvanceTenIsCentredInTheFullWidthSlotByThree) {
  // One ink pixel at the cell's left edge, top row (origin y = ascent 13).
  GlyphBitmap glyph = PlaceGlyph(SolidBox(10, 1, 1, 0, 13));
  EXPECT_EQ(glyph.width_class, 16);
  EXPECT_EQ(glyph.top_offset, 0);
  auto rows = GlyphRows(glyph.glyph_text);
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(glyph.glyph_text.substr(0, 18), "...#............\r\n");
}

TEST(PlaceGlyphTest, AdvanceSevenIsNotShifted) {
  GlyphBitmap glyph = PlaceGlyph(SolidBox(7, 7, 2, 0, 1));
  EXPECT_EQ(glyph.width_class, 8);
  // Origin y 1 puts the box's top one row above the baseline: rows 12 and 13.
  EXPECT_EQ(glyph.top_offset, 12);
  auto rows = GlyphRows(glyph.glyph_text);
  ASSERT_EQ(rows.size(), 16u);
  const std::vector<bool> full{true, true, true, true, true, true, true, false};
  EXPECT_EQ(rows[12], full);
  EXPECT_EQ(rows[13], full);
  EXPECT_EQ(rows[11], std::vector<bool>(8, false));
}

TEST(PlaceGlyphTest, TextIsSixteenRowsOfTheSlotWidthWithoutFinalLineEnd) {
  for (int advance : {3, 8, 9, 16}) {
    GlyphBitmap glyph = PlaceGlyph(SolidBox(advance, advance, 16, 0, 13));
    const std::size_t width = static_cast<std::size_t>(glyph.width_class);
    ASSERT_GT(width, 0u) << advance;
    EXPECT_EQ(glyph.glyph_text.size(), 16 * width + 15 * 2) << advance;
    EXPECT_NE(glyph.glyph_text.back(), '\n');
    for (const auto& row : GlyphRows(glyph.glyph_text)) EXPECT_EQ(row.size(), width);
  }
}

TEST(PlaceGlyphTest, InkOutsideTheCellIsDropped) {
  // Box reaching two rows above the cell, one column left of it and past the advance.
  RasterGlyph raster = SolidBox(8, 8, 4, -1, 15);
  raster.advance = 8;
  GlyphBitmap glyph = PlaceGlyph(raster);
  ASSERT_EQ(glyph.width_class, 8);
  auto rows = GlyphRows(glyph.glyph_text);
  const std::vector<bool> clipped{true, true, true, true, true, true, true, false};
  EXPECT_EQ(rows[0], clipped);
  EXPECT_EQ(rows[1], clipped);
  EXPECT_EQ(rows[2], std::vector<bool>(8, false));
}

TEST(PlaceGlyphTest, GlyphsThatDoNotFitAreRejected) {
  EXPECT_EQ(PlaceGlyph(SolidBox(6, 7, 4, 0, 8)).width_class, 0);   // ink wider than advance
  EXPECT_EQ(PlaceGlyph(SolidBox(8, 4, 17, 0, 13)).width_class, 0);  // taller than the cell
  EXPECT_EQ(PlaceGlyph(SolidBox(0, 0, 0, 0, 0)).width_class, 0);    // no advance
  EXPECT_EQ(PlaceGlyph(SolidBox(17, 4, 4, 0, 8)).width_class, 0);   // wider than a slot
  RasterGlyph tall_cell = SolidBox(8, 4, 4, 0, 8);
  tall_cell.cell_height = 17;
  EXPECT_EQ(PlaceGlyph(tall_cell).width_class, 0);
  EXPECT_TRUE(PlaceGlyph(tall_cell).glyph_text.empty());
}

TEST(PlaceGlyphTest, EmptyBlackBoxGivesABlankGlyph) {
  GlyphBitmap glyph = PlaceGlyph(SolidBox(5, 0, 0, 0, 0));
  EXPECT_EQ(glyph.width_class, 8);
  EXPECT_EQ(glyph.glyph_text.find('#'), std::string::npos);
  EXPECT_EQ(GlyphRows(glyph.glyph_text).size(), 16u);
}

}  // namespace
}  // namespace tavex::gaiji
