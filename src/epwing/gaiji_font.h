// The book's gaiji fonts, written from the source's gaiji (source/gaiji_map.h): the
// narrow (8×16) and wide (16×16) glyphs, and the reader-side map of codes to Unicode.
#pragma once

#include <string>

#include "source/gaiji_map.h"

namespace tavex::epwing {

// Writes one set as a gaiji font file of the book (a header page, then the glyphs in
// code order). An empty set gets one blank glyph, since readers refuse a font without any.
void WriteFontFile(const std::string& path, const source::FontSet& set, bool narrow);

// The reader-side map of the gaiji codes to Unicode that GoldenDict reads from the book's
// folder: one line per code, "n" or "w", the code in lower case, a space, the character.
std::string AfontsText(const source::GaijiSet& set);

}  // namespace tavex::epwing
