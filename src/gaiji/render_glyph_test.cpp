#include "gaiji/render_glyph.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "gaiji/glyph_picture.h"
#include "fs/files.h"
#include "testing/test_util.h"

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

// Ink pixels of a raster's black box.
int InkOf(const RasterGlyph& raster) {
  int pixels = 0;
  for (int y = 0; y < raster.height; ++y) {
    const unsigned char* row = raster.bits.data() + static_cast<std::size_t>(y) * raster.pitch;
    for (int x = 0; x < raster.width; ++x) pixels += (row[x / 8] >> (7 - x % 8)) & 1;
  }
  return pixels;
}

// Checks that `code` is drawn as `kind` and that its placed glyph keeps every ink pixel
// of the raster, inside a slot of 16 rows.
void ExpectDrawnWhole(Renderer& renderer, char16_t code, GlyphKind kind) {
  SCOPED_TRACE(::testing::Message() << "U+" << std::hex << int(code));
  std::optional<ChosenGlyph> chosen = renderer.Choose(code, kGaijiCellHeight, kDefaultGaijiFace);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->kind, kind) << chosen->font_file;
  EXPECT_TRUE(GlyphFitsCell(chosen->raster));
  GlyphBitmap placed = PlaceGlyph(chosen->raster);
  ASSERT_NE(placed.width_class, 0);
  EXPECT_EQ(GlyphRows(placed.glyph_text).size(), 16u);
  EXPECT_GT(InkOf(placed).pixels, 0);
  EXPECT_EQ(InkOf(placed).pixels, InkOf(chosen->raster));
}

// A Renderer that sees only DejaVu Sans (the gaiji face's stand-in) and DejaVu Sans
// Mono, through a fontconfig configuration of its own, so that which font draws a
// character does not depend on the fonts installed.
class KnownFonts {
 public:
  KnownFonts() {
    const std::string fonts = dir_ / "fonts";
    for (const char* name : {"DejaVuSans.ttf", "DejaVuSansMono.ttf"}) {
      const std::string file = std::string("/usr/share/fonts/truetype/dejavu/") + name;
      if (!FileExists(file)) return;
      tavex::testing::WriteTestFile(fonts + "/" + name, ReadFile(file));
    }
    tavex::testing::WriteTestFile(
        dir_ / "fonts.conf",
        "<?xml version=\"1.0\"?>\n<fontconfig>\n<dir>" + fonts + "</dir>\n<cachedir>" + (dir_ / "cache") +
            "</cachedir>\n<alias><family>" + kDefaultGaijiFace +
            "</family><prefer><family>DejaVu Sans</family></prefer></alias>\n</fontconfig>\n");
    const char* previous = std::getenv("FONTCONFIG_FILE");
    const std::string saved = previous ? previous : "";
    setenv("FONTCONFIG_FILE", (dir_ / "fonts.conf").c_str(), 1);
    renderer_ = std::make_unique<Renderer>();
    if (previous) {
      setenv("FONTCONFIG_FILE", saved.c_str(), 1);
    } else {
      unsetenv("FONTCONFIG_FILE");
    }
  }
  // Null when the two fonts are not installed.
  Renderer* renderer() { return renderer_.get(); }

 private:
  tavex::testing::TempDir dir_;
  std::unique_ptr<Renderer> renderer_;
};

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

TEST_F(RenderGlyphTest, GlyphTooBigForTheCellComesFromAFallbackOrIsDrawnSmaller) {
  KnownFonts fonts;
  if (fonts.renderer() == nullptr) GTEST_SKIP() << "DejaVu Sans and DejaVu Sans Mono are not installed";
  Renderer& known = *fonts.renderer();
  ExpectDrawnWhole(known, u'\u00e9', GlyphKind::kFits);
  // Wider than its advance in DejaVu Sans: drawn by DejaVu Sans Mono, or, where Mono's
  // glyph leaves the cell too, by DejaVu Sans one size smaller.
  for (char16_t code : {u'\u0128', u'\u012a', u'\u012c', u'\u0134', u'\u0286'}) {
    ExpectDrawnWhole(known, code, GlyphKind::kFallback);
  }
  ExpectDrawnWhole(known, u'\u0104', GlyphKind::kScaled);
  // Wider than the cell in DejaVu Sans, absent from DejaVu Sans Mono: drawn smaller.
  ExpectDrawnWhole(known, u'\u01c4', GlyphKind::kScaled);
  // A combining mark has no cell of its own.
  EXPECT_EQ(known.Choose(u'\u0301', kGaijiCellHeight, kDefaultGaijiFace)->kind, GlyphKind::kUnfit);
  EXPECT_EQ(known.Render(u'\u0301', kGaijiCellHeight, kDefaultGaijiFace).width_class, 0);

  // The glyphs of the installed fonts and of the two known ones side by side, for a
  // person to look at.
  std::vector<GlyphBitmap> glyphs;
  for (char16_t code : std::u16string(u"\u0104\u0128\u012a\u012c\u0134\u0286\u01c4\u01f1\u0283\u00e9")) {
    glyphs.push_back(renderer().Render(code, kGaijiCellHeight, kDefaultGaijiFace));
    glyphs.push_back(known.Render(code, kGaijiCellHeight, kDefaultGaijiFace));
  }
  WriteGlyphPicture(std::string(TAVEX_BINARY_DIR) + "/gaiji_glyphs_fitted.png", glyphs, {6, 12, 2});
}

}  // namespace
}  // namespace tavex::gaiji
