// Private to store/: how SQLite is given a database file to open, and the owner of a
// raw connection handle.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

namespace tavex::store {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

// Opens `path` with `flags` (SQLITE_OPEN_*), never following a link at the file's own
// name. Returns SQLite's result code; `*db` is set even on failure, for its message.
int OpenSqlite(const std::string& path, int flags, sqlite3** db);

}  // namespace tavex::store
