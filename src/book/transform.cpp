// The passes of the entry transformation and the transformer that runs them per entry.
#include "book/transform.h"

#include <unordered_set>

#include <fmt/format.h>

#include "platform/cp932.h"
#include "platform/regex.h"

namespace tavex::book {

namespace {

// Rebuilds `subject` with each match replaced where it stands by `replacement(match)`.
// Matches are non-overlapping and left to right, so one pass is enough.
template <typename Replace>
std::string ReplaceMatches(std::string_view subject, const std::vector<RegexMatch>& matches, Replace replacement) {
  if (matches.empty()) return std::string(subject);
  std::string result;
  result.reserve(subject.size());
  std::size_t done = 0;
  for (const RegexMatch& match : matches) {
    result.append(subject.substr(done, match.offset - done));
    result += replacement(match);
    done = match.offset + match.text.size();
  }
  result.append(subject.substr(done));
  return result;
}

bool ContainsIgnoreCase(std::string_view text, std::string_view token) {
  return AsciiLower(text).find(token) != std::string::npos;
}

}  // namespace

std::string CollapseBlankRuns(std::string_view utf8) {
  static const Regex kBlankRun("(?:(?:<br>)|(?:&nbsp;)){2,}");
  return ReplaceMatches(utf8, kBlankRun.FindAll(utf8), [](const RegexMatch& match) -> std::string {
    // The pattern ignores letter case, so the tests do too: "<BR><BR>" is a run of breaks.
    const bool has_break = ContainsIgnoreCase(match.text, "<br>");
    const bool has_space = ContainsIgnoreCase(match.text, "&nbsp;");
    if (has_break && has_space) return "<br>&nbsp;";
    return has_break ? "<br>" : "&nbsp;";
  });
}

std::u16string CollapseBlankRuns(std::u16string_view text) {
  return Utf8ToUtf16(CollapseBlankRuns(std::string_view(Utf16ToUtf8(text))));
}

Sjis LinkTopics(const Sjis& text, const TopicResolver& resolve) {
  static const Regex kTopicAnchor("<A\\stopic=\"(.*?)\">(.*?)</A>");
  return Sjis(ReplaceMatches(text.bytes, kTopicAnchor.FindAll(text.bytes), [&](const RegexMatch& match) {
    const std::int64_t index = resolve(SjisToUtf8(Sjis(match.groups[0])));
    return fmt::format("<A href=\"#{}\">{}</A>", index, match.groups[1]);
  }));
}

std::vector<Sjis> CollectKeywords(const xml::Node& root, const GaijiTable& table, OperatingMode mode) {
  std::vector<Sjis> keywords;
  if (root.IsNull()) return keywords;
  std::vector<const char*> names{"inflection", "vs", "dr"};
  if (mode.KeysIdAndPv()) {
    names.push_back("id");
    names.push_back("pv");
  }
  std::unordered_set<std::string> listed;
  for (const char* name : names) {
    for (const xml::Node& element : root.ElementsByTagName(name)) {
      Sjis keyword = StripGaiji(Utf8ToUtf16(element.Text()), table);
      if (keyword.empty() || !listed.insert(keyword.bytes).second) continue;
      keywords.push_back(std::move(keyword));
    }
  }
  return keywords;
}

Sjis CutBody(const Sjis& document) {
  static constexpr std::string_view kOpen = "<body>";
  const std::size_t start = document.bytes.find(kOpen);
  const std::size_t end = document.bytes.find("</body>");
  if (start == std::string::npos || end == std::string::npos || end < start + kOpen.size()) return Sjis();
  return Sjis(document.bytes.substr(start + kOpen.size(), end - start - kOpen.size()));
}

EntryTransformer::EntryTransformer(const std::string& stylesheet_path, const GaijiTable& table,
                                   TopicResolver resolve, OperatingMode mode)
    : stylesheet_(stylesheet_path), table_(table), resolve_(std::move(resolve)), mode_(mode) {}

bool EntryTransformer::TransformDocument(std::string_view xml_text, std::string& document) {
  if (!document_.LoadXml(xml_text) || document_.IsEmpty()) return false;
  document = stylesheet_.Transform(document_);
  return true;
}

TransformedEntry EntryTransformer::TransformEntry(std::string_view xml_text, std::string_view title) {
  TransformedEntry entry;
  entry.title = ToSjis(SubstituteGaiji(Utf8ToUtf16(title), table_));
  std::string document;
  if (!TransformDocument(xml_text, document)) {
    entry.parsed = false;
    return entry;
  }
  const std::u16string cleaned = SubstituteGaiji(Utf8ToUtf16(CollapseBlankRuns(std::string_view(document))), table_);
  const Sjis html = LinkTopics(ToSjis(cleaned), resolve_);
  entry.keywords = CollectKeywords(document_.DocumentElement(), table_, mode_);
  entry.body = CutBody(html);
  return entry;
}

}  // namespace tavex::book
