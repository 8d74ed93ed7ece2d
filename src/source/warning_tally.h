// Counted warnings: a condition met many times in a book is reported once, with its
// count and the first value it was met with.
#pragma once

#include <fmt/format.h>

#include <cstddef>
#include <map>
#include <string>

#include "platform/progress.h"
#include "text/text.h"

namespace tavex::source {

class WarningTally {
 public:
  // Counts one occurrence of `what` (a lowercase description) met with `value`.
  void Add(const std::string& what, const std::string& value) {
    auto [it, fresh] = tally_.try_emplace(what, Count{0, value});
    ++it->second.count;
  }
  // Adds the counts of `other`, whose first values count as met after this one's.
  void Merge(const WarningTally& other) {
    for (const auto& [what, count] : other.tally_) {
      auto [it, fresh] = tally_.try_emplace(what, Count{0, count.first});
      it->second.count += count.count;
    }
  }
  // One warning per description: "what: N times, first VALUE". Values come from the book
  // source, so their control characters are shown as "\xNN", never sent to a terminal.
  void Report(Progress& progress) const {
    for (const auto& [what, count] : tally_) {
      progress.Warn(fmt::format("{}: {} time{}, first {}", what, count.count, count.count == 1 ? "" : "s",
                                EscapeControls(count.first)));
    }
  }
  // Forgets `what`; returns how often it was met.
  std::size_t Take(const std::string& what) {
    auto it = tally_.find(what);
    if (it == tally_.end()) return 0;
    const std::size_t count = it->second.count;
    tally_.erase(it);
    return count;
  }
  std::size_t Total(const std::string& what) const {
    auto it = tally_.find(what);
    return it == tally_.end() ? 0 : it->second.count;
  }

 private:
  struct Count {
    std::size_t count;
    std::string first;
  };
  std::map<std::string, Count> tally_;
};

}  // namespace tavex::source
