// Where the checks put their findings. A broken book can repeat one fault thousands of
// times; the sink lists the first few of each kind and closes the kind with one finding
// that counts the rest, so the report stays readable and the memory stays bounded.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "check/check.h"

namespace tavex::check {

// The first line where something occurs and how often it occurred.
struct Tally {
  int first_line = 0;
  std::int64_t count = 0;

  void Add(int line) {
    if (count++ == 0) first_line = line;
  }
};

// Appends findings to a report, at most `max_listed` of each kind.
class FindingSink {
 public:
  explicit FindingSink(CheckReport& report, int max_listed = 20) : report_(report), max_listed_(max_listed) {}
  // Closes every capped kind with its counting finding.
  ~FindingSink() { Finish(); }
  FindingSink(const FindingSink&) = delete;
  FindingSink& operator=(const FindingSink&) = delete;

  // Adds a finding of `kind` (a short name grouping findings of one fault).
  void Error(const std::string& kind, const std::string& file, int line, std::string message,
             std::string advice);
  void Warning(const std::string& kind, const std::string& file, int line, std::string message,
               std::string advice);

  // Adds, for each kind that reached the cap, one finding at the first place left out
  // that counts the findings left out. Idempotent.
  void Finish();

 private:
  struct Omitted {
    Finding first;  // the first finding left out
    std::int64_t count = 0;
  };

  void Add(const std::string& kind, Finding finding);

  CheckReport& report_;
  int max_listed_;
  std::map<std::string, int> listed_;
  std::map<std::string, Omitted> omitted_;
};

// "1 line" / "3 lines": a count with its noun in the right number (`plural` when the
// noun does not simply take an "s").
std::string Counted(std::int64_t count, const std::string& noun, const std::string& plural = "");

}  // namespace tavex::check
