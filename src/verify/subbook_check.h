// The check of one subbook, in the order it runs: the layout from the index page, the
// search indexes (every stored key proved through libeb), the walk over the text (every
// heading, and every text read to its end with its links, sounds and gaiji), the gaiji
// fonts, and beside a book source the comparison with it. Private to the book check.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "verify/book_index.h"
#include "verify/finding_list.h"
#include "verify/key_search.h"
#include "verify/libeb_reader.h"
#include "verify/search_view.h"
#include "verify/source_book.h"
#include "verify/verify.h"

namespace tavex::verify {

inline constexpr std::size_t kMaxTextBytes = 32 << 20;    // a text longer than this is taken as not ending
inline constexpr std::int64_t kMaxSoundBytes = 64 << 20;  // a sound longer than this is no recording
inline constexpr std::int64_t kMaxHashedSoundBytes = 1 << 20;  // longer ones: header checked only
inline constexpr std::size_t kSoundWindowBytes = 256 << 10;  // sounds are read this much at a time
inline constexpr char kRebuild[] =
    "rebuild the book (`tavex2epwing epwing` for a book made from base_folder), or get a sound copy of it";

// A position as one number (its byte in the text file), for sorting and sets.
inline std::int64_t Key64(BookPosition at) { return at.Byte(); }
// A key's 64-bit hash: the comparison with the source looks keys up by it.
inline std::uint64_t KeyHash(std::string_view key) { return std::hash<std::string_view>{}(key); }

// The little-endian 32-bit number at `at` of a WAVE header.
inline std::uint32_t Little(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// What the checks of all subbooks share: the catalogue and the bound on reading, which
// holds for the whole book, however many subbooks its catalogue lists.
struct BookBounds {
  std::string path;          // the book as libeb is given it (pinned)
  std::string catalogs;      // the catalogue as stored, for the searches' copy
  std::uint64_t budget = 0;  // the bytes of the book the check may read, repeats included
  std::uint64_t spent = 0;   // read so far, by the walks over the text
  std::chrono::steady_clock::time_point deadline;  // when the check of the book stops
  std::atomic<bool> stop{false};                   // set when a bound is spent, so the searches stop too
};

// Checks one subbook of the book and adds what it finds to the report.
class SubbookCheck {
 public:
  // `subbook` counts from 0; `directory` is its folder as the catalogue names it.
  SubbookCheck(const VerifyOptions& options, int subbook, std::string directory, VerifyReport& report,
               FindingList& findings, Progress& progress, BookBounds& book)
      : options_(options),
        subbook_(subbook),
        directory_(std::move(directory)),
        report_(report),
        findings_(findings),
        progress_(progress),
        book_(book) {}

  // Runs every check of the subbook; problems become findings, never exceptions.
  void Run();

 private:
  // Adds a finding of `kind` at `at`, about the entry at `entry` (page 0: none).
  void AddError(const std::string& kind, const std::string& advice, BookPosition at, BookPosition entry,
                std::string detail) {
    findings_.Error(kind, advice, {check::Finding::kError, name_, at, "", std::move(detail), entry});
  }
  void AddWarning(const std::string& kind, const std::string& advice, BookPosition at, BookPosition entry,
                  std::string detail) {
    findings_.Warning(kind, advice, {check::Finding::kWarning, name_, at, "", std::move(detail), entry});
  }

  // The regions of the index page and the text file's length, found by reading.
  bool ReadLayout();

  // Pages in the text file: the first page that does not read, by doubling then halving.
  std::uint32_t CountPages();

  // Whether `at` lies in the text region; in the text, the menu or the copyright page.
  bool InText(BookPosition at) const { return text_ && text_->Holds(at); }
  bool InTextLike(BookPosition at) const;

  // Reads the book source's entries, when base_folder is given.
  void ReadSource();

  // Reads every forward and backward index, checks its pages, copies them into `view`
  // (when there is one) and notes which indexes can be searched.
  void CheckIndexes(SearchView* view);

  // Adds what the search of every key found.
  void AddKeySearch(const KeySearchResult& result);

  // Walks the text from its start, entry by entry: every heading is read, and every
  // text (or with a sample, every n-th) read to its end.
  void WalkText();

  // Reads the texts keys point at that the walk did not read.
  void ReadKeyTargets();

  // The walked entry whose text a key at `at` opens: the entry starting there or a few
  // bytes before (the first entry starts after the region's opening control).
  std::optional<std::size_t> EntryAt(std::int64_t at) const;

  // Reads one text to its end and, with `check`, checks what it holds; `index` is its
  // place in the walk (SIZE_MAX for none), for the comparison with the source. False
  // when the text does not end, so nothing after it can be found.
  bool ScanEntry(BookPosition at, std::size_t index, std::optional<BookPosition>* next, bool check = true);

  // Counts `bytes` read from the book; past the budget or the deadline the check of the
  // book stops.
  void Spend(std::uint64_t bytes);
  struct BudgetSpent {};
  struct TimeSpent {};

  // Checks the links, sounds and gaiji one text held.
  void CheckScan(const TextScan& scan, BookPosition entry);

  // Notes a gaiji code the text uses, with the first entry using it.
  void NoteGaiji(std::uint16_t code, bool narrow, BookPosition entry);

  // A sound must lie in the file outside the text and the indexes, and hold a WAVE
  // header whose data fits between its start and end.
  void CheckSound(BookPosition start, BookPosition end, BookPosition entry);

  // `size` bytes of the text file from `start`, read through a window: the sounds lie
  // one after the other in the order the text first uses them.
  std::string SoundBytes(BookPosition start, std::size_t size);

  // Compares a text's sounds with the WAV files its source entry links to.
  void CompareSounds(const TextScan& scan, const std::vector<std::string>& links, BookPosition entry);

  // Reads the copyright and menu pages, when the subbook has them.
  void CheckSideTexts();

  // Checks that every gaiji code the text used has a bitmap in the fonts.
  void CheckGaiji();

  // The source's titles and keys in both indexes at their entry, and its glyphs.
  void CompareSource();

  // The headwords of this subbook's listed findings.
  void FillHeadwords();

  const VerifyOptions& options_;
  int subbook_;
  std::string directory_;
  VerifyReport& report_;
  FindingList& findings_;
  Progress& progress_;
  std::optional<LibebReader> reader_;
  std::string name_;
  std::vector<BookRegion> regions_;
  std::optional<BookRegion> text_;
  std::uint32_t file_pages_ = 0;
  std::vector<std::int64_t> targets_;    // text positions the index keys point at (sorted once read)
  std::size_t targets_distinct_ = 0;     // of them, those sorted and distinct so far
  std::vector<IndexToSearch> searches_;  // the indexes whose keys are searched
  std::vector<BookPosition> walked_;     // entry starts in text order
  bool walk_complete_ = false;           // the walk reached the end of the text
  std::map<std::int64_t, std::int64_t> sound_extents_;  // each sound's first and last byte
  BookBounds& book_;
  std::unordered_map<std::uint16_t, BookPosition> narrow_used_, wide_used_;  // gaiji and where first used
  // Each sound met, by its start: its size and hash when read whole.
  std::unordered_map<std::int64_t, std::optional<std::pair<std::int64_t, std::uint64_t>>> sound_hashes_;
  std::string window_;           // bytes of the text file read ahead for the sounds
  std::int64_t window_at_ = -1;  // where they start
  // Each recording of base_folder compared: the size and hash of what the book stores for it.
  // (By the name's hash: 80,000 names would otherwise be held as strings twice.)
  std::unordered_map<std::uint64_t, std::optional<std::pair<std::int64_t, std::uint64_t>>> file_hashes_;
  std::optional<std::vector<SourceEntryKeys>> source_;
  bool recordings_converted_ = false;  // base_folder has a recording folder
  // The keys of each index (hashed) with the text position each points at, for the
  // comparison with the source.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> word_keys_, endword_keys_;
};

}  // namespace tavex::verify
