// The pre-flight check of a book's source: reads what the create run wrote into
// base_folder and reports what the authoring tool would reject or silently get wrong
// (undecodable text, a gaiji reference without a glyph, a glyph under the wrong code,
// a link to no entry, a file the project names that is not there), before the folder
// is carried to the authoring tool. Files are read line by line, so a book of any size
// is checked in one pass with memory for one line and the sets of ids and codes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavex::check {

// One thing found in the book's source: where it is and what to do about it.
struct Finding {
  enum Severity { kError, kWarning };
  Severity severity = kError;
  std::string file;     // relative to base_folder ("html_EPW", "us_pron/a.wav")
  int line = 0;         // 1-based; 0 when the finding concerns the whole file
  std::string message;  // what is wrong, UTF-8, lowercase, no trailing period
  std::string advice;   // what to do about it
};

// Everything found in one base_folder, in the order the files were read.
struct CheckReport {
  std::string base_folder;
  std::vector<Finding> findings;

  int errors() const;    // findings of severity kError
  int warnings() const;  // findings of severity kWarning
};

// An element of the disc's entries whose attribute refers to something: another entry
// (by its id) or a recording (by its name).
struct TagAttribute {
  std::string tag;         // the tag key
  std::string attribute;   // the attribute's name
  std::int64_t count = 0;  // elements seen with such a value
};

// What the disc shows of its cross-references and recordings, when the caller knows
// (the entries are still in the working database); lets the check tell a book that
// lost its links from a dictionary that has none.
struct SourceHints {
  bool known = false;
  std::vector<TagAttribute> references;  // attributes holding other entries' ids
  std::vector<TagAttribute> sounds;      // attributes naming recordings
  // Whether the disc's bundle for a recording folder holds the recording whose WAV file
  // is `wav_name` there ("us_pron", "set_1.wav"); empty when the bundles are not known.
  std::function<bool(std::string_view folder, std::string_view wav_name)> in_bundle;
  // The tag rules that link recordings, each with the folder it sends them to.
  struct SoundRule {
    std::string tag;
    std::string folder;  // "us_pron" or "uk_pron"
  };
  std::vector<SoundRule> sound_rules;
};

// Checks html_EPW, copyright.html, TAVEX.ebs, GaijiMap.xml, Gaiji.xml and the WAV
// folders us_pron/ and uk_pron/ in `base_folder`, and whether the book reads (line
// breaks, links, sounds, definitions; see readability_check.h). Problems in the files
// are findings, never exceptions; throws tavex::Error only when `base_folder` is not a
// folder.
CheckReport CheckBookSource(const std::string& base_folder, const SourceHints& hints = {});

// The record index of the entry that line `line` (from 1) of `base_folder`/html_EPW
// belongs to: the id of the last `<dt id="N">` at or before it, when the line lies
// between that line and the end of the entry's `</dd>`. Nothing for the lines around
// the entries, for the copyright entry, or when the book cannot be read. Reads the book
// up to that line.
std::optional<int> EntryIndexAtLine(const std::string& base_folder, int line);

// One line per finding, "file:line: error: message (advice)" (no ":line" for a
// whole-file finding), then the summary line; every line ends with "\n".
std::string FormatReport(const CheckReport& report);

// The report as one JSON object: base_folder, errors, warnings and the findings
// (severity, file, line, message, advice). Always valid JSON and valid UTF-8.
std::string FormatReportJson(const CheckReport& report);

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD, so the output
// parses whatever a file name or message holds.
std::string JsonString(std::string_view text);

// "check: 0 errors, 2 warnings in BASE_FOLDER", without a line end.
std::string FormatSummary(const CheckReport& report);

}  // namespace tavex::check
