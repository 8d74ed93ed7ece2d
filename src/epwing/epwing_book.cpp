// The book build: the book HTML is read twice (first only for the entry ids, so that a
// link can tell a missing target while it is written), the text is streamed into
// HONMON, and the copyright page, the recordings and the search indexes follow it.
// Positions that are known only at the end (link targets, recordings) are patched in.
#include "epwing/epwing_book.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <unordered_map>

#include "epwing/appendix.h"
#include "epwing/body_markup.h"
#include "source/book_folder.h"
#include "source/book_source.h"
#include "source/recordings.h"
#include "epwing/catalog.h"
#include "epwing/gaiji_font.h"
#include "epwing/honmon_file.h"
#include "epwing/jis.h"
#include "epwing/search_index.h"
#include "epwing/sound_store.h"
#include "epwing/text_encoder.h"
#include "source/warning_tally.h"
#include "text/error.h"
#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/manifest.h"
#include "fs/safe_file.h"
#include "source/source_bounds.h"

namespace tavex::epwing {
namespace {

// The subbook's title, ＴＡＶＥＸ in JIS X 0208.
const std::string kTitleJis = "\x23\x54\x23\x41\x23\x56\x23\x45\x23\x58";
constexpr std::uint64_t kUnplaced = ~0ull;

// Entry ids to entry numbers, and where each entry's text starts once written.
class EntryTable : public LinkResolver {
 public:
  EntryTable(const std::vector<std::string>& ids, SoundStore& sounds) : sounds_(sounds) {
    numbers_.reserve(ids.size());
    for (const std::string& id : ids) numbers_.try_emplace(id, static_cast<std::uint32_t>(numbers_.size()));
    at_.assign(numbers_.size(), kUnplaced);
  }
  std::optional<std::uint32_t> Entry(std::string_view id) override {
    auto it = numbers_.find(std::string(id));
    if (it == numbers_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<SoundLink> Sound(std::string_view href) override { return sounds_.Resolve(href); }
  // Records where entry `id` starts (the first entry of an id wins).
  void Place(const std::string& id, std::uint64_t at) {
    auto it = numbers_.find(id);
    if (it != numbers_.end() && at_[it->second] == kUnplaced) at_[it->second] = at;
  }
  std::uint64_t At(std::uint32_t number) const { return at_[number]; }

 private:
  SoundStore& sounds_;
  std::unordered_map<std::string, std::uint32_t> numbers_;
  std::vector<std::uint64_t> at_;
};

// A patch with its absolute file offset.
struct FilePatch {
  std::uint64_t at;
  std::uint32_t target;
  bool sound;
};

// The files of base_folder the book is made of. Each is opened once before anything is
// written, so that a missing, linked, special or oversized one stops the build naming it.
constexpr const char* kSourceFiles[] = {"html_EPW", "copyright.html", "GaijiMap.xml", "Gaiji.xml",
                                        "TAVEX.map"};

// Past the closing tags at `at` in `body`; npos when one is not closed.
std::size_t PastClosingTags(std::string_view body, std::size_t at) {
  while (body.substr(at, 2) == "</") {
    const std::size_t close = body.find('>', at);
    if (close == std::string_view::npos) return std::string_view::npos;
    at = close + 1;
  }
  return at;
}

// The length of the markup at the start of `body` that shows `title` in bold (tags
// aside), with the closing tags right after it, when the body's first line begins with
// the title as a word of its own (a blank, a line break, a superscript or the end
// follows); 0 otherwise, and when a link starts before the title ends. Only the bold
// headword is a heading: a line that merely begins with the word is text.
std::size_t HeadwordInBody(std::string_view title, std::string_view body) {
  if (title.empty()) return 0;
  std::size_t matched = 0, i = 0;
  bool bold = false;
  while (i < body.size() && matched < title.size()) {
    if (body[i] == '\n') return 0;
    if (body[i] == '<') {
      const std::size_t close = body.find('>', i);
      const std::string_view tag = body.substr(i, close == std::string_view::npos ? 0 : close + 1 - i);
      if (tag.empty() || tag.size() < 3 || tag[1] == 'a' || tag[1] == 'A' || tag == "<br>" || tag == "<BR>" ||
          tag.starts_with("<p")) {
        return 0;
      }
      if (tag == "<b>" || tag == "<B>") bold = true;
      i = close + 1;
      continue;
    }
    if (!bold || body[i] != title[matched]) return 0;
    ++i;
    ++matched;
  }
  if (matched < title.size()) return 0;
  i = PastClosingTags(body, i);
  if (i == std::string_view::npos) return 0;
  const std::string_view rest = body.substr(i);
  if (rest.empty() || rest.starts_with(' ') || rest.starts_with("&nbsp;") || rest.starts_with("<br>") ||
      rest.starts_with("<BR>") || rest.starts_with('\n') || rest.starts_with("<sup>")) {
    return i;
  }
  return 0;
}

// Where the homograph number after the headword stands: blanks at `at`, then at most
// three digits as a superscript ("&nbsp;<sup>2</sup>"), so that entries sharing a
// headword get distinct headings (set¹, set²). The number's markup as {begin, end} in
// `body`; {0, 0} when there is none.
std::pair<std::size_t, std::size_t> HomographNumber(std::string_view body, std::size_t at) {
  while (body.substr(at, 1) == " " || body.substr(at, 6) == "&nbsp;") at += body[at] == ' ' ? 1 : 6;
  if (body.substr(at, 5) != "<sup>") return {0, 0};
  std::size_t end = at + 5;
  while (end < body.size() && body[end] >= '0' && body[end] <= '9') ++end;
  if (end == at + 5 || end - at - 5 > 3 || body.substr(end, 6) != "</sup>") return {0, 0};
  end = PastClosingTags(body, end + 6);
  return end == std::string_view::npos ? std::pair<std::size_t, std::size_t>{0, 0} : std::pair{at, end};
}

// `text` without the blanks and the one line break at its start.
std::string_view WithoutLeadingBreak(std::string_view text) {
  for (;;) {
    if (text.starts_with(' ')) {
      text.remove_prefix(1);
    } else if (text.starts_with("&nbsp;")) {
      text.remove_prefix(6);
    } else {
      break;
    }
  }
  if (text.starts_with("<br>") || text.starts_with("<BR>")) text.remove_prefix(4);
  if (text.starts_with('\n')) text.remove_prefix(1);
  return text;
}


// Writes the whole book into `folder`.
EpwingSummary WriteBook(const std::string& base, const std::string& folder, Progress& progress) {
  const std::string html_path = JoinPath(base, "html_EPW");
  const std::string copyright_path = JoinPath(base, "copyright.html");
  for (const char* name : kSourceFiles)
    OpenInsideOrThrow(base, name, source_bounds::Of(name), "book source file");
  const source::GaijiSet gaiji = source::GaijiSet::Load(base);
  source::WarningTally warnings;
  const std::vector<std::string> ids = source::ReadEntryIds(html_path, warnings);
  if (ids.empty()) throw Error(fmt::format("book source file {} holds no entries", html_path));

  const std::string subbook = JoinPath(folder, kSubbookFolder);
  CreateFolders(JoinPath(subbook, "DATA"));
  CreateFolders(JoinPath(subbook, "GAIJI"));

  SoundStore sounds(base, JoinPath(folder, "sounds.tmp"), warnings);
  EntryTable entries(ids, sounds);
  BodyMarkup markup(gaiji, entries, warnings);
  TextEncoder encoder;
  SearchIndex word_index;
  EpwingSummary summary;

  HonmonFile honmon(JoinPath(JoinPath(subbook, "DATA"), "HONMON"));
  honmon.Append(std::string(kPageSize, '\0'));  // the index page, written last
  const std::uint32_t text_page = honmon.PadToPage();
  honmon.Append(TextEncoder::kBeginRegion);

  std::vector<FilePatch> patches;
  std::vector<PositionPatch> entry_patches;
  std::string text;
  ProgressLoop loop(progress, static_cast<int>(ids.size()), "EPWING書き出し中");
  source::ReadBookSource(html_path, [&](const source::SourceEntry& entry) {
    const std::uint64_t at = honmon.position();
    text.clear();
    entry_patches.clear();
    encoder.Begin(&text, &entry_patches);
    // When the body's first line begins with the headword, that headword is the heading
    // and the rest of the line follows on the next line: readers that show the heading
    // as the article's title and then the text show the headword twice, not three times.
    const std::size_t headword = HeadwordInBody(entry.title, entry.body);
    encoder.BeginKeyword();
    if (headword > 0) {
      const std::string_view body = entry.body;
      markup.Write(body.substr(0, headword), encoder);
      std::size_t rest = headword;
      if (const auto [begin, end] = HomographNumber(body, headword); end > 0) {
        markup.Write(body.substr(begin, end - begin), encoder);
        rest = end;
      }
      encoder.EndKeyword();
      markup.Write(WithoutLeadingBreak(body.substr(rest)), encoder);
    } else {
      markup.Write(entry.title, encoder);
      markup.Finish(encoder);
      encoder.EndKeyword();
      markup.Write(entry.body, encoder);
    }
    markup.Finish(encoder);
    encoder.End();
    honmon.Append(text);
    entries.Place(entry.id, at);
    for (const PositionPatch& patch : entry_patches)
      patches.push_back({at + patch.offset, patch.target, patch.sound});

    std::string title_key = NormalizedKey(entry.title, warnings);
    std::vector<std::string> keys;
    if (!title_key.empty()) keys.push_back(std::move(title_key));
    // A key given twice is stored once by the index's Finish, which sorts anyway.
    for (const std::string& source : entry.keys) {
      std::string key = NormalizedKey(source, warnings);
      if (!key.empty()) keys.push_back(std::move(key));
    }
    for (const std::string& key : keys) word_index.Add(key, at);
    ++summary.entries;
    loop.Step();
  });
  honmon.Append(TextEncoder::kEndRegion);
  const std::uint32_t text_end = honmon.PadToPage();

  // The copyright page: the owner block of copyright.html.
  const std::uint32_t copyright_page = text_end;
  {
    text.clear();
    entry_patches.clear();
    encoder.Begin(&text, &entry_patches);
    markup.Write(source::ReadCopyrightBody(copyright_path), encoder);
    markup.Finish(encoder);
    encoder.End();
    honmon.Append(TextEncoder::kBeginRegion);
    const std::uint64_t at = honmon.position();
    honmon.Append(text);
    honmon.Append(TextEncoder::kEndRegion);
    for (const PositionPatch& patch : entry_patches)
      patches.push_back({at + patch.offset, patch.target, patch.sound});
  }
  const std::uint32_t copyright_end = honmon.PadToPage();

  const std::uint64_t sounds_at = sounds.CopyInto(honmon);
  summary.sounds = sounds.count();

  std::vector<IndexRegion> regions = {
      {kTextRegion, text_page, text_end - text_page, false},
      {kCopyrightRegion, copyright_page, copyright_end - copyright_page, false}};
  summary.keys = word_index.Finish();
  if (!word_index.empty()) {
    auto [start, count] = word_index.Write(honmon);
    regions.push_back({kWordIndex, start, count, true});
    word_index.Reverse();  // the same keys, read from their end: the backward index
    summary.backward_keys = word_index.Finish();
    auto [end_start, end_count] = word_index.Write(honmon);
    regions.push_back({kEndwordIndex, end_start, end_count, true});
  }
  honmon.PadToPage();
  honmon.Overwrite(0, IndexPageBytes(regions));

  std::sort(patches.begin(), patches.end(),
            [](const FilePatch& a, const FilePatch& b) { return a.at < b.at; });
  char bytes[12];
  SortedPatcher patcher(honmon);
  for (const FilePatch& patch : patches) {
    if (patch.sound) {
      const auto [first, last] = sounds.Extent(patch.target);
      const PagePosition start = ToPagePosition(sounds_at + first);
      const PagePosition end = ToPagePosition(sounds_at + last);
      PutBcd(bytes, start.page, 4);
      PutBcd(bytes + 4, start.offset, 2);
      PutBcd(bytes + 6, end.page, 4);
      PutBcd(bytes + 10, end.offset, 2);
      patcher.Patch(patch.at, std::string_view(bytes, 12));
    } else {
      const PagePosition target = ToPagePosition(entries.At(patch.target));
      PutBcd(bytes, target.page, 4);
      PutBcd(bytes + 4, target.offset, 2);
      patcher.Patch(patch.at, std::string_view(bytes, 6));
    }
  }
  patcher.Finish();
  honmon.Close();
  RemoveFile(JoinPath(folder, "sounds.tmp"));

  WriteFontFile(JoinPath(JoinPath(subbook, "GAIJI"), kNarrowFontName), gaiji.narrow(), true);
  WriteFontFile(JoinPath(JoinPath(subbook, "GAIJI"), kWideFontName), gaiji.wide(), false);
  summary.narrow_gaiji = gaiji.narrow().glyphs.size();
  summary.wide_gaiji = gaiji.wide().glyphs.size();
  WriteFileInPlace(JoinPath(folder, "CATALOGS"), CatalogBytes(kTitleJis));
  WriteFileInPlace(JoinPath(folder, "afonts_0"), AfontsText(gaiji));
  WriteAppendix(JoinPath(folder, kAppendixFolder), CatalogBytes(kTitleJis), gaiji);
  WriteFileInPlace(
      JoinPath(folder, "TAVEX.map"),
      OpenInsideOrThrow(base, "TAVEX.map", source_bounds::kTextMap, "book source file").ReadAll());
  // Without any recording folder the pronunciations were simply not converted: the book
  // has no sound links, and the front end says how to add them instead of a warning.
  if (sounds.count() == 0 && !FolderExists(JoinPath(base, "us_pron")) && !FolderExists(JoinPath(base, "uk_pron"))) {
    summary.unlinked_sounds = warnings.Take(source::kMissingRecordingWarning);
  }
  warnings.Report(progress);
  return summary;
}

}  // namespace

EpwingSummary BuildEpwingBook(const EpwingOptions& options, Progress& progress) {
  if (!FolderExists(options.base_folder)) {
    throw Error(fmt::format("missing book source folder {}", options.base_folder));
  }
  EpwingSummary summary;
  source::WriteBookFolder(
      options.out_folder, {options.base_folder},
      [&](const std::string& staging) { summary = WriteBook(options.base_folder, staging, progress); });
  return summary;
}

}  // namespace tavex::epwing
