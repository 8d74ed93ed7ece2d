// The StarDict book (format 3.0.0) built from a finished base_folder, for the readers
// that read StarDict (GoldenDict, KOReader, sdcv and the phone apps): tavex.ifo, the
// index tavex.idx, the other keys in tavex.syn, the entries as HTML in tavex.dict.dz
// and the recordings in res/. Written whole beside `out_folder` and swapped in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress.h"
#include "source/book_folder.h"

namespace tavex::stardict {

using StardictOptions = source::BookOptions;

// What went into the book, for the step log.
struct StardictSummary {
  std::size_t entries = 0;   // words of the index, one per entry
  std::size_t synonyms = 0;  // words of the synonym file
  std::size_t sounds = 0;    // recordings in res/
};

// Builds the book. Counted warnings go through `progress`. Throws tavex::Error naming the
// file when base_folder is missing or incomplete, or on a write fault; the previous book
// is then kept.
StardictSummary BuildStardictBook(const StardictOptions& options, Progress& progress);

// The order StarDict readers search their index in: ASCII letters compared without
// case, then bytes, both unsigned. Negative, zero or positive like strcmp.
int CompareWords(std::string_view a, std::string_view b);

// The line of the step log for a finished book.
std::string FormatStardictSummary(const StardictSummary& summary, const std::string& out_folder);

}  // namespace tavex::stardict
