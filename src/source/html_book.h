// The book source as the HTML books (StarDict, MDict) are made of it: each entry's
// headword, the keys that find it and its text as UTF-8 HTML, with links to entries by
// headword and sound links to the recordings in the form the disc held them. The source
// is read twice: first for the headwords that links lead to, then entry by entry, so
// that only the headwords are kept in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "source/recordings.h"
#include "source/warning_tally.h"

namespace tavex::source {

struct SourceEntry;
class HtmlWriter;

// The longest headword or key the HTML books keep, in bytes: StarDict readers refuse
// longer ones, and no word a reader types is that long.
inline constexpr std::size_t kMaxWordBytes = 255;

// One entry as the HTML books show and find it.
struct HtmlEntry {
  std::string id;
  std::string headword;           // UTF-8, never empty
  std::vector<std::string> keys;  // the other words that find it, each once, none the headword
  std::string html;
};

// Where the HTML books' links lead.
struct HtmlForms {
  std::string entry_prefix;  // put before a headword: "bword://", "entry://"
  std::string sound_prefix;  // put before a recording's file name: "sound://"
  bool sound_as_audio = false;  // sound links as <audio src="..."> (see HtmlLinks)
};

class HtmlBook {
 public:
  // Reads the headwords of base_folder's book (html_EPW). Throws Error naming the file
  // when the source is missing, incomplete or holds no entries.
  HtmlBook(std::string base_folder, HtmlForms forms, WarningTally& warnings);

  std::size_t entry_count() const { return entry_count_; }

  // Calls `entry` for every entry in file order. Each recording a sound link names is
  // given to `recording` once, before the first entry that links to it. The entries are
  // made on every core; `recording` is called from those threads, one call at a time.
  void ReadEntries(const std::function<void(const HtmlEntry&)>& entry,
                   const RecordingFiles::NewFn& recording);

  // The copyright page (copyright.html) as one line of HTML.
  std::string Description();

 private:
  // Makes `out` of `source`: its headword, keys and HTML.
  void MakeEntry(const SourceEntry& source, HtmlWriter& writer, WarningTally& warnings, HtmlEntry& out) const;

  std::string base_folder_;
  HtmlForms forms_;
  WarningTally& warnings_;
  std::unordered_map<std::string, std::string> headword_of_id_;  // the first entry of an id wins
  std::size_t entry_count_ = 0;
};

// `word` cut to kMaxWordBytes at a character's start.
std::string CutWord(std::string word);

}  // namespace tavex::source
