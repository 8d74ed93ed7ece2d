// What the disc says about itself besides its entries, as the rule suggestion needs it:
// the entry ids of the topic table (so that an attribute holding them is a
// cross-reference) and the names of the recordings of each pronunciation table (so that
// an attribute naming one is a sound, and which folder its WAV file goes to).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavex::suggest {

// A set of names kept as 64-bit hashes, sorted: a disc's hundreds of thousands of ids and
// recording names in 8 bytes each, where strings in a hash set took 60 or more. Two
// names that share a hash (about one chance in 10^10 for a whole disc) would only sway a
// count of the suggestion's survey.
class NameSet {
 public:
  NameSet() = default;
  NameSet(std::initializer_list<std::string_view> names);
  void insert(std::string_view name);
  // Sorts the names inserted so far, so that `contains` searches them by halves.
  void Seal();
  bool contains(std::string_view name) const;
  bool empty() const { return hashes_.empty(); }

 private:
  static std::uint64_t Hash(std::string_view name);
  std::vector<std::uint64_t> hashes_;
  bool sorted_ = true;
};

// The facts, with every name in the form NameKey gives it.
struct DiscFacts {
  NameSet topic_ids;      // non-empty entry ids, ASCII lower case
  NameSet uk_recordings;  // recording file names of uk_pron
  NameSet us_recordings;  // recording file names of us_pron
};

// The two pronunciation bundles, by the folder their recordings go to.
enum class Bundle { kUk, kUs };
inline const char* BundleFolderName(Bundle bundle) { return bundle == Bundle::kUk ? "uk_pron" : "us_pron"; }

// The bundle a value names: "uk_pron" or "us_pron", in ASCII lower case, with or without
// ".skn".
std::optional<Bundle> BundleNamed(std::string_view lower_value);
// The bundle a path lies in: the last folder part of "snd/us_pron/a.mp3" (lower case).
std::optional<Bundle> BundleFolder(std::string_view lower_value);

// How a name is compared: its last part after any "/" or "\", in ASCII lower case
// ("sound/Cafe_1.MP3" gives "cafe_1.mp3").
std::string NameKey(std::string_view name);

// Where the facts are read: the working database (its `topic` table, and the
// pronunciation tables when they were extracted) and, for pronunciation tables not yet
// extracted, the disc's bundles.
struct FactSources {
  std::string database_file;
  std::string source_data_folder;  // holds the bundle folders; empty: read no bundle
  std::string unzip_folder;
};

// Reads the facts. A missing table or bundle gives no names of it (a disc without
// recordings has none); a database fault throws Error.
DiscFacts ReadDiscFacts(const FactSources& sources);

}  // namespace tavex::suggest
