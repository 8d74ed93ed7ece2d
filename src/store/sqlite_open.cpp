// Opening a database file with SQLite. A file inside a held folder (fs/held_folder.h) is
// opened through the folder's handle: SQLite's unix layer would turn every link in the
// name into the path it points to and open that, resolving the folder again by name, so
// such a file goes through a layer of our own that differs from the unix one only in
// taking the name as it is. And no file SQLite opens, the database or its journal, is
// opened through a link at its own name.
#include "store/sqlite_open.h"

#include <fcntl.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

namespace tavex::store {
namespace {

constexpr std::string_view kHeldPrefix = "/proc/self/fd/";
constexpr const char* kHeldVfs = "tavex-held";

sqlite3_vfs* g_unix = nullptr;
sqlite3_vfs g_held;
sqlite3_syscall_ptr g_unix_open = nullptr;

bool IsHeld(std::string_view path) { return path.starts_with(kHeldPrefix); }

// The held folder itself (/proc/self/fd/N), which SQLite opens to flush it after making
// the journal: that link is the handle and is followed.
bool IsHeldFolder(std::string_view path) {
  if (!IsHeld(path)) return false;
  path.remove_prefix(kHeldPrefix.size());
  return !path.empty() && path.find_first_not_of("0123456789") == std::string_view::npos;
}

int OpenWithoutFollowing(const char* path, int flags, int mode) {
  if (!IsHeldFolder(path)) flags |= O_NOFOLLOW;
  return reinterpret_cast<int (*)(const char*, int, int)>(g_unix_open)(path, flags, mode);
}

int HeldFullPathname(sqlite3_vfs*, const char* path, int size, char* out) {
  if (!IsHeld(path)) return g_unix->xFullPathname(g_unix, path, size, out);
  const std::size_t length = std::strlen(path);
  if (length + 1 > static_cast<std::size_t>(size)) return SQLITE_CANTOPEN;
  std::memcpy(out, path, length + 1);
  return SQLITE_OK;
}

void RegisterHeldVfs() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_unix = sqlite3_vfs_find("unix");
    if (g_unix == nullptr) return;
    g_unix_open = g_unix->xGetSystemCall(g_unix, "open");
    g_unix->xSetSystemCall(g_unix, "open", reinterpret_cast<sqlite3_syscall_ptr>(OpenWithoutFollowing));
    g_held = *g_unix;
    g_held.zName = kHeldVfs;
    g_held.pNext = nullptr;
    g_held.xFullPathname = HeldFullPathname;
    sqlite3_vfs_register(&g_held, 0);
  });
}

// The name SQLite opens for a path outside a held folder: its folder with the links in it
// resolved (the user's file may lie below a linked folder, and SQLite's no-follow flag
// refuses a link in any part of the name) and the file's own name, which is never followed.
std::string WithoutLinksAbove(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file(path);
  const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : ".";
  const std::filesystem::path real = std::filesystem::canonical(parent, error);
  return error ? path : (real / file.filename()).string();
}

}  // namespace

int OpenSqlite(const std::string& path, int flags, sqlite3** db) {
  RegisterHeldVfs();
  flags |= SQLITE_OPEN_NOFOLLOW;
  if (IsHeld(path)) return sqlite3_open_v2(path.c_str(), db, flags, kHeldVfs);
  return sqlite3_open_v2(WithoutLinksAbove(path).c_str(), db, flags, nullptr);
}

}  // namespace tavex::store
