// The search of every stored key through libeb, as a reader types it: each distinct key
// of a forward index by an exact search, of a backward index by a backward search, and
// every entry the key belongs to must be among the hits. It runs on a reader of its own,
// beside the walk over the text, so that the book check takes both cores; it reads the
// keys from the index pages as it goes, so that no key is held once searched.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "verify/book_index.h"
#include "verify/libeb_reader.h"

namespace tavex::verify {

// An index whose pages were found sound, so its keys can be searched.
struct IndexToSearch {
  BookRegion region;
  bool backward = false;
};

// A key that its whole search did not find at its entry.
struct KeyMiss {
  BookPosition text;   // the entry the index points at
  std::string detail;  // "forward search for “ＣＡＦＥ”: no hit at this entry"
};

// What the searches found.
struct KeySearchResult {
  std::size_t found = 0;  // stored keys found at their entry
  std::vector<KeyMiss> misses;
  bool stopped = false;  // `stop` was set before every key was searched
};

// Reads the keys of `index` through `reader` and searches every distinct one whole. Keys
// that point outside `text` are left out (the walk over the index reports them). Stops
// early when `stop` becomes true or at `deadline`.
void SearchEveryKey(LibebReader& reader, const IndexToSearch& index, const std::optional<BookRegion>& text,
                    const std::atomic<bool>& stop, std::chrono::steady_clock::time_point deadline,
                    KeySearchResult& result);

}  // namespace tavex::verify
