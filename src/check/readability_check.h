// Whether the book reads as a dictionary, not only whether the authoring tool takes it:
// a book whose entries are each one run-on line, a book without links from a disc whose
// entries refer to each other, a book that links none of its converted recordings, and
// entries without a definition. Each finding says which rule to tune, or to start from
// the suggested rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "check/check.h"
#include "check/finding_sink.h"

namespace tavex::check {

// Counts what the book scan meets, then reports.
class ReadabilityTally {
 public:
  // The definition line of an entry (the line after "<dd><p>", ending in "<br>").
  void Body(std::string_view line, int number);
  // A cross-reference link, and a link to a recording.
  void Link() { ++links_; }
  void Sound() { ++sounds_; }
  // Adds the findings; `recordings` is the number of WAV files in base_folder.
  void Report(FindingSink& sink, const SourceHints& hints, std::int64_t recordings) const;

 private:
  std::int64_t bodies_ = 0;  // definitions with text
  Tally run_on_;             // definitions with text but no line break
  std::int64_t links_ = 0;
  std::int64_t sounds_ = 0;
};

// True when a line of the book links a recording: an anchor whose target ends in ".wav".
bool IsSoundLink(std::string_view line, std::size_t href);

}  // namespace tavex::check
