// The MDict book built from a finished base_folder, for the MDict apps and GoldenDict:
// tavex.mdx (version 2.0, UTF-8) with every entry under its headword and every other
// key as an entry that redirects to it, and tavex.mdd with the recordings. Written
// whole beside `out_folder` and swapped in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/progress.h"
#include "source/book_folder.h"

namespace tavex::mdict {

using MdictOptions = source::BookOptions;

// What went into the book, for the step log.
struct MdictSummary {
  std::size_t entries = 0;    // entries under their headwords
  std::size_t redirects = 0;  // other keys, each redirecting to its entry's headword
  std::size_t sounds = 0;     // recordings in the .mdd
};

// Builds the book. Counted warnings go through `progress`. Throws tavex::Error naming the
// file when base_folder is missing or incomplete, or on a write fault; the previous book
// is then kept.
MdictSummary BuildMdictBook(const MdictOptions& options, Progress& progress);

// The line of the step log for a finished book.
std::string FormatMdictSummary(const MdictSummary& summary, const std::string& out_folder);

}  // namespace tavex::mdict
