// Find-all-matches over PCRE2: the one way the system searches text with patterns.
// Every pattern is compiled once with JIT, with ignore-case and multi-line always on;
// "." matches every character but the line feed (so a carriage return too).
// Subjects are byte strings (UTF-8 or Shift_JIS); the patterns in use are ASCII.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavex {

// One match: its whole text, its byte offset in the subject, and the text of each
// capturing group counted from 0 (a group that took no part gives empty text).
struct RegexMatch {
  std::string text;
  std::size_t offset = 0;
  std::vector<std::string> groups;
};

// One match seen in place: views into the subject, valid during the callback only.
struct RegexMatchView {
  std::string_view text;
  std::size_t offset = 0;
  std::vector<std::string_view> groups;
};

// A compiled pattern. Throws tavex::Error naming the pattern when it does not compile.
class Regex {
 public:
  explicit Regex(std::string_view pattern);
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;

  // All non-overlapping matches, left to right, in one pass over `subject`.
  std::vector<RegexMatch> FindAll(std::string_view subject) const;

  // The same matches handed one by one to `visit`, without copying their texts: for
  // passes over every entry of the book.
  void ForEachMatch(std::string_view subject, const std::function<void(const RegexMatchView&)>& visit) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Compiles `pattern` and returns all its matches in `subject`.
std::vector<RegexMatch> FindAll(std::string_view pattern, std::string_view subject);

}  // namespace tavex
