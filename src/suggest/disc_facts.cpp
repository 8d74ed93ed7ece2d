// Reading the topic ids and recording names the rule suggestion works from.
#include "suggest/disc_facts.h"

#include <algorithm>

#include "bundle/text_field.h"
#include "text/error.h"
#include "fs/files.h"
#include "text/text.h"
#include "store/database.h"

namespace tavex::suggest {
namespace {

// The recording names of one pronunciation table: from the database when extracted,
// else from the bundle's index on the disc.
void ReadRecordings(store::Connection& db, const FactSources& sources, const char* table, const char* bundle,
                    NameSet& names) {
  if (db.TableExists(table)) {
    store::Statement rows = db.Prepare(std::string("select NAME from [") + table + "]");
    while (rows.Step()) {
      if (!rows.IsNull(0)) names.insert(NameKey(rows.Text(0)));
    }
    return;
  }
  if (sources.source_data_folder.empty()) return;
  try {
    for (const std::string& name :
         bundle::ReadTextField({sources.source_data_folder, sources.unzip_folder}, bundle, "NAME")) {
      names.insert(NameKey(name));
    }
  } catch (const Error&) {
    // A disc without this bundle, or one that does not read: no recordings to link.
    // Its extraction, when asked for, reports the fault.
  }
}

}  // namespace

NameSet::NameSet(std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) insert(name);
  Seal();
}

std::uint64_t NameSet::Hash(std::string_view name) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
  for (unsigned char c : name) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

void NameSet::insert(std::string_view name) {
  hashes_.push_back(Hash(name));
  sorted_ = false;
}

void NameSet::Seal() {
  if (sorted_) return;
  std::sort(hashes_.begin(), hashes_.end());
  hashes_.erase(std::unique(hashes_.begin(), hashes_.end()), hashes_.end());
  hashes_.shrink_to_fit();
  sorted_ = true;
}

bool NameSet::contains(std::string_view name) const {
  const std::uint64_t hash = Hash(name);
  // A set not sealed is still right, only searched from end to end.
  return sorted_ ? std::binary_search(hashes_.begin(), hashes_.end(), hash)
                 : std::find(hashes_.begin(), hashes_.end(), hash) != hashes_.end();
}

std::optional<Bundle> BundleNamed(std::string_view lower_value) {
  if (lower_value.ends_with(".skn")) lower_value.remove_suffix(4);
  if (lower_value == "uk_pron") return Bundle::kUk;
  if (lower_value == "us_pron") return Bundle::kUs;
  return std::nullopt;
}

std::optional<Bundle> BundleFolder(std::string_view lower_value) {
  const std::size_t slash = lower_value.find_last_of("/\\");
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view folder = lower_value.substr(0, slash);
  const std::size_t before = folder.find_last_of("/\\");
  if (before != std::string_view::npos) folder.remove_prefix(before + 1);
  return BundleNamed(folder);
}

std::string NameKey(std::string_view name) {
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  return AsciiLower(name);
}

DiscFacts ReadDiscFacts(const FactSources& sources) {
  DiscFacts facts;
  if (!FileExists(sources.database_file)) return facts;
  store::Connection db(sources.database_file);
  if (db.TableExists("topic")) {
    store::Statement rows = db.Prepare("select [topic] from [topic]");
    while (rows.Step()) {
      std::string id = rows.Text(0);
      if (!id.empty()) facts.topic_ids.insert(AsciiLower(id));
    }
  }
  ReadRecordings(db, sources, "uk_pron_skn", "uk_pron.skn", facts.uk_recordings);
  ReadRecordings(db, sources, "us_pron_skn", "us_pron.skn", facts.us_recordings);
  facts.topic_ids.Seal();
  facts.uk_recordings.Seal();
  facts.us_recordings.Seal();
  return facts;
}

}  // namespace tavex::suggest
