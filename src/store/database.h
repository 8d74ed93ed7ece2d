// The working database: one SQLite file, by default working_folder/TAVEX_data. This
// header gives its connections (connection.h), the bulk appender (appender.h) and the
// operations on the file as a whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/appender.h"    // the bulk appender, for the many writers of tables
#include "store/connection.h"  // connections, statements and transactions

namespace tavex::store {

// Creates an empty database file; every error is swallowed (the first operation that
// connects reports it).
void CreateDatabase(const std::string& path);
// Creates the database file when it does not exist; an existing file is left alone.
void EnsureDatabase(const std::string& path);

// The mark of a working database of this program (PRAGMA application_id, "TAVX"); a
// database is the program's only when it carries it (see database_file.h).
inline constexpr std::int64_t kApplicationId = 0x54415658;
// Runs one SQL text over a connection of its own.
void ExecSql(const std::string& db_path, std::string_view sql);
// True when the database has a table of that name (exact name).
bool TableExists(const std::string& db_path, std::string_view name);
// Drops the table; dropping a missing table is an error.
void DropTable(const std::string& db_path, std::string_view name);
// "fs.skn" -> "fs_skn".
std::string BundleTableName(std::string_view bundle);

}  // namespace tavex::store
