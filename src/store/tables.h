// The fixed working tables and their creation statements. Each creation operation
// creates its table only when it is missing and tells whether it did.
#pragma once

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

}  // namespace tavex::store
