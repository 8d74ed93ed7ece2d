// What the workbench window asks of the Workbench beyond the commands both front ends share.
#include "gaiji/render_glyph.h"
#include "pipeline/workbench.h"

namespace tavex {

std::string Workbench::GaijiGlyphText(int ws_code) {
  if (ws_code < 0 || ws_code > 0xFFFF) return {};
  const gaiji::GlyphBitmap glyph =
      gaiji::RenderGlyph(static_cast<char16_t>(ws_code), gaiji::kGaijiCellHeight, 0, GaijiFace());
  return glyph.width_class == 0 ? std::string() : glyph.glyph_text;
}

}  // namespace tavex
