#include "gaiji/render_glyph.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include "text/error.h"

namespace tavex::gaiji {
namespace {

struct LibraryDeleter {
  void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDeleter {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};
struct ConfigDeleter {
  void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};
struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};

using LibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryDeleter>;
using FacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceDeleter>;
using ConfigPtr = std::unique_ptr<FcConfig, ConfigDeleter>;
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;
using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;

// One font file (and face index inside it) known to fontconfig.
struct FontRef {
  std::string file;
  int index = 0;
  const FcCharSet* charset = nullptr;  // owned by the font set it came from; may be null
};

// What a face name resolves to: the best match first, then fontconfig's fallbacks.
struct FaceChain {
  std::vector<FontRef> fonts;
  FontSetPtr sorted;  // keeps the fallbacks' character sets alive
};

// An opened face with its size set for one cell height.
struct OpenFace {
  FacePtr face;
  int sized_for = -1;   // the cell height the size was chosen for; -1 before
  bool usable = false;  // false when no size fits (no metrics, no strike)
  int cell_height = 0;
  int descent = 0;
};

long RoundDiv(double value) { return std::lround(value); }

// Sets the size so that ascent + descent fill `cell_height` pixels. Scalable fonts take
// their scale from the Windows ascent and descent of the OS/2 table (the horizontal
// header's when that is missing), as the classic rasteriser did for a cell height;
// bitmap fonts use the strike whose height is closest.
void SizeFace(OpenFace& open, int cell_height) {
  open.sized_for = cell_height;
  open.usable = false;
  FT_Face face = open.face.get();
  if (cell_height <= 0) return;
  if (FT_IS_SCALABLE(face)) {
    long ascent = face->ascender;
    long descent = -face->descender;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
      ascent = os2->usWinAscent;
      descent = os2->usWinDescent;
    }
    const long total = ascent + descent;
    if (total <= 0 || face->units_per_EM == 0) return;
    const double pixels = static_cast<double>(cell_height) * face->units_per_EM / total;
    if (FT_Set_Char_Size(face, 0, RoundDiv(pixels * 64.0), 72, 72) != 0) return;
    open.cell_height = cell_height;
    open.descent = static_cast<int>(RoundDiv(static_cast<double>(descent) * cell_height / total));
    open.usable = true;
    return;
  }
  if (face->num_fixed_sizes <= 0) return;
  int best = 0;
  for (int i = 1; i < face->num_fixed_sizes; ++i) {
    if (std::abs(face->available_sizes[i].height - cell_height) <
        std::abs(face->available_sizes[best].height - cell_height)) {
      best = i;
    }
  }
  if (FT_Select_Size(face, best) != 0) return;
  const int ascent = static_cast<int>((face->size->metrics.ascender + 32) >> 6);
  open.descent = static_cast<int>((-face->size->metrics.descender + 32) >> 6);
  open.cell_height = ascent + open.descent;
  open.usable = true;
}

bool IsInk(const FT_Bitmap& bitmap, const unsigned char* row, unsigned x) {
  switch (bitmap.pixel_mode) {
    case FT_PIXEL_MODE_MONO:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case FT_PIXEL_MODE_GRAY:
      return row[x] >= 128;
    case FT_PIXEL_MODE_BGRA:
      return row[x * 4 + 3] >= 128;
    default:
      return false;
  }
}

// Copies FreeType's rendered bitmap into the rasteriser's 1-bit row layout.
RasterGlyph ToRaster(const OpenFace& open) {
  const FT_GlyphSlot slot = open.face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  RasterGlyph raster;
  raster.cell_height = open.cell_height;
  raster.descent = open.descent;
  raster.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  raster.width = static_cast<int>(bitmap.width);
  raster.height = static_cast<int>(bitmap.rows);
  raster.origin_x = slot->bitmap_left;
  raster.origin_y = slot->bitmap_top;
  raster.pitch = (raster.width + 7) / 8;
  raster.bits.assign(static_cast<std::size_t>(raster.pitch) * raster.height, 0);
  if (bitmap.buffer == nullptr) return raster;
  const long stride = std::labs(bitmap.pitch);
  for (unsigned y = 0; y < bitmap.rows; ++y) {
    // A negative pitch stores the rows bottom-up.
    const unsigned source_row = bitmap.pitch >= 0 ? y : bitmap.rows - 1 - y;
    const unsigned char* row = bitmap.buffer + source_row * stride;
    unsigned char* out = raster.bits.data() + static_cast<std::size_t>(y) * raster.pitch;
    for (unsigned x = 0; x < bitmap.width; ++x) {
      if (IsInk(bitmap, row, x)) out[x / 8] |= static_cast<unsigned char>(0x80u >> (x % 8));
    }
  }
  return raster;
}

std::string PatternFile(FcPattern* pattern, int& index) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(pattern, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) return {};
  index = 0;
  FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
  return reinterpret_cast<const char*>(file);
}

}  // namespace

struct Renderer::Impl {
  // Declared first so that it is destroyed last, after every face opened from it.
  LibraryPtr library;
  ConfigPtr config;
  std::unordered_map<std::string, FaceChain> chains;
  std::map<std::pair<std::string, int>, OpenFace> faces;

  const FaceChain& Chain(const std::string& face_name) {
    auto found = chains.find(face_name);
    if (found != chains.end()) return found->second;
    FaceChain chain;
    PatternPtr pattern(FcPatternCreate());
    if (pattern) {
      FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(face_name.c_str()));
      FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
      FcDefaultSubstitute(pattern.get());
      FcResult result = FcResultNoMatch;
      PatternPtr match(FcFontMatch(config.get(), pattern.get(), &result));
      if (match) {
        FontRef best;
        best.file = PatternFile(match.get(), best.index);
        if (!best.file.empty()) chain.fonts.push_back(best);
      }
      chain.sorted.reset(FcFontSort(config.get(), pattern.get(), FcFalse, nullptr, &result));
      if (chain.sorted) {
        for (int i = 0; i < chain.sorted->nfont; ++i) {
          FcPattern* font = chain.sorted->fonts[i];
          FontRef ref;
          ref.file = PatternFile(font, ref.index);
          if (ref.file.empty()) continue;
          FcCharSet* charset = nullptr;
          if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) == FcResultMatch) ref.charset = charset;
          if (!chain.fonts.empty() && chain.fonts.front().file == ref.file &&
              chain.fonts.front().index == ref.index) {
            continue;  // the best match is already first
          }
          chain.fonts.push_back(ref);
        }
      }
    }
    return chains.emplace(face_name, std::move(chain)).first->second;
  }

  // The opened face of a font file, sized for `cell_height`; null when it does not open.
  OpenFace* Open(const FontRef& ref, int cell_height) {
    auto key = std::make_pair(ref.file, ref.index);
    auto found = faces.find(key);
    if (found == faces.end()) {
      FT_Face raw = nullptr;
      OpenFace open;
      if (FT_New_Face(library.get(), ref.file.c_str(), ref.index, &raw) == 0) open.face.reset(raw);
      found = faces.emplace(key, std::move(open)).first;
    }
    OpenFace& open = found->second;
    if (!open.face) return nullptr;
    if (open.sized_for != cell_height) SizeFace(open, cell_height);
    return open.usable ? &open : nullptr;
  }

  // Calls `visit` with each font of the chain that really has a glyph for `code` (never
  // the missing-glyph box), opened for `cell_height`, until it returns true.
  template <typename Visit>
  void ForEachFontWith(char16_t code, int cell_height, const std::string& face_name, Visit visit) {
    if (code >= 0xD800 && code <= 0xDFFF) return;
    const FaceChain& chain = Chain(face_name);
    for (std::size_t i = 0; i < chain.fonts.size(); ++i) {
      const FontRef& ref = chain.fonts[i];
      if (i > 0 && ref.charset != nullptr && !FcCharSetHasChar(ref.charset, code)) continue;
      OpenFace* open = Open(ref, cell_height);
      if (open == nullptr) continue;
      const FT_UInt glyph_index = FT_Get_Char_Index(open->face.get(), code);
      if (glyph_index != 0 && visit(*open, ref, glyph_index)) return;
    }
  }
};

namespace {

// The glyph rendered 1-bit at the face's current size; a rasteriser error gives an empty
// glyph, which no cell accepts.
RasterGlyph LoadRaster(const OpenFace& open, FT_UInt glyph_index) {
  if (FT_Load_Glyph(open.face.get(), glyph_index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return {};
  return ToRaster(open);
}

}  // namespace

Renderer::Renderer() : impl_(std::make_unique<Impl>()) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) throw Error("cannot start the glyph rasteriser (freetype)");
  impl_->library.reset(library);
  impl_->config.reset(FcInitLoadConfigAndFonts());
  if (!impl_->config) throw Error("cannot load the font configuration (fontconfig)");
}

Renderer::~Renderer() = default;

std::optional<ChosenGlyph> Renderer::Choose(char16_t code, int cell_height, const std::string& face) {
  std::optional<ChosenGlyph> first;  // the first font's glyph, kept when no font fits
  FontRef first_font;
  FT_UInt first_index = 0;
  std::optional<ChosenGlyph> fitting;
  impl_->ForEachFontWith(code, cell_height, face, [&](const OpenFace& open, const FontRef& ref, FT_UInt index) {
    ChosenGlyph chosen{LoadRaster(open, index), first ? GlyphKind::kFallback : GlyphKind::kFits, ref.file,
                       cell_height};
    if (!first && chosen.raster.advance <= 0 && chosen.raster.cell_height == cell_height) {
      // A combining mark: it has no cell of its own in any font.
      chosen.kind = GlyphKind::kUnfit;
      first = std::move(chosen);
      return true;
    }
    if (GlyphFitsCell(chosen.raster)) {
      fitting = std::move(chosen);
      return true;
    }
    if (!first) {
      first = std::move(chosen);
      first_font = ref;
      first_index = index;
    }
    return false;
  });
  if (fitting) return fitting;
  if (!first || first->kind == GlyphKind::kUnfit) return first;

  // No font draws it inside the cell: the first one draws it smaller, its baseline kept
  // where the cell's is. Half the cell is the smallest size that still reads.
  first->kind = GlyphKind::kUnfit;
  OpenFace* open = impl_->Open(first_font, cell_height);
  if (open == nullptr || !FT_IS_SCALABLE(open->face.get())) return first;
  const int full_cell = open->cell_height;
  const int descent = open->descent;
  for (int size = cell_height - 1; size >= cell_height / 2; --size) {
    open = impl_->Open(first_font, size);
    if (open == nullptr) break;
    RasterGlyph raster = LoadRaster(*open, first_index);
    raster.cell_height = full_cell;
    raster.descent = descent;
    if (GlyphFitsCell(raster)) return ChosenGlyph{std::move(raster), GlyphKind::kScaled, first_font.file, size};
  }
  return first;
}

std::optional<RasterGlyph> Renderer::Rasterise(char16_t code, int cell_height, const std::string& face) {
  std::optional<ChosenGlyph> chosen = Choose(code, cell_height, face);
  if (!chosen) return std::nullopt;
  return std::move(chosen->raster);
}

GlyphBitmap Renderer::Render(char16_t code, int cell_height, const std::string& face) {
  std::optional<RasterGlyph> raster = Rasterise(code, cell_height, face);
  if (!raster) return {};
  return PlaceGlyph(*raster);
}

std::string Renderer::ResolveFace(const std::string& face) {
  const FaceChain& chain = impl_->Chain(face);
  return chain.fonts.empty() ? std::string() : chain.fonts.front().file;
}

std::string Renderer::FontFileFor(char16_t code, const std::string& face) {
  std::optional<ChosenGlyph> chosen = Choose(code, kGaijiCellHeight, face);
  return chosen ? chosen->font_file : std::string();
}

GlyphBitmap RenderGlyph(char16_t code, int cell_height, int /*charset*/, const std::string& face) {
  static std::mutex mutex;
  static Renderer renderer;
  std::lock_guard<std::mutex> lock(mutex);
  return renderer.Render(code, cell_height, face);
}

}  // namespace tavex::gaiji
