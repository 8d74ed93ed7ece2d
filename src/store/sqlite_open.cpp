// Opening a database file with SQLite.
#include "store/sqlite_open.h"

#include <filesystem>
#include <system_error>

namespace tavex::store {
namespace {

// The name SQLite opens for `path`: its folder with the links in it resolved (the user's
// workspace may lie below a linked folder, and SQLite's no-follow flag refuses a link in
// any part of the name) and the file's own name, which is never followed.
std::string WithoutLinksAbove(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file(path);
  const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : ".";
  const std::filesystem::path real = std::filesystem::canonical(parent, error);
  return error ? path : (real / file.filename()).string();
}

}  // namespace

int OpenSqlite(const std::string& path, int flags, sqlite3** db) {
  return sqlite3_open_v2(WithoutLinksAbove(path).c_str(), db, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
}

}  // namespace tavex::store
