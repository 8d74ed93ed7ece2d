// What the book check compares a book with when its source (base_folder) stands beside
// it: each entry's search keys in the form the writer stores them, and the recordings
// each entry links to, in link order. The writer's own key normalisation and link
// reading are used, so the comparison cannot drift from what the writer does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavex::verify {

// One entry of the source, as the book should hold it.
struct SourceEntryKeys {
  // The title's and the key lines' forward keys, distinct, each followed by a NUL (a key
  // is JIS X 0208 bytes, never 0): one string per entry, as a book of half a million
  // keys would otherwise hold each key in a string of its own.
  std::string keys;
  std::vector<std::string> sounds;  // "us_pron/x.wav" for each sound link to a recording folder
};

// What to do about a sound the source links whose WAV file base_folder lacks (the writer
// keeps such a link as plain text).
inline constexpr char kMissingRecording[] =
    "`tavex2epwing check` tells whether the disc's bundle lacks the recording or the rule sends it to the "
    "wrong folder; re-run `tavex2epwing audio` or tune the rule, then build the book again";

// Calls `visit` with each key of `packed` (SourceEntryKeys::keys).
template <typename Visit>
void ForEachKey(const std::string& packed, Visit visit) {
  for (std::size_t at = 0; at < packed.size();) {
    const std::size_t end = packed.find('\0', at);
    visit(std::string_view(packed).substr(at, end - at));
    at = end + 1;
  }
}

// Reads base_folder/html_EPW entry by entry. Throws tavex::Error naming the file when it
// is missing or does not read.
std::vector<SourceEntryKeys> ReadSourceEntries(const std::string& base_folder);

// The bytes the book stores for a recording of base_folder (its WAVE data from the
// "fmt " chunk on); empty when the file is missing or not WAVE data.
std::string StoredSoundBytes(const std::string& base_folder, const std::string& name);

}  // namespace tavex::verify
