// The passes of the entry transformation and the transformer that runs them per entry.
#include "book/transform.h"

#include <cstdlib>
#include <iterator>

#include <unordered_set>

#include <fmt/format.h>

#include "text/cp932.h"
#include "text/regex.h"

namespace tavex::book {

namespace {

// Rebuilds `subject` with each match of `pattern` replaced where it stands by what
// `replace(match, out)` appends. Matches are non-overlapping and left to right, so one
// pass is enough.
template <typename Replace>
std::string ReplaceMatches(const Regex& pattern, std::string_view subject, Replace replace) {
  std::string result;
  std::size_t done = 0;
  bool matched = false;
  pattern.ForEachMatch(subject, [&](const RegexMatchView& match) {
    if (!matched) result.reserve(subject.size() + 64);
    matched = true;
    result.append(subject.substr(done, match.offset - done));
    replace(match, result);
    done = match.offset + match.text.size();
  });
  if (!matched) return std::string(subject);
  result.append(subject.substr(done));
  return result;
}

bool ContainsIgnoreCase(std::string_view text, std::string_view token) {
  return AsciiLower(text).find(token) != std::string::npos;
}

}  // namespace

std::string CollapseBlankRuns(std::string_view utf8) {
  static const Regex kBlankRun("(?:(?:<br>)|(?:&nbsp;)){2,}");
  return ReplaceMatches(kBlankRun, utf8, [](const RegexMatchView& match, std::string& out) {
    // The pattern ignores letter case, so the tests do too: "<BR><BR>" is a run of breaks.
    const bool has_break = ContainsIgnoreCase(match.text, "<br>");
    const bool has_space = ContainsIgnoreCase(match.text, "&nbsp;");
    out += has_break && has_space ? "<br>&nbsp;" : has_break ? "<br>" : "&nbsp;";
  });
}

std::u16string CollapseBlankRuns(std::u16string_view text) {
  return Utf8ToUtf16(CollapseBlankRuns(std::string_view(Utf16ToUtf8(text))));
}

std::string DecodeReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (end == std::string_view::npos || end - i > 10) {
      out += text[i];
      continue;
    }
    const std::string_view name = text.substr(i + 1, end - i - 1);
    std::int64_t code = -1;
    if (name == "amp") code = '&';
    else if (name == "lt") code = '<';
    else if (name == "gt") code = '>';
    else if (name == "quot") code = '"';
    else if (name == "apos") code = '\'';
    else if (name.size() > 2 && (name[1] == 'x' || name[1] == 'X') && name[0] == '#') {
      code = std::strtoll(std::string(name.substr(2)).c_str(), nullptr, 16);
    } else if (name.size() > 1 && name[0] == '#') {
      std::int64_t value = 0;
      if (ParseInt(name.substr(1), value)) code = value;
    }
    if (code <= 0 || code > 0xFFFF) {
      out += text[i];
      continue;
    }
    out += EncodeUnitUtf8(static_cast<char16_t>(code));
    i = end;
  }
  return out;
}

Sjis LinkTopics(const Sjis& text, const TopicResolver& resolve) {
  static const Regex kTopicAnchor("<A\\stopic=\"(.*?)\">(.*?)</A>");
  return Sjis(ReplaceMatches(kTopicAnchor, text.bytes, [&](const RegexMatchView& match, std::string& out) {
    // By now the id went through the serialiser and the gaiji substitution: "café_1"
    // reads "caf&#x00E9;_1". The lookup wants the id as the entry carries it.
    const std::int64_t index = resolve(DecodeReferences(SjisToUtf8(Sjis(std::string(match.groups[0])))));
    fmt::format_to(std::back_inserter(out), "<A href=\"#{}\">{}</A>", index, match.groups[1]);
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
      Sjis keyword = PlainKeyword(std::string_view(element.Text()), table);
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
  entry.title = SubstituteGaijiSjis(title, table_);
  std::string document;
  if (!TransformDocument(xml_text, document)) {
    entry.parsed = false;
    return entry;
  }
  const Sjis html = LinkTopics(SubstituteGaijiSjis(CollapseBlankRuns(std::string_view(document)), table_), resolve_);
  entry.keywords = CollectKeywords(document_.DocumentElement(), table_, mode_);
  entry.body = CutBody(html);
  return entry;
}

}  // namespace tavex::book
