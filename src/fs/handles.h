// Folder handles, the anchors below which no link is followed, and the checks made on
// handles before anything is touched: the lowest part of the write layer, used by the
// manifests, the stand-ins and the writes above it.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace tavex {

// Registers `folder` while alive: below it, every part of a written path is opened
// without following links. The folder itself may be reached through links (the user
// chose it). Anchors nest; the deepest one that holds a path is used.
class WriteAnchor {
 public:
  explicit WriteAnchor(const std::string& folder);
  ~WriteAnchor();
  WriteAnchor(const WriteAnchor&) = delete;
  WriteAnchor& operator=(const WriteAnchor&) = delete;

 private:
  std::string folder_;  // absolute, normalised
};

// `path` as an absolute, lexically normal path without a trailing "/".
std::string NormalPath(const std::string& path);
// The deepest anchor that holds the normal path `normal`, or empty.
std::string AnchorHolding(const std::string& normal);

// A descriptor closed at scope end unless released.
class Handle {
 public:
  Handle() = default;
  explicit Handle(int fd) : fd_(fd) {}
  ~Handle() { Reset(); }
  Handle(Handle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  void Reset();
  int fd_ = -1;
};

// A path's folder, opened as a handle, and the path's last part.
struct ParentHandle {
  Handle dir;
  std::string folder;  // absolute
  std::string name;
};

// Makes the missing folder `name` inside `dir_fd` (the folder `parent`), for a walk that
// creates what it does not find.
using MakeMissing = std::function<void(int dir_fd, const std::string& parent, const std::string& name)>;

// Opens `folder` through the anchors (see WriteAnchor); `make`, when given, makes missing
// parts below the anchor. Errors name `wanted` (the file written) when given, else the
// folder.
Handle OpenFolderHandle(const std::string& folder, const std::string& wanted = {}, const MakeMissing& make = {});
// Opens the folder of `path`, which must exist.
ParentHandle OpenParentHandle(const std::string& path);

// Throws the Error for a folder part `walked` of `wanted` that could not be opened with
// errno `err`; `name` inside `parent_fd` is looked at to tell a link from other faults.
[[noreturn]] void ThrowFolderError(const std::string& wanted, const std::string& walked, int err,
                                   int parent_fd, const std::string& name = {});

// Throws unless `name` inside `dir_fd` is missing or a regular file with one link.
void CheckReplaceable(int dir_fd, const std::string& path, const std::string& name);
// Throws unless `name` inside `dir_fd` is missing, a regular file with one link or an
// empty folder.
void CheckRenameTarget(int dir_fd, const std::string& path, const std::string& name);
// True when `name` inside `dir_fd` is a folder (not a link).
bool IsFolderAt(int dir_fd, const std::string& name);

// Why the file `st` may not be replaced (a link, a folder, a special file, a hard link),
// or empty.
std::string NotReplaceableWhy(const struct stat& st);
// Throws "cannot write PATH: WHY; move it away and run again".
[[noreturn]] void RefuseWrite(const std::string& path, const std::string& why);

// Calls `each` with every entry of the folder open as `dir_fd` but "." and "..", with
// its type as the listing gives it (DT_REG, DT_DIR, DT_LNK, ... or DT_UNKNOWN on file
// systems that do not say): a walk over tens of thousands of files then needs no stat
// for each. Returns false, with errno set, when the folder cannot be listed.
bool ForEachEntry(int dir_fd, const std::function<void(std::string_view name, unsigned char type)>& each);
// The entry's type as st_mode's file type bits, looked up with fstatat only when the
// listing did not say; 0 when it is gone meanwhile.
unsigned EntryMode(int dir_fd, std::string_view name, unsigned char type);

}  // namespace tavex
