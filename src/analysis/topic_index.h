// The topic index: entry id -> record index. Entries point at one another by the `id`
// of their root `entry` element, while the book addresses entries by record index;
// the table `topic` holds one row per entry record so cross-references can become
// links inside the book.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/progress.h"
#include "store/database.h"

namespace tavex::analysis {

// Drops `topic` when present, creates it anew and appends one row per `fs_skn` record
// in ascending record index: `index` = the record index, `topic` = its entry id (empty
// when the XML does not parse, the root is not `entry`, or it has no id). Progress
// "[entry_id(=ref_topic) 抽出中] n/N". Runs inside the caller's transaction.
void BuildTopicIndex(store::Connection& db, Progress& progress);
// The same on the database file, in a transaction of its own, so an interrupted
// build leaves the previous index (or none) rather than a partial one.
void BuildTopicIndex(const std::string& db_path, Progress& progress);

// The `id` attribute of the entry's root element when that element is `entry`;
// empty text otherwise, and when no root start tag can be read (a fault after that tag
// does not matter: the id is all the index takes from an entry).
std::string EntryIdOf(std::string_view xml_text);

// The whole topic index in memory, for the book writer, which looks up one id per
// cross-reference. Ids compare ignoring ASCII letter case ("Run" finds "run"), as the
// database's text equality does; where several rows hold the same id, the first row of
// the table wins.
class TopicLookup {
 public:
  // Reads the `topic` table once. Throws Error when it cannot be read.
  explicit TopicLookup(store::Connection& db);
  explicit TopicLookup(const std::string& db_path);

  // The record index of the entry with `id`, or -1 when there is none.
  std::int64_t Lookup(std::string_view id) const;
  std::size_t size() const { return index_of_.size(); }

 private:
  void Load(store::Connection& db);
  std::unordered_map<std::string, std::int64_t> index_of_;  // keyed by the ASCII-lower-cased id
};

// One lookup over a connection of its own: the record index of the first `topic` row
// whose id equals `id` ignoring ASCII letter case, or -1.
std::int64_t LookupTopic(const std::string& db_path, std::string_view id);

}  // namespace tavex::analysis
