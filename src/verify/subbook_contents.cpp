// The subbook check's look at what the text holds (sounds, gaiji) and its comparison
// with the book source.
#include <fmt/format.h>

#include <algorithm>

#include "epwing/appendix.h"
#include "epwing/search_index.h"
#include "fs/files.h"
#include "source/gaiji_map.h"
#include "text/error.h"
#include "verify/subbook_check.h"

namespace tavex::verify {

void SubbookCheck::CheckSound(BookPosition start, BookPosition end, BookPosition entry) {
  auto [seen, fresh] = sound_hashes_.try_emplace(Key64(start), std::nullopt);
  if (!fresh) return;
  ++report_.sounds;
  const std::int64_t file_bytes = static_cast<std::int64_t>(file_pages_) * 2048;
  const std::string where =
      fmt::format("sound {}:{} to {}:{}", start.page, start.offset, end.page, end.offset);
  // A sound may not lie in the text or an index; where the book declares a sound area,
  // it lies there.
  const bool in_regions = std::any_of(regions_.begin(), regions_.end(), [&](const BookRegion& r) {
    return !IsSoundRegion(r.id) && (r.Holds(start) || r.Holds(end));
  });
  const bool has_area =
      std::any_of(regions_.begin(), regions_.end(), [](const BookRegion& r) { return IsSoundRegion(r.id); });
  const bool in_area = std::any_of(regions_.begin(), regions_.end(), [&](const BookRegion& r) {
    return IsSoundRegion(r.id) && r.Holds(start) && r.Holds(end);
  });
  if (start.page < 1 || end.page < 1 || start.offset < 0 || start.offset >= 2048 || end.offset < 0 ||
      end.offset >= 2048 || end.Byte() < start.Byte() || end.Byte() >= file_bytes || in_regions ||
      (has_area && !in_area)) {
    AddError("a sound lies outside the sound area", kRebuild, start, entry, where);
    return;
  }
  const std::int64_t size = end.Byte() - start.Byte() + 1;
  if (size > kMaxSoundBytes) {
    AddError("a sound is larger than any recording", kRebuild, start, entry, where);
    return;
  }
  // Sounds lie one beside the other; a sound that starts inside another is no recording
  // (and reading each of many such sounds would read the same bytes again and again).
  auto after = sound_extents_.lower_bound(start.Byte());
  if ((after != sound_extents_.end() && after->first <= end.Byte()) ||
      (after != sound_extents_.begin() && std::prev(after)->second >= start.Byte())) {
    AddError("two sounds overlap, so at least one of them is not a recording", kRebuild, start, entry, where);
    return;
  }
  sound_extents_.emplace_hint(after, start.Byte(), end.Byte());
  // A recording is read whole (once) and kept as a hash for the comparison with its
  // WAV file; a larger sound only as far as its header.
  const bool whole = size <= kMaxHashedSoundBytes;
  const std::string head = SoundBytes(start, static_cast<std::size_t>(whole ? size : 4096));
  if (whole) seen->second = std::make_pair(static_cast<std::int64_t>(head.size()), KeyHash(head));
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
  if (!fault.empty())
    AddError("a sound is not whole WAVE data", kRebuild, start, entry, where + ": " + fault);
}

std::string SubbookCheck::SoundBytes(BookPosition start, std::size_t size) {
  const std::int64_t at = Key64(start);
  Spend(size);
  if (size > kSoundWindowBytes) return reader_->RawBytes(start, size);
  if (window_at_ < 0 || at < window_at_ ||
      at + static_cast<std::int64_t>(size) > window_at_ + static_cast<std::int64_t>(window_.size())) {
    window_ = reader_->RawBytes(start, kSoundWindowBytes);
    window_at_ = at;
  }
  return window_.substr(static_cast<std::size_t>(at - window_at_), size);
}

void SubbookCheck::CompareSounds(const TextScan& scan, const std::vector<std::string>& links,
                                 BookPosition entry) {
  // The links whose file the writer stores: WAVE data, read once each.
  std::vector<std::pair<const std::string*, std::pair<std::int64_t, std::uint64_t>>> wanted;
  for (const std::string& name : links) {
    auto [it, fresh] = file_hashes_.try_emplace(KeyHash(name), std::nullopt);
    if (fresh) {
      const std::string bytes = StoredSoundBytes(options_.base_folder, name);
      if (!bytes.empty())
        it->second = std::make_pair(static_cast<std::int64_t>(bytes.size()), KeyHash(bytes));
    }
    if (it->second) {
      wanted.emplace_back(&name, *it->second);
    } else if (recordings_converted_) {
      // The writer kept the link as plain text: the reader hears nothing there. (Without
      // any recording folder the pronunciations were not converted at all, the writer
      // links none, and create says how to add them.)
      AddError("the source links a sound the book lacks", kMissingRecording, entry, entry,
               name + ": base_folder has no WAV file of that name");
    }
  }
  const auto& sounds = scan.links.sounds;
  if (sounds.size() != wanted.size()) {
    AddError("an entry's sounds differ from its source", kRebuild, entry, entry,
             fmt::format("the book links {} sounds, html_EPW {}", sounds.size(), wanted.size()));
    return;
  }
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const BookPosition start = sounds[i].first;
    auto stored = sound_hashes_.find(Key64(start));
    if (stored == sound_hashes_.end() || !stored->second) continue;  // reported, or too large to compare
    if (*stored->second != wanted[i].second) {
      AddError("a sound differs from its WAV file", kRebuild, start, entry, *wanted[i].first);
    }
  }
}

void SubbookCheck::CheckGaiji() {
  report_.gaiji += narrow_used_.size() + wide_used_.size();
  // The appendix beside the text says what each gaiji stands for, for eblook and the
  // other readers that show no bitmaps.
  bool with_appendix = false;
  const std::string appendix = ResolveCaseInsensitive(book_.path, epwing::kAppendixFolder);
  if ((!narrow_used_.empty() || !wide_used_.empty()) && FolderExists(appendix)) {
    try {
      reader_->BindAppendix(appendix, subbook_);
      with_appendix = true;
    } catch (const tavex::Error& e) {
      AddError("the book's appendix does not open, so eblook shows gaiji as codes", kRebuild, {}, {},
               e.what());
    }
  }
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
      if (with_appendix && !reader_->AltText(code, narrow)) {
        AddError("a gaiji in the text has no character in the book's appendix, so eblook shows its code",
                 kRebuild, entry, entry, fmt::format("{} gaiji {:04X}", narrow ? "narrow" : "wide", code));
      }
    }
  }
}

void SubbookCheck::CompareSource() {
  const std::vector<SourceEntryKeys>& source = *source_;
  if (source.size() != walked_.size()) {
    AddError("the book holds another number of entries than its source", kRebuild, {}, {},
             fmt::format("{} entries in the book, {} in html_EPW", walked_.size(), source.size()));
  }
  // Each index key turned, in its place, into its entry's number and the key's hash,
  // sorted for lookup: a second list of half a million keys would double the memory.
  auto by_entry = [&](std::vector<std::pair<std::uint64_t, std::uint64_t>>& keys) {
    std::size_t kept = 0;
    for (const auto& [hash, at] : keys) {
      if (const auto entry = EntryAt(static_cast<std::int64_t>(at))) keys[kept++] = {*entry, hash};
    }
    keys.resize(kept);
    std::sort(keys.begin(), keys.end());
    return std::move(keys);
  };
  const auto word_keys = by_entry(word_keys_);
  const auto endword_keys = by_entry(endword_keys_);
  auto holds = [](const std::vector<std::pair<std::uint64_t, std::uint64_t>>& list, std::size_t entry,
                  std::string_view key) {
    return std::binary_search(list.begin(), list.end(),
                              std::make_pair(static_cast<std::uint64_t>(entry), KeyHash(key)));
  };
  const std::size_t count = std::min(source.size(), walked_.size());
  for (std::size_t i = 0; i < count; ++i) {
    ForEachKey(source[i].keys, [&](std::string_view key) {
      const bool forward = holds(word_keys, i, key);
      const bool backward = holds(endword_keys, i, epwing::ReversedKey(std::string(key)));
      if (forward && backward) return;
      AddError("a title or key of html_EPW is not found at its entry", kRebuild, walked_[i], walked_[i],
               fmt::format("“{}” not in the {} index", EucToUtf8(KeyAsQuery(key)),
                           forward    ? "backward"
                           : backward ? "forward"
                                      : "forward and backward"));
    });
  }
  try {
    const source::GaijiSet gaiji = source::GaijiSet::Load(options_.base_folder);
    for (bool narrow : {true, false}) {
      for (const source::Glyph& glyph : narrow ? gaiji.narrow().glyphs : gaiji.wide().glyphs) {
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

}  // namespace tavex::verify
