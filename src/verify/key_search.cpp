// Every distinct key searched whole through libeb, one run of equal keys at a time.
#include "verify/key_search.h"

#include <fmt/format.h>

#include <algorithm>

#include "epwing/search_index.h"
#include "text/error.h"

namespace tavex::verify {
namespace {

// Searches one key for the entries of its run of equal keys in the tree.
void SearchRun(LibebReader& reader, bool backward, const std::string& key, std::vector<BookPosition>& run,
               KeySearchResult& result) {
  const char* which = backward ? "backward" : "forward";
  const std::string query = KeyAsQuery(backward ? epwing::ReversedKey(key) : key);
  std::string failure = query.empty() ? "the key is not JIS X 0208 text" : "no hit at this entry";
  std::vector<std::int64_t> found;
  if (!query.empty()) {
    try {
      // A search lists the entries of its own key first (a longer key that begins or
      // ends so sorts after it), so as many hits as the key has entries hold them all.
      const std::size_t max_hits = run.size();
      for (const BookHit& hit :
           backward ? reader.Search(query, true, max_hits) : reader.SearchExact(query, max_hits)) {
        found.push_back(hit.text.Byte());
      }
    } catch (const tavex::Error& e) {
      failure = e.what();
    }
  }
  std::sort(found.begin(), found.end());
  for (const BookPosition& text : run) {
    if (std::binary_search(found.begin(), found.end(), text.Byte())) {
      ++result.found;
    } else {
      result.misses.push_back(
          {text, fmt::format("{} search for “{}”: {}", which,
                             query.empty() ? std::string("?") : EucToUtf8(query), failure)});
    }
  }
}

}  // namespace

void SearchEveryKey(LibebReader& reader, const IndexToSearch& index, const std::optional<BookRegion>& text,
                    const std::atomic<bool>& stop, std::chrono::steady_clock::time_point deadline,
                    KeySearchResult& result) {
  std::string key;                // the key of the run being gathered
  std::vector<BookPosition> run;  // the entries of that key
  auto flush = [&] {
    if (!run.empty()) SearchRun(reader, index.backward, key, run, result);
    run.clear();
  };
  struct Stopped {};
  try {
    ReadIndex(
        index.region,
        [&](std::uint32_t page) {
          return reader.RawBytes({static_cast<int>(page), 0}, 2048);
        },
        [&](const IndexKey& next) {
          if (text && !text->Holds(next.text)) return;
          if (next.key != key) {
            flush();
            if (stop.load(std::memory_order_relaxed) || std::chrono::steady_clock::now() >= deadline) {
              throw Stopped{};
            }
            key = next.key;
          }
          run.push_back(next.text);
        });
    flush();
  } catch (const Stopped&) {
    result.stopped = true;
  }
}

}  // namespace tavex::verify
