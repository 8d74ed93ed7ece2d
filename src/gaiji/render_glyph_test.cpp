#include "gaiji/render_glyph.h"

#include <gtest/gtest.h>

namespace tavex::gaiji {
namespace {

// Rows (top first) that carry ink, and the ink count.
struct Ink {
  int top = -1;
  int bottom = -1;
  int pixels = 0;
};

Ink InkOf(const GlyphBitmap& glyph) {
  Ink ink;
  auto rows = GlyphRows(glyph.glyph_text);
  for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
    for (bool pixel : rows[y]) {
      if (!pixel) continue;
      ++ink.pixels;
      if (ink.top < 0) ink.top = y;
      ink.bottom = y;
    }
  }
  return ink;
}

class RenderGlyphTest : public ::testing::Test {
 protected:
  static Renderer& renderer() {
    static Renderer instance;
    return instance;
  }
};

TEST_F(RenderGlyphTest, CellIsSixteenPixelsWithTheBaselineAboveTheDescent) {
  std::optional<RasterGlyph> raster = renderer().Rasterise(u'x', 16, kDefaultGaijiFace);
  ASSERT_TRUE(raster.has_value());
  EXPECT_EQ(raster->cell_height, 16);
  EXPECT_GT(raster->descent, 0);
  // 'x' sits on the baseline, 'g' reaches below it, so the last ink rows differ by the
  // rows of the descent that 'g' uses.
  const int baseline_row = 16 - raster->descent - 1;
  EXPECT_EQ(InkOf(renderer().Render(u'x', 16, kDefaultGaijiFace)).bottom, baseline_row);
  EXPECT_EQ(InkOf(renderer().Render(u'\u00e9', 16, kDefaultGaijiFace)).bottom, baseline_row);
  EXPECT_GT(InkOf(renderer().Render(u'g', 16, kDefaultGaijiFace)).bottom, baseline_row);
}

TEST_F(RenderGlyphTest, DictionaryCharactersHaveInkInsideTheGrid) {
  for (char16_t code : {u'\u00e9', u'\u0259', u'\u2014', u'\u0283', u'\u014b', u'\u02c8', u'\u00ef'}) {
    GlyphBitmap glyph = renderer().Render(code, 16, kDefaultGaijiFace);
    ASSERT_NE(glyph.width_class, 0) << std::hex << int(code);
    auto rows = GlyphRows(glyph.glyph_text);
    ASSERT_EQ(rows.size(), 16u);
    for (const auto& row : rows) EXPECT_EQ(row.size(), static_cast<std::size_t>(glyph.width_class));
    Ink ink = InkOf(glyph);
    EXPECT_GT(ink.pixels, 0) << std::hex << int(code);
    EXPECT_LT(ink.pixels, 16 * glyph.width_class / 2) << std::hex << int(code);
  }
  // The em dash is one horizontal stroke, wider than a hyphen.
  Ink dash = InkOf(renderer().Render(u'\u2014', 16, kDefaultGaijiFace));
  Ink hyphen = InkOf(renderer().Render(u'\u2010', 16, kDefaultGaijiFace));
  EXPECT_EQ(dash.top, dash.bottom);
  EXPECT_GT(dash.pixels, 2 * hyphen.pixels);
}

TEST_F(RenderGlyphTest, CharacterWithoutAnyFontGivesNothing) {
  // Private use: no installed font here draws it (checked, not assumed).
  if (!renderer().FontFileFor(u'\ue000', kDefaultGaijiFace).empty()) GTEST_SKIP() << "a font covers U+E000";
  EXPECT_FALSE(renderer().Rasterise(u'\ue000', 16, kDefaultGaijiFace).has_value());
  EXPECT_EQ(renderer().Render(u'\ue000', 16, kDefaultGaijiFace).width_class, 0);
  EXPECT_EQ(RenderGlyph(u'\ue000', 16, 0, kDefaultGaijiFace).width_class, 0);
  // A lone surrogate is no character at all.
  EXPECT_FALSE(renderer().Rasterise(u'\xd800', 16, kDefaultGaijiFace).has_value());
}

TEST_F(RenderGlyphTest, MissingCharacterComesFromAFallbackFont) {
  const std::string primary = renderer().ResolveFace(kDefaultGaijiFace);
  ASSERT_FALSE(primary.empty());
  const std::string fallback = renderer().FontFileFor(u'\u4e00', kDefaultGaijiFace);
  if (fallback.empty()) GTEST_SKIP() << "no installed font has U+4E00";
  if (fallback == primary) GTEST_SKIP() << "the face itself has U+4E00";
  GlyphBitmap glyph = renderer().Render(u'\u4e00', 16, kDefaultGaijiFace);
  EXPECT_EQ(glyph.width_class, 16);
  EXPECT_GT(InkOf(glyph).pixels, 0);
}

}  // namespace
}  // namespace tavex::gaiji
