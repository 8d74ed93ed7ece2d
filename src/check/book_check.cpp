#include "check/book_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "check/key_text.h"
#include "check/line_reader.h"
#include "check/markup.h"
#include "fs/files.h"

namespace tavex::check {

namespace {

constexpr const char* kBookName = "html_EPW";
constexpr std::size_t kMaxTextBytes = 255;           // the longest headword or key the tool takes
constexpr std::string_view kOwnerEntryId = "50080";  // the copyright entry's fixed id
constexpr const char* kRerunHtml = "re-run `tavex2epwing html`";

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// A hexadecimal character reference "&#xHHHH;" found in a line.
struct Reference {
  std::uint32_t value = 0;
  std::size_t end = 0;    // just past the ";"
  bool too_long = false;  // more digits than any character has
};

std::optional<Reference> ReferenceAt(std::string_view line, std::size_t pos) {
  if (line.substr(pos, 2) != "&#" || pos + 2 >= line.size()) return std::nullopt;
  if (line[pos + 2] != 'x' && line[pos + 2] != 'X') return std::nullopt;
  std::size_t begin = pos + 3;
  std::size_t end = line.find_first_not_of("0123456789abcdefABCDEF", begin);
  if (end == std::string_view::npos || end == begin || line[end] != ';') return std::nullopt;
  Reference ref;
  ref.end = end + 1;
  auto value = ParseHex(line.substr(begin, end - begin));
  if (value) {
    ref.value = *value;
  } else {
    ref.too_long = true;
  }
  return ref;
}

// Entries sorted by the line where they first occurred, for a stable report.
template <typename Key>
std::vector<std::pair<Key, Tally>> ByFirstLine(const std::unordered_map<Key, Tally>& tallies) {
  std::vector<std::pair<Key, Tally>> sorted(tallies.begin(), tallies.end());
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a.second.first_line != b.second.first_line ? a.second.first_line < b.second.first_line
                                                      : a.first < b.first;
  });
  return sorted;
}

class BookScanner {
 public:
  BookScanner(const GaijiMapSummary& gaiji, FindingSink& sink, ReadabilityTally& readability,
              SoundLinkCheck& sounds)
      : gaiji_(gaiji), sink_(sink), readability_(readability), sounds_(sounds) {}

  void Line(std::string_view line, int number) {
    if (HasHalfWidthKana(line)) kana_.Add(number);
    if (line.find("&#") != std::string_view::npos) References(line, number);
    if (body_next_) Body(line, number);
    // A heading starts an entry only inside the entry list and outside a definition, as
    // the EPWING writer reads the book; anywhere else it is no entry.
    if (line.starts_with("<dt id=\"")) {
      if (in_list_ && !in_body_) {
        Headword(line, 0, number);
        entry_keys_ = 0;
        ++entries_;
      } else {
        Stray(line, number);
      }
    }
    if (!in_body_ && line == "<dl>") in_list_ = true;
    if (!in_body_ && line == "</dl>") in_list_ = false;
    if (in_list_ && line == "<dd><p>") in_body_ = true;
    if (line == "</p></dd>") in_body_ = false;
    body_next_ = line == "<dd><p>";
    if (line.find("href=\"#") != std::string_view::npos) Links(line, number);
    for (std::size_t href = line.find("href=\""); href != std::string_view::npos;
         href = line.find("href=\"", href + 6)) {
      if (!IsSoundLink(line, href)) continue;
      readability_.Sound();
      const std::size_t end = line.find('"', href + 6);
      sounds_.Link(line.substr(href + 6, end - href - 6), number, heading_);
    }
    if (std::size_t pos = line.find("<key title=\""); pos != std::string_view::npos) {
      ++entry_keys_;
      Key(line, pos, number);
    }
  }

  void End() {
    if (entries_ == 0) {
      sink_.Error("no-entries", kBookName, 0,
                  "holds no entries between <dl> and </dl>: the book would be empty", kRerunHtml);
    }
    if (kana_.count > 0) {
      sink_.Warning("kana", kBookName, kana_.first_line,
                    fmt::format("half-width katakana ({} in all); the authoring tool turns it "
                                "into full width",
                                Counted(kana_.count, "line")),
                    "nothing to do if full width is wanted; otherwise write those characters "
                    "another way in the rules of their tags");
    }
    for (const auto& [unit, tally] : ByFirstLine(unmapped_)) {
      sink_.Error("unmapped", kBookName, tally.first_line,
                  fmt::format("&#x{:04X}; ({}) has no entry in GaijiMap.xml, so the book shows "
                              "nothing there ({})",
                              unit, CodePointName(unit), Counted(tally.count, "use")),
                  "re-run `tavex2epwing gaiji`; if it still leaves the character out, install a "
                  "font that has it, or write the character another way in the rule of its tag");
    }
    for (const auto& [code, tally] : ByFirstLine(unrepresentable_)) {
      std::string what = IsSurrogate(code) ? fmt::format("&#x{:04X}; is a lone surrogate code unit", code)
                                           : fmt::format("{} lies beyond U+FFFF", CodePointName(code));
      sink_.Error("surrogate", kBookName, tally.first_line,
                  fmt::format("{}: the book's gaiji cannot hold it ({})", what, Counted(tally.count, "use")),
                  "leave the character out or write it another way in the rule of the tag that "
                  "holds it, then re-run `tavex2epwing html`");
    }
    if (empty_bodies_.count > 0) {
      sink_.Warning(
          "body-empty", kBookName, empty_bodies_.first_line,
          fmt::format("{} with search keys but an empty definition: their source has text that "
                      "the transformation left out",
                      Counted(empty_bodies_.count, "entry", "entries")),
          "look for a rule that replaces the whole document (a template matching \"/\") or asks "
          "for text output (xsl:output), or a tag that holds the entry's text with apply_templates 0, "
          "and tune it in the window's tag editor, then " +
              std::string(kRerunHtml) + "; or use the suggested rules (convert without xsl_data.xml)");
    }
    if (bare_entries_.count > 0) {
      sink_.Warning(
          "body-none", kBookName, bare_entries_.first_line,
          fmt::format("{} no definition and no search keys: readers show a heading over an empty page",
                      Counted(bare_entries_.count, "entry has", "entries have")),
          "such an entry's record most often did not parse on the disc: create names the first as \"did not "
          "parse\", `tavex2epwing preview ID --view wb` shows its source, and no rule can mend it; if it did "
          "parse, the rule of the tag that holds the entry's text leaves it out: tune it in the window's tag "
          "editor, or convert without xsl_data.xml so that the rules are suggested");
    }
    for (const auto& [target, tally] : ByFirstLine(targets_)) {
      if (ids_.count(target) > 0) continue;
      bool unknown_topic = target == "-1";
      sink_.Error(
          "dangling-link", kBookName, tally.first_line,
          fmt::format("link to #{} has no entry with that id ({})", target, Counted(tally.count, "link")),
          unknown_topic ? "the link's topic is not in the topic table: re-run `tavex2epwing topic`, "
                          "or check the rule of the cross-reference tag"
                        : "the link and the entries come from different runs: re-run "
                          "`tavex2epwing html`");
    }
  }

 private:
  void References(std::string_view line, int number) {
    std::size_t pos = 0;
    while ((pos = line.find("&#", pos)) != std::string_view::npos) {
      auto ref = ReferenceAt(line, pos);
      if (!ref) {
        pos += 2;
        continue;
      }
      pos = ref->end;
      std::uint32_t code = ref->too_long ? 0xFFFFFFFF : ref->value;
      if (IsHighSurrogate(code)) {
        // A pair of references stands for one character beyond U+FFFF.
        auto low = ReferenceAt(line, pos);
        if (low && !low->too_long && low->value >= 0xDC00 && low->value <= 0xDFFF) {
          code = 0x10000 + ((code - 0xD800) << 10) + (low->value - 0xDC00);
          pos = low->end;
        }
      }
      if (IsSurrogate(code) || code > 0xFFFF) {
        unrepresentable_[code].Add(number);
      } else if (gaiji_.present && gaiji_.mapped.count(code) == 0) {
        unmapped_[code].Add(number);
      }
    }
  }

  void Headword(std::string_view line, std::size_t pos, int number) {
    std::size_t id_begin = pos + 8;
    std::size_t id_end = line.find('"', id_begin);
    if (id_end == std::string_view::npos) return;
    std::string id(line.substr(id_begin, id_end - id_begin));
    auto [it, fresh] = ids_.emplace(id, number);
    if (!fresh) {
      sink_.Error("id-twice", kBookName, number,
                  fmt::format("entry id {} is used twice (first on line {}): links reach only "
                              "one of them",
                              id, it->second),
                  id == kOwnerEntryId
                      ? "the copyright entry's fixed id 50080 is also a record's index, as the "
                        "book has more entries than that: links to the record may reach the "
                        "copyright entry; report this to the program's maintainers"
                      : "every entry needs its own id: re-run `tavex2epwing html` from a table "
                        "without repeated records");
    }
    std::size_t title_begin = id_end + 2;
    std::size_t title_end = line.find("</dt>", title_begin);
    heading_.assign(title_end == std::string_view::npos ? std::string_view()
                                                        : line.substr(title_begin, title_end - title_begin));
    if (line.substr(id_end, 2) == "\">" && title_end != std::string_view::npos &&
        title_end - title_begin > kMaxTextBytes) {
      sink_.Warning("headword-long", kBookName, number,
                    fmt::format("headword of entry {} is {} bytes, more than the {} the "
                                "authoring tool takes",
                                id, title_end - title_begin, kMaxTextBytes),
                    "shorten the entry's title in the rule of the tag it comes from");
    }
  }

  void Stray(std::string_view line, int number) {
    const std::size_t id_end = line.find('"', 8);
    const std::string id(line.substr(8, id_end == std::string_view::npos ? 0 : id_end - 8));
    sink_.Error("stray-heading", kBookName, number,
                fmt::format("heading of entry id {} stands {}: it starts no entry, the book leaves it out "
                            "and links to it go nowhere",
                            Snippet(id), in_body_ ? "inside a definition" : "outside the entry list"),
                "remove the line, or move the entry it starts out of the definition it was pasted into "
                "and between <dl> and </dl>");
  }

  // The line after "<dd><p>": the definition, ending in "<br>". Keys are taken from the
  // entry's source, so an entry with keys but nothing in its definition lost its text; an
  // entry with neither is most often a record whose source did not parse.
  void Body(std::string_view line, int number) {
    readability_.Body(line, number);
    if (line.size() < 4 || line.substr(line.size() - 4) != "<br>") return;
    if (line.substr(0, line.size() - 4).find_first_not_of(" \t") == std::string_view::npos) {
      (entry_keys_ == 0 ? bare_entries_ : empty_bodies_).Add(number);
    }
  }

  void Links(std::string_view line, int number) {
    std::size_t pos = 0;
    while ((pos = line.find("href=\"#", pos)) != std::string_view::npos) {
      std::size_t begin = pos + 7;
      std::size_t end = line.find('"', begin);
      pos = begin;
      // Only the anchors of the book's cross references: "<A href=", any letter case.
      bool anchor = pos >= 10 && (line[pos - 10] == '<') && (line[pos - 9] == 'a' || line[pos - 9] == 'A') &&
                    line[pos - 8] == ' ';
      if (!anchor || end == std::string_view::npos) continue;
      readability_.Link();
      targets_[std::string(line.substr(begin, end - begin))].Add(number);
    }
  }

  void Key(std::string_view line, std::size_t pos, int number) {
    std::size_t title_begin = pos + 12;
    std::size_t close = line.find("</key>", title_begin);
    if (close == std::string_view::npos) return;
    // The key text is full-width only, so the last " type=" on the line ends the title.
    std::size_t type = line.rfind("\" type=\"", close);
    if (type == std::string_view::npos || type < title_begin) return;
    std::size_t text_begin = line.find("\">", type + 8);
    if (text_begin == std::string_view::npos || text_begin > close) return;
    text_begin += 2;
    std::string_view title = line.substr(title_begin, type - title_begin);
    std::string_view text = line.substr(text_begin, close - text_begin);
    // The back-notation key repeats the front one on the next line; judge the pair once.
    if (number == last_key_line_ + 1 && title == last_title_ && text == last_text_) {
      last_key_line_ = number;
      return;
    }
    last_key_line_ = number;
    last_title_.assign(title);
    last_text_.assign(text);

    std::string quoted = "\"" + Snippet(title) + "\"";
    if (text.empty()) {
      sink_.Warning("key-empty", kBookName, number,
                    title.empty()
                        ? "key with an empty title and text"
                        : "key text is empty: its title " + quoted + " has nothing the search can find",
                    "a key of only symbols finds nothing: check the rule of the keyword's tag");
      return;
    }
    if (text.size() > kMaxTextBytes) {
      sink_.Warning("key-long", kBookName, number,
                    fmt::format("key text of {} is {} bytes, more than the {} the authoring "
                                "tool takes",
                                quoted, text.size(), kMaxTextBytes),
                    "shorten the keyword in the rule of the tag it comes from");
    }
    if (text != ExpectedKeyText(title)) {
      sink_.Warning("key-mismatch", kBookName, number,
                    "key text does not match its title " + quoted +
                        ": a search for the title would not find this entry",
                    std::string(kRerunHtml) +
                        "; after a hand edit, write the title in full-width "
                        "capitals and digits without symbols");
    } else if (HasHalfWidthKana(title)) {
      sink_.Warning("key-kana", kBookName, number,
                    "key title " + quoted +
                        " has half-width katakana, which its key text leaves out: a search for "
                        "them finds nothing",
                    "write the keyword's katakana in full width");
    }
    if (title.find_first_of("\"<>") != std::string_view::npos) {
      sink_.Warning("key-markup", kBookName, number,
                    "key title " + quoted +
                        " holds '\"', '<' or '>', which end its attribute or tag early: a reader of "
                        "the line may take a wrong key",
                    "leave markup out of the keyword: check the rule of the keyword's tag");
    }
  }

  const GaijiMapSummary& gaiji_;
  FindingSink& sink_;
  ReadabilityTally& readability_;
  SoundLinkCheck& sounds_;
  std::string heading_;  // the title of the entry being read
  Tally kana_;
  std::unordered_map<std::uint32_t, Tally> unmapped_;
  std::unordered_map<std::uint32_t, Tally> unrepresentable_;
  std::unordered_map<std::string, int> ids_;        // entry id -> line
  std::unordered_map<std::string, Tally> targets_;  // link target -> uses
  Tally empty_bodies_;  // definitions of entries with keys that hold nothing
  Tally bare_entries_;  // entries with neither keys nor a definition
  int entry_keys_ = 0;  // key lines since the last headword
  std::int64_t entries_ = 0;  // headings that start an entry
  bool in_list_ = false;      // between <dl> and </dl>
  bool in_body_ = false;      // between <dd><p> and </p></dd>
  bool body_next_ = false;
  int last_key_line_ = -1;
  std::string last_title_;
  std::string last_text_;
};

}  // namespace

void CheckBookHtml(const std::string& base_folder, const GaijiMapSummary& gaiji, FindingSink& sink,
                   ReadabilityTally& readability, SoundLinkCheck& sounds) {
  LineReader reader(base_folder, kBookName);
  if (!reader.is_open()) return;
  BookScanner scanner(gaiji, sink, readability, sounds);
  std::string_view line;
  while (reader.Next(line)) scanner.Line(line, reader.line_number());
  reader.ReportTallies(sink);
  scanner.End();
}

}  // namespace tavex::check
