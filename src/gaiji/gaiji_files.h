// The book's gaiji files: every character the Shift_JIS book cannot hold (`char_ref` "1"
// in the `char` table) is rendered, given a gaiji code, and written into GaijiMap.xml
// (Unicode to gaiji code), Gaiji.xml (the glyph pictures) and TAVEX.map (a text map).
// Full-width glyphs are numbered first, the half-width ones continue the same count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gaiji/glyph_bitmap.h"
#include "platform/progress.h"

namespace tavex::gaiji {

class Renderer;

// The first gaiji code of the book's external characters.
inline constexpr std::uint32_t kFirstGaijiCode = 0xA121;

// The gaiji code of the `ordinal`-th glyph (from 0) in the book format's layout: 94 codes
// a row, the low byte running 0x21..0x7E, so A17E is followed by A221. Throws tavex::Error
// past the last code FE7E (8836 glyphs).
std::uint32_t GaijiCode(int ordinal);

// One character given a gaiji: its code unit, its alternative text (empty when none),
// its glyph and its gaiji code.
struct GaijiEntry {
  std::uint32_t ws_code = 0;
  std::string alt;  // UTF-8
  GlyphBitmap glyph;
  std::uint32_t gaiji_code = 0;
};

// The numbered gaiji of a book, in code order, and the characters that were left out.
struct GaijiSets {
  std::vector<GaijiEntry> full_width;  // width class 16, codes from A121
  std::vector<GaijiEntry> half_width;  // width class 8, continuing the count
  std::uint32_t half_width_start = kFirstGaijiCode;  // code of the first half-width glyph
  std::vector<std::uint32_t> uncovered;  // characters no installed font has
  std::vector<std::uint32_t> unfit;      // characters whose glyph does not fit a 16-pixel cell
};

// One character read from the database before rendering.
struct GaijiSource {
  std::uint32_t ws_code = 0;
  std::string alt;  // UTF-8, empty when none
};

// The characters with `char_ref` "1" in ascending code, each with the alternative text of
// its `alt` row (matched on `uni` = `ws_hex`, ignoring letter case; the first such row).
// No `alt` table means no alternative texts. Throws tavex::Error on database errors and
// on a `ws_code` that is not a code unit.
std::vector<GaijiSource> LoadGaijiSources(const std::string& db_path);

// Gives the full-width set the codes from A121 on and lets the half-width set continue the
// count (also setting `half_width_start`). Throws tavex::Error when the codes run out.
void AssignGaijiCodes(GaijiSets& sets);

// Renders each character with `face`, sorts it by width class and assigns the codes.
GaijiSets NumberGaiji(const std::vector<GaijiSource>& sources, Renderer& renderer, const std::string& face,
                      Progress& progress);

// The three texts, UTF-8, CR LF between lines and no line end after the last.
struct GaijiFiles {
  std::string gaiji_map;    // GaijiMap.xml
  std::string gaiji_font;   // Gaiji.xml
  std::string char_map;     // TAVEX.map
  int uncovered_count = 0;  // characters left out because no installed font has them
};

// Lays out the three texts for numbered sets.
GaijiFiles FormatGaijiFiles(const GaijiSets& sets);

// Reads the working database and builds the three texts. No database file gives three
// empty texts. Characters no installed font has are left out and reported by one warning.
GaijiFiles BuildGaijiFiles(const std::string& db_path, const std::string& face, Progress& progress);
GaijiFiles BuildGaijiFiles(const std::string& db_path, const std::string& face, Renderer& renderer,
                           Progress& progress);

// Writes GaijiMap.xml, Gaiji.xml and TAVEX.map into `base_folder`, in that order, each
// its text and one CR LF, in Shift_JIS, each replaced atomically. Throws tavex::Error.
void WriteGaijiFiles(const std::string& db_path, const std::string& base_folder, const std::string& face,
                     Progress& progress);

}  // namespace tavex::gaiji
