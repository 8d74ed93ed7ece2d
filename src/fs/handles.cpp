// Folder handles and the checks made on them before anything is touched: a written path
// is split into the deepest registered anchor and the parts below it; the anchor is
// opened by its path, each part below with O_DIRECTORY | O_NOFOLLOW, so a link planted
// anywhere below the anchor stops the walk. What is at a name is looked at with
// AT_SYMLINK_NOFOLLOW, and a file opened for writing is checked on its descriptor.
#include "fs/handles.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "fs/files.h"
#include "text/error.h"

namespace tavex {
namespace {

std::mutex& AnchorMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<std::string>& Anchors() {
  static std::vector<std::string> anchors;
  return anchors;
}

// `path` as an absolute, lexically normal path without a trailing "/".
std::string Normal(const std::string& path) {
  std::string text = std::filesystem::absolute(path.empty() ? "." : path).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

// The deepest anchor that holds `normal`, or empty.
std::string AnchorOf(const std::string& normal) {
  std::lock_guard<std::mutex> guard(AnchorMutex());
  std::string best;
  for (const std::string& anchor : Anchors()) {
    if (IsAtOrBelow(normal, anchor) && anchor.size() > best.size()) best = anchor;
  }
  return best;
}

// Why the file `st` may not be replaced, or empty.
std::string NotReplaceable(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return "it is a symbolic link, which is never written through";
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  if (st.st_nlink > 1) return fmt::format("it is a hard link ({} names share its content)", st.st_nlink);
  return {};
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  throw Error(fmt::format("cannot write {}: {}; move it away and run again", path, why));
}

}  // namespace

std::string NotReplaceableWhy(const struct stat& st) { return NotReplaceable(st); }

void RefuseWrite(const std::string& path, const std::string& why) { Refuse(path, why); }

void Handle::Reset() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void ThrowFolderError(const std::string& wanted, const std::string& walked, int err, int parent_fd,
                      const std::string& name) {
  struct stat st {};
  if (!name.empty() && fstatat(parent_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) {
      Refuse(wanted, fmt::format("{} is a symbolic link, which is never followed", walked));
    }
    if (!S_ISDIR(st.st_mode)) Refuse(wanted, fmt::format("{} is not a folder", walked));
  }
  if (wanted == walked) throw Error(fmt::format("cannot write {}: {}", wanted, SystemMessage(err)));
  throw Error(fmt::format("cannot write {}: {}: {}", wanted, walked, SystemMessage(err)));
}

void CheckReplaceable(int dir_fd, const std::string& path, const std::string& name) {
  struct stat st {};
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return;
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  }
  if (const std::string why = NotReplaceable(st); !why.empty()) Refuse(path, why);
}

void CheckRenameTarget(int dir_fd, const std::string& path, const std::string& name) {
  struct stat st {};
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return;
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  }
  if (S_ISDIR(st.st_mode)) return;  // rename replaces only an empty folder, else fails naming it
  if (const std::string why = NotReplaceable(st); !why.empty()) Refuse(path, why);
}

bool IsFolderAt(int dir_fd, const std::string& name) {
  struct stat st {};
  return fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

WriteAnchor::WriteAnchor(const std::string& folder) : folder_(Normal(folder)) {
  std::lock_guard<std::mutex> guard(AnchorMutex());
  Anchors().push_back(folder_);
}

WriteAnchor::~WriteAnchor() {
  std::lock_guard<std::mutex> guard(AnchorMutex());
  auto& anchors = Anchors();
  auto found = std::find(anchors.begin(), anchors.end(), folder_);
  if (found != anchors.end()) anchors.erase(found);
}

std::string NormalPath(const std::string& path) { return Normal(path); }

std::string AnchorHolding(const std::string& normal) { return AnchorOf(normal); }

Handle OpenFolderHandle(const std::string& folder_path, const std::string& wanted, const MakeMissing& make) {
  const std::string& folder = wanted.empty() ? folder_path : wanted;
  const std::string normal = Normal(folder_path);
  const std::string anchor = AnchorOf(normal);
  if (anchor.empty()) {
    // No anchor: the folder's path is the user's choice (an export file's folder, say), and
    // only the written file itself is guarded; the caller made its missing parts.
    Handle dir(open(normal.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) ThrowFolderError(folder, normal, errno, AT_FDCWD);
    return dir;
  }
  Handle dir(open(anchor.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) ThrowFolderError(folder, anchor, errno, AT_FDCWD);
  std::string walked = anchor;
  std::string_view rest = std::string_view(normal).substr(anchor.size());
  while (!rest.empty()) {
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    const std::size_t slash = rest.find('/');
    const std::string part(rest.substr(0, slash));
    rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash);
    if (part.empty()) break;
    const std::string parent_path = walked;
    walked = JoinPath(walked, part);
    int next = openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && make) {
      make(dir.get(), parent_path, part);
      next = openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) ThrowFolderError(folder, walked, errno, dir.get(), part);
    dir = Handle(next);
  }
  return dir;
}

ParentHandle OpenParentHandle(const std::string& path) {
  const std::string normal = Normal(path);
  const std::size_t slash = normal.find_last_of('/');
  ParentHandle parent;
  parent.folder = slash == 0 ? "/" : normal.substr(0, slash);
  parent.name = normal.substr(slash + 1);
  parent.dir = OpenFolderHandle(parent.folder, path);
  return parent;
}

bool ForEachEntry(int dir_fd, const std::function<void(std::string_view name, unsigned char type)>& each) {
  const int list_fd = dup(dir_fd);
  if (list_fd < 0) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(list_fd), closedir);
  if (!dir) {
    const int err = errno;
    close(list_fd);
    errno = err;
    return false;
  }
  // The duplicate shares its position with `dir_fd`: start from the top whatever an
  // earlier listing left.
  rewinddir(dir.get());
  errno = 0;
  while (dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") each(name, entry->d_type);
    errno = 0;
  }
  return errno == 0;
}

unsigned EntryMode(int dir_fd, std::string_view name, unsigned char type) {
  switch (type) {
    case DT_REG: return S_IFREG;
    case DT_DIR: return S_IFDIR;
    case DT_LNK: return S_IFLNK;
    case DT_FIFO: return S_IFIFO;
    case DT_SOCK: return S_IFSOCK;
    case DT_CHR: return S_IFCHR;
    case DT_BLK: return S_IFBLK;
    default: break;
  }
  struct stat st {};
  const std::string text(name);
  if (fstatat(dir_fd, text.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  return st.st_mode & S_IFMT;
}

}  // namespace tavex
