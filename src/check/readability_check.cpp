// The findings on whether a book reads as a dictionary.
#include "check/readability_check.h"

#include <fmt/format.h>

namespace tavex::check {
namespace {

constexpr const char* kBookName = "html_EPW";
// A handful of one-line entries is no verdict on a book's rules.
constexpr std::int64_t kFewestForRunOn = 10;
constexpr const char* kOrSuggested =
    ", or convert without xsl_data.xml so that the rules are suggested from the disc (`tavex2epwing "
    "suggest-rules FILE` writes them as a file to start tuning from)";

// "x-ref (attribute topic)", the first such element, and "…" when there are more.
std::string Named(const std::vector<TagAttribute>& list) {
  const TagAttribute& first = list.front();
  return fmt::format("{} (attribute {}){}", first.tag, first.attribute, list.size() > 1 ? " and others" : "");
}

}  // namespace

bool IsSoundLink(std::string_view line, std::size_t href) {
  const std::size_t end = line.find('"', href + 6);
  return end != std::string_view::npos && end >= href + 10 && line.substr(end - 4, 4) == ".wav";
}

void ReadabilityTally::Body(std::string_view line, int number) {
  if (line.ends_with("<br>")) line.remove_suffix(4);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;
  ++bodies_;
  if (line.find("<br>") == std::string_view::npos && line.find("<p>") == std::string_view::npos)
    run_on_.Add(number);
}

void ReadabilityTally::Report(FindingSink& sink, const SourceHints& hints, std::int64_t recordings) const {
  if (bodies_ >= kFewestForRunOn && run_on_.count * 2 > bodies_) {
    sink.Warning(
        "run-on", kBookName, run_on_.first_line,
        fmt::format("{} of {} entries have no line break in their definition: each reads as one "
                    "run-on line",
                    run_on_.count, bodies_),
        std::string("give the rules of the tags that hold the entry's parts, senses and examples a line "
                    "break (pre_br) in the window's tag editor (xsl edit)") +
            kOrSuggested);
  }
  if (hints.known && !hints.references.empty() && links_ == 0) {
    const TagAttribute& first = hints.references.front();
    sink.Warning(
        "no-links", kBookName, 0,
        fmt::format("the disc's entries refer to other entries by id ({}: {} references), but the "
                    "book has no links",
                    Named(hints.references), first.count),
        fmt::format("tune the rule of tag {} in the window's tag editor: custom_xsl <A topic=\"{{@{}}}\">"
                    "<xsl:value-of select=\".\"/></A> makes the links",
                    first.tag, first.attribute) +
            kOrSuggested);
  }
  if (recordings > 0 && sounds_ == 0) {
    std::string advice =
        hints.known && !hints.sounds.empty()
            ? fmt::format(
                  "tune the rule of tag {} in the window's tag editor: custom_xsl <a "
                  "href=\"{{user:mp3_wav(concat('/', @{}), 'us_pron')}}\">US</a> links its recording",
                  hints.sounds.front().tag, hints.sounds.front().attribute)
            : std::string(
                  "give the tag whose attribute names the recording a rule that links "
                  "user:mp3_wav(@attribute, 'us_pron') (or 'uk_pron') in the window's tag editor");
    sink.Warning(
        "no-sounds", kBookName, 0,
        fmt::format("{} recordings were converted into us_pron/ and uk_pron/, but the book links none "
                    "of them{}",
                    recordings,
                    hints.known && !hints.sounds.empty()
                        ? " (the disc names them in " + Named(hints.sounds) + ")"
                        : ""),
        advice + kOrSuggested);
  }
}

}  // namespace tavex::check
