// The forward ("word") and backward ("endword") search indexes. Readers normalise a
// query before they look it up (JIS X 0208, spaces removed, lower-case letters made
// upper case, the marks ・ ‐ ’ − removed, katakana made hiragana; for the backward
// search the characters in reverse order), so the keys are stored in that same form and
// the index's style flags say so: そふと and ソフト find the same entries. The index is a B-tree of pages:
// leaf pages hold the keys in byte order with the entry's text and heading positions, the pages above hold
// the last key of each page below.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "source/gaiji_map.h"
#include "epwing/honmon_file.h"
#include "source/warning_tally.h"

namespace tavex::epwing {

// The longest key a reader's query can match, in bytes (127 characters).
constexpr std::size_t kMaxKeyBytes = 254;
// An upper index page keeps a zero after its longest key, in a one-byte width.
static_assert(kMaxKeyBytes + 1 <= 255);

// The normalised JIS X 0208 form of a key written as book markup (code page 932 with
// entities and numeric references). Characters without a JIS X 0208 form are replaced
// by their base letters ("é" by "e") or left out; keys over kMaxKeyBytes are cut.
std::string NormalizedKey(std::string_view sjis, source::WarningTally& warnings);

// The key with its two-byte characters in reverse order, for the backward index.
std::string ReversedKey(std::string_view key);

// The style flags word of an index holding keys in NormalizedKey's form.
std::uint32_t IndexStyleFlags();

class SearchIndex {
 public:
  // Adds a key of the entry whose text starts at `text_at` (its heading follows the
  // heading keyword control, 4 bytes on).
  void Add(std::string_view key, std::uint64_t text_at);
  // Sorts and removes repeated keys of one entry; returns the count of distinct keys.
  std::size_t Finish();
  // Turns the index into its backward twin: every key's characters in reverse order, as
  // ReversedKey gives them. Finish sorts it again. The backward index is made from the
  // written forward one in place, so a large book never holds both.
  void Reverse();
  bool empty() const { return keys_.empty(); }

  // Writes the index pages at the file's position (page aligned) and returns the first
  // (root) page and the page count.
  std::pair<std::uint32_t, std::uint32_t> Write(HonmonFile& file) const;

 private:
  // A key's bytes live in bytes_; sorting moves only this small record, and most
  // comparisons end at `head` without touching the bytes.
  struct Key {
    std::uint64_t head;  // the key's first eight bytes, big-endian
    std::uint64_t text_at;
    std::uint32_t offset;  // where the key starts in bytes_
    std::uint32_t size;
  };
  // Keys are stored in blocks of this size; no key spans two (a key has at most
  // kMaxKeyBytes), so a key's offset says its block and its place in it.
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
  static std::uint64_t Head(std::string_view key);
  std::string_view Bytes(const Key& key) const {
    return std::string_view(chunks_[key.offset / kChunkBytes]).substr(key.offset % kChunkBytes, key.size);
  }

  std::vector<std::string> chunks_;  // every key's bytes, one after the other
  std::deque<Key> keys_;
};

}  // namespace tavex::epwing
