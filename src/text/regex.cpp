// Find-all-matches over PCRE2 (8-bit code units, no UTF checking, since subjects may
// be Shift_JIS as well as UTF-8). Every pattern gets ignore-case and multi-line; the
// newline convention stays the line feed, so "." also matches a carriage return.
#include "text/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "text/error.h"

namespace tavex {

namespace {

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};

std::string PcreMessage(int code) {
  PCRE2_UCHAR buffer[256];
  int length = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (length < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

}  // namespace

struct Regex::Impl {
  std::string pattern;
  std::unique_ptr<pcre2_code, CodeDeleter> code;
};

Regex::Regex(std::string_view pattern) : impl_(std::make_unique<Impl>()) {
  impl_->pattern = std::string(pattern);
  std::unique_ptr<pcre2_compile_context, CompileContextDeleter> context(
      pcre2_compile_context_create(nullptr));
  // Pin the newline convention so that a build with another default behaves the same.
  if (context) pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  impl_->code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                  PCRE2_CASELESS | PCRE2_MULTILINE, &error_code, &error_offset,
                                  context.get()));
  if (!impl_->code) {
    throw Error("invalid regular expression \"" + impl_->pattern + "\" at offset " +
                std::to_string(error_offset) + ": " + PcreMessage(error_code));
  }
  // Without JIT support pcre2_match simply runs the interpreter.
  pcre2_jit_compile(impl_->code.get(), PCRE2_JIT_COMPLETE);
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

void Regex::ForEachMatch(std::string_view subject,
                         const std::function<void(const RegexMatchView&)>& visit) const {
  pcre2_code* code = impl_->code.get();
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(pcre2_match_data_create_from_pattern(code, nullptr));
  if (!data) throw Error("out of memory matching \"" + impl_->pattern + "\"");
  std::uint32_t group_count = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &group_count);

  const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
  RegexMatchView match;
  match.groups.resize(group_count);
  std::size_t start = 0;
  while (start <= subject.size()) {
    int rc = pcre2_match(code, bytes, subject.size(), start, 0, data.get(), nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) {
      throw Error("cannot match \"" + impl_->pattern + "\": " + PcreMessage(rc));
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    const std::size_t begin = ovector[0];
    const std::size_t end = ovector[1];
    match.offset = begin;
    match.text = subject.substr(begin, end - begin);
    for (std::uint32_t g = 1; g <= group_count; ++g) {
      const PCRE2_SIZE gb = ovector[2 * g];
      const PCRE2_SIZE ge = ovector[2 * g + 1];
      match.groups[g - 1] = (static_cast<int>(g) >= rc || gb == PCRE2_UNSET) ? std::string_view()
                                                                             : subject.substr(gb, ge - gb);
    }
    visit(match);
    // An empty match moves the search on by one character so that the loop ends.
    start = end > begin ? end : end + 1;
  }
}

std::vector<RegexMatch> Regex::FindAll(std::string_view subject) const {
  std::vector<RegexMatch> matches;
  ForEachMatch(subject, [&matches](const RegexMatchView& view) {
    RegexMatch& match = matches.emplace_back();
    match.text = std::string(view.text);
    match.offset = view.offset;
    match.groups.reserve(view.groups.size());
    for (std::string_view group : view.groups) match.groups.emplace_back(group);
  });
  return matches;
}

std::vector<RegexMatch> FindAll(std::string_view pattern, std::string_view subject) {
  return Regex(pattern).FindAll(subject);
}

}  // namespace tavex
