// The search of every stored key through libeb, as a reader types it: each distinct key
// of a forward index by an exact search, of a backward index by a backward search, and
// every entry the key belongs to must be among the hits. It runs on a reader of its own,
// beside the walk over the text, so that the book check takes both cores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "verify/book_index.h"
#include "verify/libeb_reader.h"

namespace tavex::verify {

// The keys of one index, in tree order (equal keys side by side).
struct IndexKeys {
  std::vector<IndexKey> keys;
  bool backward = false;
  std::uint8_t id = 0;  // the index's region id
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
};

// Searches every distinct key of `index` whole through `reader`.
void SearchEveryKey(LibebReader& reader, const IndexKeys& index, KeySearchResult& result);

}  // namespace tavex::verify
