// The EPWING book (JIS X 4081, EPWING V1) built from a finished base_folder, so that the
// readers on Linux (GoldenDict, eblook, everything built on libeb) open the dictionary
// without the Windows authoring tool. The book is written into a staging folder beside
// `out_folder` and takes its place only when whole; a failed build leaves the previous
// book as it was.
#pragma once

#include <cstddef>
#include <string>

#include "platform/progress.h"

namespace tavex::epwing {

// Where the book is read from and written to.
struct EpwingOptions {
  // The finished book source: html_EPW, copyright.html, GaijiMap.xml, Gaiji.xml and,
  // when present, the us_pron/ and uk_pron/ WAV files.
  std::string base_folder;
  // The EPWING book's folder (CATALOGS, TAVEX/DATA/HONMON, TAVEX/GAIJI/…); replaced whole.
  std::string out_folder;
};

// What went into the book, for the step log.
struct EpwingSummary {
  std::size_t entries = 0;       // entries with a heading, the copyright entry included
  std::size_t keys = 0;          // forward index keys
  std::size_t backward_keys = 0;  // backward index keys (verify counts both indexes)
  std::size_t sounds = 0;        // recordings stored
  // Links to recordings kept as plain text because base_folder holds no recordings at
  // all (they were not converted); counted here rather than warned about.
  std::size_t unlinked_sounds = 0;
  std::size_t narrow_gaiji = 0;  // glyphs in the narrow (8×16) font
  std::size_t wide_gaiji = 0;    // glyphs in the wide (16×16) font
};

// Builds the book. Reports progress per entry and counted warnings (unknown tags, links
// to missing entries, characters without a JIS X 0208 form, cut keys) through `progress`.
// Throws tavex::Error naming the file when base_folder is missing or incomplete, or on a
// write fault; the previous book is then kept.
EpwingSummary BuildEpwingBook(const EpwingOptions& options, Progress& progress);

}  // namespace tavex::epwing
