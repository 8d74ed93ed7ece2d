// Where the book check puts what it finds. A damaged book of half a million entries can
// repeat one fault as often; the list counts every finding by its kind and keeps the
// first few of each (every one when asked), so the report stays readable and the
// memory bounded.
#pragma once

#include <string>
#include <unordered_map>

#include "verify/verify.h"

namespace tavex::verify {

class FindingList {
 public:
  // Findings go into `report`; at most `max_examples` of each kind unless `keep_all`.
  FindingList(VerifyReport& report, bool keep_all, std::size_t max_examples = 5)
      : report_(report), keep_all_(keep_all), max_examples_(max_examples) {
    for (std::size_t i = 0; i < report_.groups.size(); ++i) by_kind_[report_.groups[i].kind] = i;
  }

  // Adds a finding of `kind` (its message, the same for every finding of the kind).
  void Error(const std::string& kind, const std::string& advice, VerifyFinding finding) {
    Add(check::Finding::kError, kind, advice, std::move(finding));
  }
  void Warning(const std::string& kind, const std::string& advice, VerifyFinding finding) {
    Add(check::Finding::kWarning, kind, advice, std::move(finding));
  }

 private:
  void Add(check::Finding::Severity severity, const std::string& kind, const std::string& advice,
           VerifyFinding finding) {
    auto [it, fresh] = by_kind_.try_emplace(kind, report_.groups.size());
    if (fresh) report_.groups.push_back({severity, kind, advice, 0, {}});
    FindingGroup& group = report_.groups[it->second];
    ++group.count;
    finding.severity = severity;
    if (keep_all_ || group.examples.size() < max_examples_) group.examples.push_back(std::move(finding));
  }

  VerifyReport& report_;
  bool keep_all_;
  std::size_t max_examples_;
  std::unordered_map<std::string, std::size_t> by_kind_;
};

}  // namespace tavex::verify
