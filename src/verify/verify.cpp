// The book check, subbook by subbook: the layout from the index page, the search
// indexes (every stored key searched through libeb), the walk over the text (every
// heading, and every text read to its end with its links, sounds and gaiji), the gaiji
// fonts, and beside a book source the comparison with it.
#include "verify/verify.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "epwing/gaiji_set.h"
#include "epwing/search_index.h"
#include "platform/error.h"
#include "platform/files.h"
#include "verify/book_index.h"
#include "verify/finding_list.h"
#include "verify/source_book.h"

namespace tavex::verify {
namespace {

constexpr std::size_t kMaxTextBytes = 4 << 20;    // a text longer than this is taken as not ending
constexpr std::int64_t kMaxSoundBytes = 64 << 20;  // a sound longer than this is no recording
// Whole keys searched through libeb in each index besides those their group leaves out,
// spread evenly over it; a reader's query normalisation that the stored keys do not
// follow shows in any of them.
constexpr std::size_t kWholeKeySearches = 4096;
constexpr char kRebuild[] =
    "rebuild the book (`tavex2epwing epwing` for a book made from base_folder), or get a sound copy of it";

std::int64_t Key64(BookPosition at) { return at.Byte(); }
// A key's 64-bit hash: the comparison with the source looks keys up by it.
std::uint64_t KeyHash(std::string_view key) { return std::hash<std::string_view>{}(key); }

std::uint32_t Little(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

class SubbookCheck {
 public:
  SubbookCheck(const VerifyOptions& options, int subbook, VerifyReport& report, FindingList& findings,
               Progress& progress)
      : options_(options), subbook_(subbook), report_(report), findings_(findings), progress_(progress) {}

  void Run() {
    try {
      reader_.emplace(options_.book, subbook_);
      name_ = reader_->Directory();
      for (char& c : name_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } catch (const tavex::Error& e) {
      AddError("the subbook does not open", kRebuild, {}, {}, e.what());
      return;
    }
    if (!ReadLayout()) return;
    if (!options_.base_folder.empty() && subbook_ == 0) ReadSource();
    CheckIndexes();
    WalkText();
    CheckSideTexts();
    CheckGaiji();
    if (source_) CompareSource();
    FillHeadwords();
  }

 private:
  void AddError(const std::string& kind, const std::string& advice, BookPosition at, BookPosition entry,
             std::string detail) {
    findings_.Error(kind, advice, {check::Finding::kError, name_, at, "", std::move(detail), entry});
  }
  void AddWarning(const std::string& kind, const std::string& advice, BookPosition at, BookPosition entry,
               std::string detail) {
    findings_.Warning(kind, advice, {check::Finding::kWarning, name_, at, "", std::move(detail), entry});
  }

  // The regions of the index page and the text file's length, found by reading.
  bool ReadLayout() {
    try {
      regions_ = ParseIndexPage(reader_->RawBytes({1, 0}, 2048));
      file_pages_ = CountPages();
    } catch (const tavex::Error& e) {
      AddError("the text file does not read", kRebuild, {1, 0}, {}, e.what());
      return false;
    }
    for (BookRegion& region : regions_) {
      if (region.start_page == 0 || region.start_page > file_pages_ ||
          region.page_count > file_pages_ - region.start_page + 1) {
        AddError("a region of the index page lies outside the text file", kRebuild, {1, 0}, {},
              fmt::format("region {:02X} says pages {} to {}, the file has {} pages", region.id, region.start_page,
                          static_cast<std::uint64_t>(region.start_page) + region.page_count - 1, file_pages_));
        region.page_count = region.start_page > file_pages_ ? 0 : file_pages_ - region.start_page + 1;
      }
      if (region.id == 0x00) text_ = region;
    }
    if (!text_) AddError("the index page names no text", kRebuild, {1, 0}, {}, "no region 00 in the index page");
    return true;
  }

  // Pages in the text file: the first page that does not read, by doubling then halving.
  std::uint32_t CountPages() {
    auto readable = [&](std::uint32_t page) { return !reader_->RawBytes({static_cast<int>(page), 0}, 1).empty(); };
    if (!readable(1)) return 0;
    std::uint32_t low = 1, high = 2;
    while (high < (1u << 30) && readable(high)) low = high, high *= 2;
    while (high - low > 1) {
      const std::uint32_t middle = low + (high - low) / 2;
      (readable(middle) ? low : high) = middle;
    }
    return low;
  }

  bool InText(BookPosition at) const { return text_ && text_->Holds(at); }
  bool InTextLike(BookPosition at) const {
    return std::any_of(regions_.begin(), regions_.end(),
                       [&](const BookRegion& r) { return IsTextRegion(r.id) && r.Holds(at); });
  }

  void ReadSource() {
    try {
      source_ = ReadSourceEntries(options_.base_folder);
    } catch (const tavex::Error& e) {
      AddError("the book source does not read", "run `tavex2epwing check` on base_folder", {}, {}, e.what());
    }
  }

  void CheckIndexes() {
    for (const BookRegion& region : regions_) {
      const bool backward = IsEndwordIndex(region.id);
      if (!backward && !IsWordIndex(region.id)) continue;
      const IndexContents index = ReadIndex(region, [&](std::uint32_t page) {
        return reader_->RawBytes({static_cast<int>(page), 0}, 2048);
      });
      const char* which = backward ? "backward" : "forward";
      for (const IndexFault& fault : index.faults) {
        AddError("a search index is damaged; its keys were not searched", kRebuild, {static_cast<int>(fault.page), 0},
              {}, fmt::format("{} index {:02X}: {}", which, region.id, fault.what));
      }
      for (const IndexFault& fault : index.disorder) {
        AddError("an index page holds its keys out of order, so readers miss some of them", kRebuild,
              {static_cast<int>(fault.page), 0}, {}, fmt::format("{} index {:02X}: {}", which, region.id, fault.what));
      }
      if (index.group_entries > 0) {
        AddWarning("grouped index entries were not checked", "nothing to do; the check reads plain entries only",
                {static_cast<int>(region.start_page), 0}, {},
                fmt::format("{} index {:02X}: {} grouped entries", which, region.id, index.group_entries));
      }
      report_.keys += index.keys.size();
      if (!index.faults.empty()) continue;
      SearchKeys(index.keys, backward, region.id);
      std::sort(targets_.begin(), targets_.end());
      targets_.erase(std::unique(targets_.begin(), targets_.end()), targets_.end());
      if (source_) {
        auto& keys = backward ? endword_keys_ : word_keys_;
        for (const IndexKey& key : index.keys) keys.emplace_back(KeyHash(key.key), Key64(key.text));
      }
    }
  }

  // Proves through libeb that every stored key finds its entry. The keys are grouped by
  // their first character: one search for that character lists, in index order, every
  // entry a key of the group leads to, so each key's entry must be among the group's
  // hits (the tree walk has already proved that a search for the whole key descends to
  // the key's own leaf). A key whose entry is not listed, and an evenly spread sample of
  // whole keys, are then searched whole, as a reader types them.
  void SearchKeys(const std::vector<IndexKey>& keys, bool backward, std::uint8_t id) {
    ProgressLoop loop(progress_, static_cast<int>(keys.size() / 4096 + 1), "EPWING検査中");
    std::vector<std::int64_t> listed;
    const std::size_t whole_every = std::max<std::size_t>(1, keys.size() / kWholeKeySearches);
    for (std::size_t first = 0; first < keys.size();) {
      std::size_t last = first + 1;
      while (last < keys.size() && keys[last].key.compare(0, 2, keys[first].key, 0, 2) == 0) ++last;
      for (std::size_t step = (first + 4095) / 4096; step < (last + 4095) / 4096; ++step) loop.Step();
      listed.clear();
      const std::string prefix = KeyAsQuery(std::string_view(keys[first].key).substr(0, 2));
      if (!prefix.empty()) {
        try {
          for (const BookHit& hit : reader_->Search(prefix, backward, (last - first) + 64)) listed.push_back(Key64(hit.text));
        } catch (const tavex::Error&) {
          // Each key of the group is then searched whole below.
        }
      }
      std::sort(listed.begin(), listed.end());
      std::size_t run_start = first, run_end = first;  // the equal keys around i
      for (std::size_t i = first; i < last; ++i) {
        if (i >= run_end) {
          run_start = i;
          run_end = i + 1;
          while (run_end < last && keys[run_end].key == keys[i].key) ++run_end;
        }
        const IndexKey& key = keys[i];
        targets_.push_back(Key64(key.text));
        const bool in_group = std::binary_search(listed.begin(), listed.end(), Key64(key.text));
        if (in_group && InText(key.text) && i % whole_every != 0) {
          ++report_.keys_found;
          continue;
        }
        SearchWholeKey(key, backward, id, (run_end - run_start) + 64);
      }
      first = last;
    }
  }

  // Searches one whole key through libeb and checks that its entry is among the hits.
  void SearchWholeKey(const IndexKey& key, bool backward, std::uint8_t id, std::size_t max_hits) {
    const char* which = backward ? "backward" : "forward";
    const std::string query = KeyAsQuery(backward ? epwing::ReversedKey(key.key) : key.key);
    if (!InText(key.text)) {
      AddError("a search key points outside the text", kRebuild, key.text, {},
               fmt::format("{} key “{}” of index {:02X} points at {}:{}", which, EucToUtf8(query), id, key.text.page,
                           key.text.offset));
      return;
    }
    std::string failure = query.empty() ? "the key is not JIS X 0208 text" : "";
    if (!query.empty()) {
      try {
        // Equal keys come first among the hits, so the entry is among the first.
        for (const BookHit& hit : reader_->Search(query, backward, max_hits)) {
          if (hit.text == key.text) {
            ++report_.keys_found;
            return;
          }
        }
        failure = "no hit at this entry";
      } catch (const tavex::Error& e) {
        failure = e.what();
      }
    }
    AddError("a search key does not find the entry its index points at", kRebuild, key.text, key.text,
             fmt::format("{} search for “{}”: {}", which, query.empty() ? std::string("?") : EucToUtf8(query), failure));
  }

  // Walks the text from its start, entry by entry: every heading is read, and every
  // text (or with a sample, every n-th) read to its end.
  void WalkText() {
    std::optional<BookPosition> at;
    try {
      at = reader_->TextStart();
    } catch (const tavex::Error& e) {
      AddError("the text does not open", kRebuild, {}, {}, e.what());
      return;
    }
    std::size_t stride = 1;
    if (options_.sample) stride = std::max<std::size_t>(1, targets_.size() / std::max<std::size_t>(1, *options_.sample));
    const std::uint64_t max_entries = (text_ ? text_->page_count : file_pages_) * 512ull + 16;
    ProgressLoop loop(progress_, static_cast<int>(std::min<std::size_t>(targets_.size(), INT32_MAX)), "EPWING検査中");
    std::size_t index = 0;
    while (at) {
      if (text_ && !InText(*at)) {
        AddError("the text walk leaves the text", kRebuild, *at, {}, "an entry starts outside the text region");
        break;
      }
      walked_.push_back(*at);
      ++report_.entries;
      if (index < static_cast<std::size_t>(loop.maximum())) loop.Step();
      try {
        reader_->ReadHeading(*at);
      } catch (const tavex::Error& e) {
        AddError("a heading does not read", kRebuild, *at, {}, e.what());
      }
      const bool full = (!options_.sample || report_.texts_read < *options_.sample) && index % stride == 0;
      std::optional<BookPosition> next;
      bool moved = false;
      if (full) {
        try {
          ScanEntry(*at, index, &next);
          moved = true;
        } catch (const tavex::Error& e) {
          AddError("an entry's text does not read to its end", kRebuild, *at, *at, e.what());
        }
      }
      if (!moved) {
        try {
          next = reader_->NextEntry(*at);
        } catch (const tavex::Error& e) {
          AddError("the text walk stops: the next entry cannot be found", kRebuild, *at, *at, e.what());
          break;
        }
      }
      if (next && !(*at < *next)) {
        AddError("the text walk stops: the next entry does not lie further on", kRebuild, *next, *at,
              fmt::format("libeb steps from {}:{} back to {}:{}", at->page, at->offset, next->page, next->offset));
        break;
      }
      if (++index > max_entries) {
        AddError("the text walk stops: more entries than the text can hold", kRebuild, *at, {}, "");
        break;
      }
      at = next;
    }
    // Entries a key points at that the walk did not meet (a book may hold texts that
    // are found only by search).
    if (!options_.sample) {
      for (std::int64_t target : targets_) {
        const BookPosition p{static_cast<int>(target / 2048 + 1), static_cast<int>(target % 2048)};
        if (EntryAt(target) || !InText(p)) continue;
        try {
          ScanEntry(p, SIZE_MAX, nullptr);
        } catch (const tavex::Error& e) {
          AddError("an entry's text does not read to its end", kRebuild, p, p, e.what());
        }
      }
    }
  }

  // The walked entry whose text a key at `at` opens: the entry starting there or a few
  // bytes before (the first entry starts after the region's opening control).
  std::optional<std::size_t> EntryAt(std::int64_t at) const {
    auto it = std::upper_bound(walked_.begin(), walked_.end(), at,
                               [](std::int64_t value, const BookPosition& p) { return value < Key64(p); });
    if (it == walked_.begin()) return std::nullopt;
    --it;
    if (at - Key64(*it) >= 16) return std::nullopt;
    return static_cast<std::size_t>(it - walked_.begin());
  }

  // Reads one text to its end and checks what it holds; `index` is its place in the
  // walk (SIZE_MAX for none), for the comparison with the source.
  void ScanEntry(BookPosition at, std::size_t index, std::optional<BookPosition>* next) {
    const TextScan scan = reader_->ScanText(at, kMaxTextBytes, next);
    ++report_.texts_read;
    if (scan.cut) {
      AddError("an entry's text does not end", kRebuild, at, at, fmt::format("longer than {} MiB", kMaxTextBytes >> 20));
    }
    CheckScan(scan, at);
    if (source_ && index < source_->size()) CompareSounds(scan, (*source_)[index].sounds, at);
  }

  void CheckScan(const TextScan& scan, BookPosition entry) {
    for (const BookPosition& target : scan.links.references) {
      if (!InTextLike(target)) {
        AddError("a link points outside the text", kRebuild, target, entry,
              fmt::format("link to {}:{}", target.page, target.offset));
      }
    }
    for (const auto& [start, end] : scan.links.sounds) CheckSound(start, end, entry);
    for (std::uint16_t code : scan.narrow_gaiji) NoteGaiji(code, true, entry);
    for (std::uint16_t code : scan.wide_gaiji) NoteGaiji(code, false, entry);
  }

  void NoteGaiji(std::uint16_t code, bool narrow, BookPosition entry) {
    auto& first_use = narrow ? narrow_used_ : wide_used_;
    first_use.try_emplace(code, entry);
  }

  // A sound must lie in the file outside the text and the indexes, and hold a WAVE
  // header whose data fits between its start and end.
  void CheckSound(BookPosition start, BookPosition end, BookPosition entry) {
    if (!sounds_seen_.insert(Key64(start)).second) return;
    ++report_.sounds;
    const std::int64_t file_bytes = static_cast<std::int64_t>(file_pages_) * 2048;
    const std::string where = fmt::format("sound {}:{} to {}:{}", start.page, start.offset, end.page, end.offset);
    const bool in_regions = std::any_of(regions_.begin(), regions_.end(), [&](const BookRegion& r) {
      return r.Holds(start) || r.Holds(end);
    });
    if (start.page < 1 || end.page < 1 || start.offset < 0 || start.offset >= 2048 || end.offset < 0 ||
        end.offset >= 2048 || end.Byte() < start.Byte() || end.Byte() >= file_bytes || in_regions) {
      AddError("a sound lies outside the sound area", kRebuild, start, entry, where);
      return;
    }
    const std::int64_t size = end.Byte() - start.Byte() + 1;
    if (size > kMaxSoundBytes) {
      AddError("a sound is larger than any recording", kRebuild, start, entry, where);
      return;
    }
    const std::string head = reader_->RawBytes(start, static_cast<std::size_t>(std::min<std::int64_t>(size, 4096)));
    std::string fault = "no \"fmt \" chunk at its start";
    if (head.size() >= 8 && head.compare(0, 4, "fmt ") == 0 && Little(head, 4) >= 16) {
      fault = "no \"data\" chunk after its \"fmt \" chunk";
      std::uint64_t at = 0;
      while (at + 8 <= head.size()) {
        const std::uint64_t chunk = Little(head, at + 4);
        if (head.compare(at, 4, "data") == 0) {
          fault = at + 8 + chunk > static_cast<std::uint64_t>(size)
                      ? fmt::format("its data chunk says {} bytes, {} are stored", chunk, size - at - 8)
                      : "";
          break;
        }
        at += 8 + chunk + (chunk & 1);
      }
    }
    if (!fault.empty()) AddError("a sound is not whole WAVE data", kRebuild, start, entry, where + ": " + fault);
  }

  void CompareSounds(const TextScan& scan, const std::vector<std::string>& names, BookPosition entry) {
    const auto& sounds = scan.links.sounds;
    if (sounds.size() != names.size()) {
      AddError("an entry's sounds differ from its source", kRebuild, entry, entry,
            fmt::format("the book links {} sounds, html_EPW {}", sounds.size(), names.size()));
      return;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto [start, end] = sounds[i];
      if (!sounds_compared_.insert(Key64(start)).second) continue;
      const std::int64_t size = end.Byte() - start.Byte() + 1;
      const std::string wanted = StoredSoundBytes(options_.base_folder, names[i]);
      if (size != static_cast<std::int64_t>(wanted.size()) ||
          reader_->RawBytes(start, wanted.size()) != wanted) {
        AddError("a sound differs from its WAV file", kRebuild, start, entry, names[i]);
      }
    }
  }

  void CheckSideTexts() {
    auto side = [&](const char* what, BookPosition at) {
      if (!InTextLike(at)) {
        AddError("the copyright or menu page lies outside the text file", kRebuild, at, {}, what);
        return;
      }
      try {
        const TextScan scan = reader_->ScanText(at, kMaxTextBytes);
        CheckScan(scan, {});
      } catch (const tavex::Error& e) {
        AddError("the copyright or menu page does not read", kRebuild, at, {}, fmt::format("{}: {}", what, e.what()));
      }
    };
    try {
      if (reader_->HasCopyright()) side("copyright", reader_->Copyright());
      if (reader_->HasMenu()) side("menu", reader_->Menu());
    } catch (const tavex::Error& e) {
      AddError("the copyright or menu page does not open", kRebuild, {}, {}, e.what());
    }
  }

  void CheckGaiji() {
    report_.gaiji += narrow_used_.size() + wide_used_.size();
    for (bool narrow : {true, false}) {
      const auto& used = narrow ? narrow_used_ : wide_used_;
      if (used.empty()) continue;
      const std::optional<FontRange> font = narrow ? reader_->NarrowFont() : reader_->WideFont();
      std::vector<std::pair<std::uint16_t, BookPosition>> codes(used.begin(), used.end());
      std::sort(codes.begin(), codes.end());
      for (const auto& [code, entry] : codes) {
        std::string fault;
        if (!font) {
          fault = fmt::format("the book has no {} 16-dot font", narrow ? "narrow" : "wide");
        } else if (code < font->start || code > font->end) {
          fault = fmt::format("the font holds {:04X} to {:04X}", font->start, font->end);
        } else {
          try {
            reader_->Glyph(code, narrow);
          } catch (const tavex::Error& e) {
            fault = e.what();
          }
        }
        if (!fault.empty()) {
          AddError("a gaiji in the text has no bitmap, so readers show nothing for it", kRebuild, entry, entry,
                fmt::format("{} gaiji {:04X}: {}", narrow ? "narrow" : "wide", code, fault));
        }
      }
    }
  }

  // The source's titles and keys in both indexes at their entry, and its glyphs.
  void CompareSource() {
    const std::vector<SourceEntryKeys>& source = *source_;
    if (source.size() != walked_.size()) {
      AddError("the book holds another number of entries than its source", kRebuild, {}, {},
            fmt::format("{} entries in the book, {} in html_EPW", walked_.size(), source.size()));
    }
    // Each index key as its entry's number and the key's hash, sorted for lookup.
    auto by_entry = [&](const std::vector<std::pair<std::uint64_t, std::int64_t>>& keys) {
      std::vector<std::pair<std::size_t, std::uint64_t>> list;
      list.reserve(keys.size());
      for (const auto& [hash, at] : keys) {
        if (const auto entry = EntryAt(at)) list.emplace_back(*entry, hash);
      }
      std::sort(list.begin(), list.end());
      return list;
    };
    const auto word_keys = by_entry(word_keys_);
    const auto endword_keys = by_entry(endword_keys_);
    auto holds = [](const std::vector<std::pair<std::size_t, std::uint64_t>>& list, std::size_t entry,
                    const std::string& key) {
      return std::binary_search(list.begin(), list.end(), std::make_pair(entry, KeyHash(key)));
    };
    const std::size_t count = std::min(source.size(), walked_.size());
    for (std::size_t i = 0; i < count; ++i) {
      for (const std::string& key : source[i].keys) {
        const bool forward = holds(word_keys, i, key);
        const bool backward = holds(endword_keys, i, epwing::ReversedKey(key));
        if (forward && backward) continue;
        AddError("a title or key of html_EPW is not found at its entry", kRebuild, walked_[i], walked_[i],
              fmt::format("“{}” not in the {} index", EucToUtf8(KeyAsQuery(key)),
                          forward ? "backward" : backward ? "forward" : "forward and backward"));
      }
    }
    try {
      const epwing::GaijiSet gaiji = epwing::GaijiSet::Load(options_.base_folder);
      for (bool narrow : {true, false}) {
        for (const epwing::Glyph& glyph : narrow ? gaiji.narrow().glyphs : gaiji.wide().glyphs) {
          std::string fault;
          try {
            if (reader_->Glyph(glyph.code, narrow) != glyph.rows) fault = "its bitmap differs from Gaiji.xml";
          } catch (const tavex::Error& e) {
            fault = e.what();
          }
          if (!fault.empty()) {
            AddError("a gaiji of Gaiji.xml is not the book's", kRebuild, {}, {},
                  fmt::format("{} gaiji {:04X}: {}", narrow ? "narrow" : "wide", glyph.code, fault));
          }
        }
      }
    } catch (const tavex::Error& e) {
      AddError("the book source does not read", "run `tavex2epwing check` on base_folder", {}, {}, e.what());
    }
  }

  // The headwords of this subbook's listed findings.
  void FillHeadwords() {
    for (FindingGroup& group : report_.groups) {
      for (VerifyFinding& finding : group.examples) {
        if (finding.subbook != name_ || finding.entry.page == 0 || !finding.headword.empty()) continue;
        try {
          finding.headword = reader_->Heading(finding.entry);
          while (!finding.headword.empty() && finding.headword.back() == '\n') finding.headword.pop_back();
        } catch (const tavex::Error&) {
          finding.headword = "?";
        }
      }
    }
  }

  const VerifyOptions& options_;
  int subbook_;
  VerifyReport& report_;
  FindingList& findings_;
  Progress& progress_;
  std::optional<LibebReader> reader_;
  std::string name_;
  std::vector<BookRegion> regions_;
  std::optional<BookRegion> text_;
  std::uint32_t file_pages_ = 0;
  std::vector<std::int64_t> targets_;  // text positions the index keys point at (sorted once read)
  std::vector<BookPosition> walked_;          // entry starts in text order
  std::unordered_map<std::uint16_t, BookPosition> narrow_used_, wide_used_;  // gaiji and where first used
  std::unordered_set<std::int64_t> sounds_seen_, sounds_compared_;
  std::optional<std::vector<SourceEntryKeys>> source_;
  // The keys of each index (hashed) with the text position each points at, for the
  // comparison with the source.
  std::vector<std::pair<std::uint64_t, std::int64_t>> word_keys_, endword_keys_;
};

}  // namespace

std::int64_t VerifyReport::errors() const {
  std::int64_t count = 0;
  for (const FindingGroup& group : groups) count += group.severity == check::Finding::kError ? group.count : 0;
  return count;
}

std::int64_t VerifyReport::warnings() const {
  std::int64_t count = 0;
  for (const FindingGroup& group : groups) count += group.severity == check::Finding::kWarning ? group.count : 0;
  return count;
}

VerifyReport VerifyBook(const VerifyOptions& options, Progress& progress) {
  if (!FolderExists(options.book)) throw Error(fmt::format("cannot verify {}: no such folder", options.book));
  if (!FileExists(ResolveCaseInsensitive(options.book, "CATALOGS"))) {
    throw Error(fmt::format("cannot verify {}: no CATALOGS in it", options.book));
  }
  VerifyReport report;
  report.book = options.book;
  report.base_folder = options.base_folder;
  FindingList findings(report, options.keep_all);
  int subbooks = 0;
  try {
    subbooks = LibebReader(options.book).subbook_count();
  } catch (const Error& e) {
    findings.Error("the book does not open", kRebuild, {check::Finding::kError, "", {}, "", e.what(), {}});
    return report;
  }
  report.subbooks = subbooks;
  for (int s = 0; s < subbooks; ++s) SubbookCheck(options, s, report, findings, progress).Run();
  return report;
}

}  // namespace tavex::verify
