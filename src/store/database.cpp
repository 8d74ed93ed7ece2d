// Operations on the working database file as a whole: creating it, and the helpers that
// run one statement over a connection of their own.
#include "store/database.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>

#include "fs/files.h"
#include "store/sqlite_open.h"
#include "text/error.h"

namespace tavex::store {

void CreateDatabase(const std::string& path) {
  // SQLite writes the file and its journal itself: both are listed in the folder's
  // manifest first, and a link at the name is not followed.
  try {
    ClaimName(path);
    ClaimName(path + "-journal");
  } catch (const Error&) {
    return;
  }
  sqlite3* raw_db = nullptr;
  int rc = OpenSqlite(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &raw_db);
  DbHandle db(raw_db);
  if (rc != SQLITE_OK) return;  // opening it for use names the fault
  // Writing the header makes the new file a database of its own rather than an empty
  // file, marked as this program's.
  sqlite3_exec(db.get(), fmt::format("PRAGMA application_id = {};", kApplicationId).c_str(), nullptr, nullptr,
               nullptr);
}

void EnsureDatabase(const std::string& path) {
  if (!FileExists(path)) CreateDatabase(path);
}

void ExecSql(const std::string& db_path, std::string_view sql) {
  Connection db(db_path);
  db.Exec(sql);
}

bool TableExists(const std::string& db_path, std::string_view name) {
  Connection db(db_path);
  return db.TableExists(name);
}

void DropTable(const std::string& db_path, std::string_view name) {
  ExecSql(db_path, fmt::format("Drop Table [{}];", name));
}

std::string BundleTableName(std::string_view bundle) {
  std::string name(bundle);
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

}  // namespace tavex::store
