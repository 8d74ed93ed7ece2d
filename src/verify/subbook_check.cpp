// The subbook check's layout, indexes and text walk.
#include "verify/subbook_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <thread>

#include "epwing/search_index.h"
#include "fs/files.h"
#include "text/error.h"
#include "verify/selection_pages.h"

namespace tavex::verify {

void SubbookCheck::Run() {
  try {
    const std::vector<std::string> faults = CheckSelectionPages(book_.path, directory_);
    if (!faults.empty()) {
      name_ = directory_;
      for (char& c : name_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      for (const std::string& fault : faults) {
        AddError("the subbook holds a page libeb would read past, so it was not opened", kRebuild, {}, {},
                 fault);
      }
      return;
    }
    reader_.emplace(book_.path, subbook_);
    name_ = reader_->Directory();
    for (char& c : name_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  } catch (const tavex::Error& e) {
    AddError("the subbook does not open", kRebuild, {}, {}, e.what());
    return;
  }
  if (!reader_->HasWordSearch()) {
    AddError("the subbook has no word search, so readers cannot search it", kRebuild, {}, {},
             "no forward index in the subbook");
  }
  if (!ReadLayout()) return;
  if (!options_.base_folder.empty() && subbook_ == 0) ReadSource();
  // The searches read a copy of the index pages, filled as the indexes are read here.
  std::optional<SearchView> view;
  try {
    view.emplace(book_.catalogs, directory_, static_cast<std::uint64_t>(file_pages_) * 2048);
    view->Put(1, reader_->RawBytes({1, 0}, 2048));
  } catch (const tavex::Error& e) {
    AddError("the search indexes cannot be searched", kRebuild, {}, {}, e.what());
    view.reset();
  }
  CheckIndexes(view ? &*view : nullptr);
  // The keys are searched on a reader of their own while this one walks the text. It is
  // opened and closed here, so that libeb's counters are never touched by two threads.
  KeySearchResult searched;
  std::optional<std::string> search_failure;
  std::optional<LibebReader> searcher;
  if (view && !searches_.empty()) {
    try {
      searcher.emplace(view->path(), subbook_);
    } catch (const tavex::Error& e) {
      search_failure = e.what();
    }
  }
  {
    std::jthread search_thread([&] {
      if (!searcher) return;
      try {
        for (const IndexToSearch& index : searches_) {
          SearchEveryKey(*searcher, index, text_, book_.stop, book_.deadline, searched);
        }
      } catch (const tavex::Error& e) {
        search_failure = e.what();
      } catch (const std::exception& e) {
        search_failure = e.what();
      }
    });
    try {
      WalkText();
      ReadKeyTargets();
      CheckSideTexts();
      CheckGaiji();
    } catch (const BudgetSpent&) {
      AddError("the book asks to be read far beyond its size on the disk, so the check stopped", kRebuild, {},
               {}, fmt::format("more than {} MiB read", book_.budget >> 20));
      book_.stop = true;
    } catch (const TimeSpent&) {
      book_.stop = true;
    }
  }
  if (searched.stopped && std::chrono::steady_clock::now() >= book_.deadline) book_.stop = true;
  searcher.reset();
  view.reset();
  if (search_failure) {
    AddError("the search indexes cannot be searched", kRebuild, {}, {}, *search_failure);
  } else {
    AddKeySearch(searched);
  }
  if (source_) CompareSource();
  FillHeadwords();
}

void SubbookCheck::Spend(std::uint64_t bytes) {
  book_.spent += bytes;
  if (book_.spent > book_.budget) throw BudgetSpent{};
  if (book_.stop || std::chrono::steady_clock::now() >= book_.deadline) throw TimeSpent{};
}

bool SubbookCheck::ReadLayout() {
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
               fmt::format(
                   "region {:02X} says pages {} to {}, the file has {} pages", region.id, region.start_page,
                   static_cast<std::uint64_t>(region.start_page) + region.page_count - 1, file_pages_));
      region.page_count = region.start_page > file_pages_ ? 0 : file_pages_ - region.start_page + 1;
    }
    if (region.id == 0x00) text_ = region;
  }
  if (!text_)
    AddError("the index page names no text", kRebuild, {1, 0}, {}, "no region 00 in the index page");
  return true;
}

std::uint32_t SubbookCheck::CountPages() {
  auto readable = [&](std::uint32_t page) {
    return !reader_->RawBytes({static_cast<int>(page), 0}, 1).empty();
  };
  if (!readable(1)) return 0;
  std::uint32_t low = 1, high = 2;
  while (high < (1u << 30) && readable(high)) low = high, high *= 2;
  while (high - low > 1) {
    const std::uint32_t middle = low + (high - low) / 2;
    (readable(middle) ? low : high) = middle;
  }
  return low;
}

bool SubbookCheck::InTextLike(BookPosition at) const {
  return std::any_of(regions_.begin(), regions_.end(),
                     [&](const BookRegion& r) { return IsTextRegion(r.id) && r.Holds(at); });
}

void SubbookCheck::ReadSource() {
  try {
    source_ = ReadSourceEntries(options_.base_folder);
    recordings_converted_ = FolderExists(JoinPath(options_.base_folder, "us_pron")) ||
                            FolderExists(JoinPath(options_.base_folder, "uk_pron"));
  } catch (const tavex::Error& e) {
    AddError("the book source does not read", "run `tavex2epwing check` on base_folder", {}, {}, e.what());
  }
}

void SubbookCheck::CheckIndexes(SearchView* view) {
  for (const BookRegion& region : regions_) {
    const bool backward = IsEndwordIndex(region.id);
    if (!backward && !IsWordIndex(region.id)) continue;
    const char* which = backward ? "backward" : "forward";
    const IndexContents index = ReadIndex(
        region,
        [&](std::uint32_t page) {
          std::string bytes = reader_->RawBytes({static_cast<int>(page), 0}, 2048);
          if (view != nullptr) view->Put(page, bytes);
          return bytes;
        },
        [&](const IndexKey& key) {
          if (!InText(key.text)) {
            const std::string query = KeyAsQuery(backward ? epwing::ReversedKey(key.key) : key.key);
            AddError("a search key points outside the text", kRebuild, key.text, {},
                     fmt::format("{} key “{}” of index {:02X} points at {}:{}", which,
                                 query.empty() ? std::string("?") : EucToUtf8(query), region.id,
                                 key.text.page, key.text.offset));
            return;
          }
          targets_.push_back(Key64(key.text));
          // Many keys point at one entry: the list is made distinct as it grows, so it
          // holds about one position per entry rather than one per key.
          if (targets_.size() >= 2 * targets_distinct_ + 65536) {
            std::sort(targets_.begin(), targets_.end());
            targets_.erase(std::unique(targets_.begin(), targets_.end()), targets_.end());
            targets_distinct_ = targets_.size();
          }
          if (source_)
            (backward ? endword_keys_ : word_keys_)
                .emplace_back(KeyHash(key.key), static_cast<std::uint64_t>(Key64(key.text)));
        });
    for (const IndexFault& fault : index.faults) {
      AddError("a search index is damaged; its keys were not searched", kRebuild,
               {static_cast<int>(fault.page), 0}, {},
               fmt::format("{} index {:02X}: {}", which, region.id, fault.what));
    }
    for (const IndexFault& fault : index.disorder) {
      AddError("an index page holds its keys out of order, so readers miss some of them", kRebuild,
               {static_cast<int>(fault.page), 0}, {},
               fmt::format("{} index {:02X}: {}", which, region.id, fault.what));
    }
    if (index.group_entries > 0) {
      AddWarning("grouped index entries were not checked",
                 "nothing to do; the check reads plain entries only",
                 {static_cast<int>(region.start_page), 0}, {},
                 fmt::format("{} index {:02X}: {} grouped entries", which, region.id, index.group_entries));
    }
    report_.keys += index.keys;
    if (index.faults.empty()) searches_.push_back({region, backward});
  }
  std::sort(targets_.begin(), targets_.end());
  targets_.erase(std::unique(targets_.begin(), targets_.end()), targets_.end());
  targets_.shrink_to_fit();
}

void SubbookCheck::AddKeySearch(const KeySearchResult& result) {
  report_.keys_found += result.found;
  for (const KeyMiss& miss : result.misses) {
    AddError("a search key does not find the entry its index points at", kRebuild, miss.text, miss.text,
             miss.detail);
  }
}

void SubbookCheck::WalkText() {
  std::optional<BookPosition> at;
  try {
    at = reader_->TextStart();
  } catch (const tavex::Error& e) {
    AddError("the text does not open", kRebuild, {}, {}, e.what());
    return;
  }
  std::size_t stride = 1;
  if (options_.sample)
    stride = std::max<std::size_t>(1, targets_.size() / std::max<std::size_t>(1, *options_.sample));
  const std::uint64_t max_entries = (text_ ? text_->page_count : file_pages_) * 512ull + 16;
  ProgressLoop loop(progress_, static_cast<int>(std::min<std::size_t>(targets_.size(), INT32_MAX)),
                    "EPWING検査中");
  std::size_t index = 0;
  while (at) {
    if (text_ && !InText(*at)) {
      AddError("the text walk leaves the text", kRebuild, *at, {}, "an entry starts outside the text region");
      return;
    }
    walked_.push_back(*at);
    ++report_.entries;
    if (index < static_cast<std::size_t>(loop.maximum())) loop.Step();
    try {
      reader_->ReadHeading(*at);
    } catch (const tavex::Error& e) {
      AddError("a heading does not read", kRebuild, *at, {}, e.what());
    }
    // Every text is read to its end to find the next entry (libeb would otherwise look
    // for it without a bound); with a sample, only every n-th is checked.
    const bool full = (!options_.sample || report_.texts_read < *options_.sample) && index % stride == 0;
    std::optional<BookPosition> next;
    try {
      if (!ScanEntry(*at, index, &next, full)) return;
    } catch (const tavex::Error& e) {
      AddError("an entry's text does not read to its end", kRebuild, *at, *at, e.what());
      try {
        next = reader_->NextEntry(*at);
      } catch (const tavex::Error& e) {
        AddError("the text walk stops: the next entry cannot be found", kRebuild, *at, *at, e.what());
        return;
      }
    }
    if (next && !(*at < *next)) {
      AddError("the text walk stops: the next entry does not lie further on", kRebuild, *next, *at,
               fmt::format("libeb steps from {}:{} back to {}:{}", at->page, at->offset, next->page,
                           next->offset));
      return;
    }
    if (++index > max_entries) {
      AddError("the text walk stops: more entries than the text can hold", kRebuild, *at, {}, "");
      return;
    }
    at = next;
  }
  walk_complete_ = true;
}

void SubbookCheck::ReadKeyTargets() {
  // Entries a key points at that the walk did not meet (a book may hold texts that are
  // found only by search). A key that points inside a text the walk read is not read
  // again: twenty thousand keys into one long text would read it twenty thousand times.
  // Some writers point a key a little past the place where the walk meets the entry;
  // many keys into one text are worth a warning.
  if (options_.sample) return;
  constexpr std::size_t kKeysInsideOneText = 16;
  std::int64_t read_until = -1;
  std::size_t span = SIZE_MAX, inside = 0;  // the walked entry holding the last target, and its targets
  for (std::int64_t target : targets_) {
    const BookPosition p{static_cast<int>(target / 2048 + 1), static_cast<int>(target % 2048)};
    if (EntryAt(target) || !InText(p) || target < read_until) continue;
    if (!walked_.empty() && target > Key64(walked_.front()) &&
        (walk_complete_ || target < Key64(walked_.back()))) {
      const auto holder = static_cast<std::size_t>(
          std::upper_bound(walked_.begin(), walked_.end(), target,
                           [](std::int64_t value, const BookPosition& w) { return value < Key64(w); }) -
          walked_.begin() - 1);
      inside = holder == span ? inside + 1 : 1;
      span = holder;
      if (inside == kKeysInsideOneText + 1) {
        AddWarning("many search keys point inside one entry's text", kRebuild, walked_[holder],
                   walked_[holder],
                   fmt::format("more than {} keys between {}:{} and the next entry", kKeysInsideOneText,
                               walked_[holder].page, walked_[holder].offset));
      }
      continue;  // read with its entry's text
    }
    std::optional<BookPosition> next;
    try {
      read_until = ScanEntry(p, SIZE_MAX, &next) && next ? Key64(*next) : INT64_MAX;
    } catch (const tavex::Error& e) {
      AddError("an entry's text does not read to its end", kRebuild, p, p, e.what());
    }
  }
}

std::optional<std::size_t> SubbookCheck::EntryAt(std::int64_t at) const {
  auto it = std::upper_bound(walked_.begin(), walked_.end(), at,
                             [](std::int64_t value, const BookPosition& p) { return value < Key64(p); });
  if (it == walked_.begin()) return std::nullopt;
  --it;
  if (at - Key64(*it) >= 16) return std::nullopt;
  return static_cast<std::size_t>(it - walked_.begin());
}

bool SubbookCheck::ScanEntry(BookPosition at, std::size_t index, std::optional<BookPosition>* next,
                             bool check) {
  const TextScan scan = reader_->ScanText(at, kMaxTextBytes, next);
  Spend(scan.bytes);
  if (check) {
    ++report_.texts_read;
    CheckScan(scan, at);
    if (scan.body == 0 && !scan.cut) {
      AddWarning("an entry has no text but its heading",
                 "most often its record did not parse on the disc, and `tavex2epwing check` says so; "
                 "otherwise the rule of the tag that holds the entry's text leaves it out: tune it in the "
                 "window's tag editor, or convert without xsl_data.xml so that the rules are suggested",
                 at, at, "");
    }
    if (source_ && index < source_->size()) CompareSounds(scan, (*source_)[index].sounds, at);
  }
  if (scan.cut) {
    AddError("an entry's text does not end", kRebuild, at, at,
             fmt::format("longer than {} MiB", kMaxTextBytes >> 20));
  }
  return !scan.cut;
}

void SubbookCheck::CheckScan(const TextScan& scan, BookPosition entry) {
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

void SubbookCheck::NoteGaiji(std::uint16_t code, bool narrow, BookPosition entry) {
  auto& first_use = narrow ? narrow_used_ : wide_used_;
  first_use.try_emplace(code, entry);
}

void SubbookCheck::CheckSideTexts() {
  auto side = [&](const char* what, BookPosition at) {
    if (!InTextLike(at)) {
      AddError("the copyright or menu page lies outside the text file", kRebuild, at, {}, what);
      return;
    }
    try {
      const TextScan scan = reader_->ScanText(at, kMaxTextBytes);
      Spend(scan.bytes);
      CheckScan(scan, {});
    } catch (const tavex::Error& e) {
      AddError("the copyright or menu page does not read", kRebuild, at, {},
               fmt::format("{}: {}", what, e.what()));
    }
  };
  try {
    if (reader_->HasCopyright()) side("copyright", reader_->Copyright());
    if (reader_->HasMenu()) side("menu", reader_->Menu());
  } catch (const tavex::Error& e) {
    AddError("the copyright or menu page does not open", kRebuild, {}, {}, e.what());
  }
}

void SubbookCheck::FillHeadwords() {
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

}  // namespace tavex::verify
