// The fixed working tables and their creation statements. Each creation operation
// creates its table only when it is missing and tells whether it did.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "store/database.h"

namespace tavex::store {

// The creation statements, with "%s" standing for the table name.
extern const char* const kXslTableSql;
extern const char* const kCharTableSql;
extern const char* const kAltTableSql;
extern const char* const kTopicTableSql;
extern const char* const kBundleTableSql;  // "%s" twice: table name, column list

// Fills "%s" of a creation statement with `name` (and `columns` for a bundle table).
std::string FormatTableSql(const char* sql, std::string_view name, std::string_view columns = {});

// On an open connection (inside the caller's transaction): create when missing.
bool CreateXslTable(Connection& db);
bool CreateCharTable(Connection& db);
bool CreateAltTable(Connection& db);
bool CreateTopicTable(Connection& db);

// On the database file: nothing happens when the file does not exist (except for the
// topic table, whose lookup then fails with the database's error).
bool CreateXslTable(const std::string& db_path);
bool CreateCharTable(const std::string& db_path);
bool CreateAltTable(const std::string& db_path);
bool CreateTopicTable(const std::string& db_path);

// One character that needs a gaiji reference (`char_ref` "1"), with the alternative
// text of an `alt` row whose `uni` is its `ws_hex` (letter case aside).
struct GaijiCandidateRow {
  std::string ws;
  std::string ws_code;  // text, as the table stores it
  std::string ws_hex;
  std::string alt;  // empty when none, or when the database has no `alt` table
};

// Calls `row` for each such character in ascending numeric `ws_code`. A character joined
// to several `alt` rows comes once per row, the lowest `alt` index first; callers keep
// the first.
void ForEachGaijiCandidate(Connection& db, const std::function<void(const GaijiCandidateRow&)>& row);

}  // namespace tavex::store
