// The book's links to recordings whose WAV file is not in base_folder, where the book was
// made with its recordings (the folder of the link is there). The authoring tool
// makes a book with a dead sound there, or stops; the EPWING writer keeps the link as
// plain text. Each missing file is reported once, at the first line that links it, with
// the entry and how many links name it, and the advice tells a recording the disc's
// bundle lacks from one the rule sends to the wrong folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "check/check.h"
#include "check/finding_sink.h"

namespace tavex::check {

class SoundLinkCheck {
 public:
  explicit SoundLinkCheck(std::string base_folder) : base_folder_(std::move(base_folder)) {}

  // A sound link's target as the book writes it ("us_pron/x.wav", percent-encoded), on
  // line `line` of the entry headed `title` (as html_EPW has it).
  void Link(std::string_view href, int line, std::string_view title);

  // One error for each missing file, in the order first linked.
  void Report(FindingSink& sink, const SourceHints& hints) const;

 private:
  struct Missing {
    Tally tally;
    std::string title;
    std::size_t order = 0;  // which missing file this was, in link order
  };
  std::string base_folder_;
  std::unordered_set<std::string> present_;  // names seen that need no finding, each looked up once
  std::unordered_map<std::string, Missing> missing_;
};

}  // namespace tavex::check
