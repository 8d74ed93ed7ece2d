// The working database file, checked and opened through its held folder.
#include "store/database_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "fs/manifest.h"
#include "store/database.h"
#include "text/error.h"

namespace tavex::store {
namespace {

std::string FolderOf(const std::string& path) {
  const std::filesystem::path file(path);
  return file.has_parent_path() ? file.parent_path().string() : std::string(".");
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  throw Error(fmt::format("{} is not a working database of this program ({}); its content is left alone: move "
                          "it away or choose another database file",
                          path, why));
}

}  // namespace

DatabaseFile::DatabaseFile(const std::string& path)
    : path_(path),
      name_(std::filesystem::path(path).filename().string()),
      folder_(FolderOf(path)),
      open_path_(folder_.PathOf(name_)) {}

bool DatabaseFile::Exists() const {
  struct stat st {};
  if (fstatat(folder_.fd(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return false;
    throw Error(fmt::format("cannot open working database {}: {}", path_, SystemMessage(errno)));
  }
  if (S_ISREG(st.st_mode) && st.st_nlink == 1) return true;
  Refuse(path_, S_ISLNK(st.st_mode)    ? "it is a symbolic link"
                : !S_ISREG(st.st_mode) ? "it is not a regular file"
                                       : "it is a hard link, a second name of another file");
}

void DatabaseFile::Create() const {
  if (Exists()) return;
  CreateDatabase(open_path_);
}

void DatabaseFile::RequireOurs() const {
  if (!Exists()) throw Error(fmt::format("cannot open working database {}: no such file", path_));
  Connection db(open_path_);
  Statement mark = db.Prepare("PRAGMA application_id");
  const std::int64_t id = mark.Step() ? mark.Int(0) : 0;
  if (id == kApplicationId) return;
  if (id != 0) Refuse(path_, fmt::format("it carries the application id {}", id));
  Statement pages = db.Prepare("PRAGMA page_count");
  const bool empty = pages.Step() && pages.Int(0) == 0;
  const std::optional<Manifest> listing = ReadManifest(folder_.fd(), folder_.folder());
  if (empty && listing && listing->ListsFile(name_)) {
    db.Exec(fmt::format("PRAGMA application_id = {};", kApplicationId));
    return;
  }
  Refuse(path_, "it does not carry this program's application id; one made by a version from before the id is "
                "refused too, and a fresh conversion makes a new one");
}

}  // namespace tavex::store
