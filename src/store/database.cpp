// Operations on the working database file: creating it, checking that it is this
// program's, and the one-statement helpers that open a connection of their own.
#include "store/database.h"

#include <fmt/format.h>
#include <sqlite3.h>
#include <sys/stat.h>

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

void ClaimDatabase(const std::string& path) {
  // SQLite writes through the name it is given: a second name of the same file (a hard
  // link) or a link would let it write into a file that is not the database.
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_nlink != 1)) {
    throw Error(
        fmt::format("{} is not a working database of this program (it is {}); its content is left alone: "
                    "choose another database file",
                    path,
                    S_ISLNK(st.st_mode)    ? "a symbolic link"
                    : !S_ISREG(st.st_mode) ? "not a regular file"
                                           : "a hard link"));
  }
  Connection db(path);
  Statement mark = db.Prepare("PRAGMA application_id");
  const std::int64_t id = mark.Step() ? mark.Int(0) : 0;
  if (id == kApplicationId) return;
  auto refuse = [&](const std::string& why) {
    throw Error(
        fmt::format("{} is not a working database of this program ({}); its tables are left alone: "
                    "choose another database file",
                    path, why));
  };
  if (id != 0) refuse(fmt::format("it carries the application id {}", id));
  static constexpr std::string_view kOurTables[] = {"fs_skn", "topic",       "char",       "xsl",
                                                    "alt",    "us_pron_skn", "uk_pron_skn"};
  Statement tables = db.Prepare("select type, name from sqlite_master where substr(name, 1, 7) <> 'sqlite_'");
  while (tables.Step()) {
    const std::string name = tables.Text(1);
    const bool ours = tables.Text(0) == "table" &&
                      std::find(std::begin(kOurTables), std::end(kOurTables), name) != std::end(kOurTables);
    if (!ours) refuse(fmt::format("it holds {} {}", tables.Text(0), name));
  }
  db.Exec(fmt::format("PRAGMA application_id = {};", kApplicationId));
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
