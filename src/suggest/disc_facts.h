// What the disc says about itself besides its entries, as the rule suggestion needs it:
// the entry ids of the topic table (so that an attribute holding them is a
// cross-reference) and the names of the recordings of each pronunciation table (so that
// an attribute naming one is a sound, and which folder its WAV file goes to).
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

namespace tavex::suggest {

// The facts, with every name in the form NameKey gives it.
struct DiscFacts {
  std::unordered_set<std::string> topic_ids;      // non-empty entry ids, ASCII lower case
  std::unordered_set<std::string> uk_recordings;  // recording file names of uk_pron
  std::unordered_set<std::string> us_recordings;  // recording file names of us_pron
};

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
