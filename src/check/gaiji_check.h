// Checks GaijiMap.xml and Gaiji.xml against each other and against the book format's code
// layout. The authoring tool numbers the glyphs of each font set in order from the set's
// start, so a code outside the layout, a gap, or a map whose order differs from the font's
// makes the book show another character's glyph, without any message from the tool.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "check/finding_sink.h"

namespace tavex::check {

// What the book check needs from the gaiji files.
struct GaijiMapSummary {
  bool present = false;                      // GaijiMap.xml could be read
  std::unordered_set<std::uint32_t> mapped;  // the Unicode values it maps
};

// Checks both files in `base_folder` (encoding, line ends, codes, glyphs, order) and
// returns the mapped characters. A missing file is left to the caller to report.
GaijiMapSummary CheckGaijiFiles(const std::string& base_folder, FindingSink& sink);

}  // namespace tavex::check
