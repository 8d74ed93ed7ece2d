// Glyph rendering for the gaiji font: a character is drawn from a system font, found by
// face name through fontconfig and rasterised 1-bit by FreeType with the metrics of the
// classic 16-pixel text cell (ascent + descent = the cell height, scaled from the font's
// Windows ascent and descent), then placed by glyph_bitmap.h.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "gaiji/glyph_bitmap.h"

namespace tavex::gaiji {

// The face the gaiji glyphs are drawn from unless the settings name another.
inline constexpr const char* kDefaultGaijiFace = "Lucida Sans Unicode";

// How a character came to its glyph.
enum class GlyphKind {
  kFits,      // the first face that has the character draws it inside the cell
  kFallback,  // a later face of the fallback order draws it inside the cell
  kScaled,    // the first face draws it smaller than the cell, on the cell's baseline
  kUnfit,     // no face draws it inside the cell at any size tried (a combining mark)
};

// The glyph chosen for one character and where it came from.
struct ChosenGlyph {
  RasterGlyph raster;
  GlyphKind kind = GlyphKind::kFits;
  std::string font_file;  // the font that drew it
  int size = 0;           // the cell height the face was sized for; below the cell when scaled
};

// Owns one FreeType library and one fontconfig configuration, and keeps every face it
// opened (and the fallback order of every face name it resolved) until it is destroyed.
// Not thread-safe; use one per thread, or the process-wide one behind RenderGlyph.
class Renderer {
 public:
  // Throws tavex::Error when FreeType or fontconfig cannot start.
  Renderer();
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // The glyph of `code` for a cell of `cell_height`: from `face`, or else from the first
  // font of fontconfig's fallback order for `face` that has the character, when it fits
  // the cell (GlyphFitsCell); else from the next font of that order that has it and fits;
  // else from the first font at the largest smaller size that fits. A glyph without
  // advance in the first font (a combining mark) is not searched further: kUnfit. Nothing
  // when no installed font has the character (or it is a lone surrogate).
  std::optional<ChosenGlyph> Choose(char16_t code, int cell_height, const std::string& face);

  // The raster of Choose.
  std::optional<RasterGlyph> Rasterise(char16_t code, int cell_height, const std::string& face);

  // Rasterise and place. A character no installed font has gives width class 0.
  GlyphBitmap Render(char16_t code, int cell_height, const std::string& face);

  // The font file `face` resolves to (fontconfig's best match), for reports.
  std::string ResolveFace(const std::string& face);

  // The font file that draws `code` for `face` in the gaiji cell (see Choose); empty
  // when no installed font has it.
  std::string FontFileFor(char16_t code, const std::string& face);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Renders one character with a process-wide Renderer. `charset` is the character set of
// the requested font (always 0, the ANSI set); fontconfig selects by coverage instead,
// so it is accepted and not used.
GlyphBitmap RenderGlyph(char16_t code, int cell_height, int charset, const std::string& face);

}  // namespace tavex::gaiji
