// Every distinct key searched whole through libeb.
#include "verify/key_search.h"

#include <fmt/format.h>

#include <algorithm>

#include "epwing/search_index.h"
#include "text/error.h"

namespace tavex::verify {

void SearchEveryKey(LibebReader& reader, const IndexKeys& index, KeySearchResult& result) {
  const std::vector<IndexKey>& keys = index.keys;
  const char* which = index.backward ? "backward" : "forward";
  std::vector<std::int64_t> found;
  for (std::size_t first = 0; first < keys.size();) {
    std::size_t last = first + 1;
    while (last < keys.size() && keys[last].key == keys[first].key) ++last;
    const std::string query =
        KeyAsQuery(index.backward ? epwing::ReversedKey(keys[first].key) : keys[first].key);
    std::string failure = query.empty() ? "the key is not JIS X 0208 text" : "no hit at this entry";
    found.clear();
    if (!query.empty()) {
      try {
        // A search lists the entries of its own key first (a longer key that begins or
        // ends so sorts after it), so as many hits as the key has entries hold them all.
        const std::size_t max_hits = last - first;
        for (const BookHit& hit :
             index.backward ? reader.Search(query, true, max_hits) : reader.SearchExact(query, max_hits)) {
          found.push_back(hit.text.Byte());
        }
      } catch (const tavex::Error& e) {
        failure = e.what();
      }
    }
    std::sort(found.begin(), found.end());
    for (std::size_t i = first; i < last; ++i) {
      if (std::binary_search(found.begin(), found.end(), keys[i].text.Byte())) {
        ++result.found;
      } else {
        result.misses.push_back(
            {keys[i].text, fmt::format("{} search for “{}”: {}", which,
                                       query.empty() ? std::string("?") : EucToUtf8(query), failure)});
      }
    }
    first = last;
  }
}

}  // namespace tavex::verify
