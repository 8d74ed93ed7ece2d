// Private parts of the write layer (write_layer.cpp, manifest.cpp, folder_delete.cpp):
// folder handles and the checks made on them before anything is touched.
#pragma once

#include <string>
#include <utility>

namespace tavex {

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

// Opens `folder` through the anchors (see WriteAnchor); `create` makes missing parts.
// Errors name `wanted` (the file written) when given, else the folder.
Handle OpenFolderHandle(const std::string& folder, bool create, const std::string& wanted = {});
// Opens the folder of `path`, which must exist.
ParentHandle OpenParentHandle(const std::string& path);

// Throws the Error for a folder part `walked` of `wanted` that could not be opened with
// errno `err`; `name` inside `parent_fd` is looked at to tell a link from other faults.
[[noreturn]] void ThrowFolderError(const std::string& wanted, const std::string& walked, int err,
                                   int parent_fd, const std::string& name = {});

// Makes the folder `name` inside `dir_fd` (the folder `folder`) with an empty manifest,
// listed in the parent's manifest; an existing real folder is kept. Throws Error.
void MakeFolderAt(int dir_fd, const std::string& folder, const std::string& name);

// Throws unless `name` inside `dir_fd` is missing or a regular file with one link.
void CheckReplaceable(int dir_fd, const std::string& path, const std::string& name);
// Throws unless `name` inside `dir_fd` is missing, a regular file with one link or an
// empty folder.
void CheckRenameTarget(int dir_fd, const std::string& path, const std::string& name);
// Opens `name` inside `dir_fd` for writing at its own name: created (and listed in the
// folder's manifest) when missing, else truncated after CheckReplaceable's checks on the
// opened file. Throws Error naming `path`.
int OpenInPlace(int dir_fd, const std::string& folder, const std::string& name, const std::string& path);
// True when `name` inside `dir_fd` is a folder (not a link).
bool IsFolderAt(int dir_fd, const std::string& name);

}  // namespace tavex
