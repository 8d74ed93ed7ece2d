#include "check/finding_sink.h"

#include <fmt/format.h>

#include <utility>

namespace tavex::check {

void FindingSink::Error(const std::string& kind, const std::string& file, int line, std::string message,
                        std::string advice) {
  Add(kind, Finding{Finding::kError, file, line, std::move(message), std::move(advice)});
}

void FindingSink::Warning(const std::string& kind, const std::string& file, int line, std::string message,
                          std::string advice) {
  Add(kind, Finding{Finding::kWarning, file, line, std::move(message), std::move(advice)});
}

void FindingSink::Add(const std::string& kind, Finding finding) {
  int& listed = listed_[kind];
  if (listed < max_listed_) {
    ++listed;
    report_.findings.push_back(std::move(finding));
    return;
  }
  Omitted& omitted = omitted_[kind];
  if (omitted.count++ == 0) omitted.first = std::move(finding);
}

void FindingSink::Finish() {
  for (auto& [kind, omitted] : omitted_) {
    Finding summary = omitted.first;
    summary.message = fmt::format("{} more findings of this kind, the first here: {}", omitted.count,
                                  omitted.first.message);
    report_.findings.push_back(std::move(summary));
  }
  omitted_.clear();
}

std::string Counted(std::int64_t count, const std::string& noun, const std::string& plural) {
  if (count == 1) return fmt::format("1 {}", noun);
  return fmt::format("{} {}", count, plural.empty() ? noun + "s" : plural);
}

}  // namespace tavex::check
