// Opening a path part by part with openat and O_NOFOLLOW, so that no symbolic link below
// the folder is followed, and fstat on the descriptor that is then read, so that what is
// checked is what is read.
#include "fs/safe_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

#include "text/error.h"
#include "fs/files.h"

namespace tavex {
namespace {

// Closes a descriptor at scope end unless released.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The parts of a relative path; empty parts and "." are dropped. False when a part is
// "..", which would leave the folder.
bool SplitRelative(std::string_view relative, std::vector<std::string>& parts) {
  while (!relative.empty()) {
    const std::size_t slash = relative.find('/');
    const std::string_view part = relative.substr(0, slash);
    relative.remove_prefix(slash == std::string_view::npos ? relative.size() : slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") return false;
    parts.emplace_back(part);
  }
  return !parts.empty();
}

OpenStatus StatusOfOpenError(int err) {
  if (err == ENOENT) return OpenStatus::kMissing;
  // O_NOFOLLOW on a link gives ELOOP; O_DIRECTORY on a file gives ENOTDIR.
  if (err == ELOOP) return OpenStatus::kSymbolicLink;
  if (err == ENOTDIR || err == ENXIO) return OpenStatus::kNotRegular;
  return OpenStatus::kUnreadable;
}

// Opens the folders of `parts` (all but the last) from `folder`; -1 with `status` set
// when one is missing, a link or not a folder.
int OpenParentFolder(const std::string& folder, const std::vector<std::string>& parts, OpenStatus& status,
                     std::string& reason) {
  Descriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    const int err = errno;
    status = err == ENOENT ? OpenStatus::kMissing : OpenStatus::kUnreadable;
    reason = SystemMessage(err);
    return -1;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const int next = openat(dir.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const int err = errno;
      status = StatusOfOpenError(err);
      // A link to a folder opened with O_DIRECTORY | O_NOFOLLOW also gives ENOTDIR.
      struct stat info {};
      if (fstatat(dir.get(), parts[i].c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
        status = OpenStatus::kSymbolicLink;
      }
      reason = SystemMessage(err);
      return -1;
    }
    dir.reset(next);
  }
  return dir.release();
}

}  // namespace

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) close(fd_);
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), size_(other.size_) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    size_ = other.size_;
  }
  return *this;
}

std::size_t ReadOnlyFile::Read(char* buffer, std::size_t capacity) {
  while (true) {
    const ssize_t got = read(fd_, buffer, capacity);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) continue;
    const int err = errno;
    throw Error(fmt::format("cannot read {}: {}", path_, SystemMessage(err)));
  }
}

std::string ReadOnlyFile::ReadAll() {
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size_));
  } catch (const std::bad_alloc&) {
    throw Error(fmt::format("cannot read {}: out of memory for its {} bytes", path_, size_));
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t got = Read(bytes.data() + done, bytes.size() - done);
    if (got == 0) break;  // the file shrank since it was opened: take what is there
    done += got;
  }
  bytes.resize(done);
  // A file that grew since it was opened keeps the size that was checked.
  return bytes;
}

OpenResult OpenInside(const std::string& folder, std::string_view relative, std::uint64_t max_bytes) {
  OpenResult result;
  std::vector<std::string> parts;
  if (!SplitRelative(relative, parts)) {
    result.status = OpenStatus::kUnreadable;
    result.reason = "the name leaves its folder";
    return result;
  }
  Descriptor dir(OpenParentFolder(folder, parts, result.status, result.reason));
  if (dir.get() < 0) return result;
  return OpenFileAt(dir.get(), parts.back(), JoinPath(folder, relative), max_bytes);
}

OpenResult OpenFileAt(int dir_fd, const std::string& name, std::string path, std::uint64_t max_bytes) {
  OpenResult result;
  // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
  Descriptor fd(openat(dir_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    const int err = errno;
    result.status = StatusOfOpenError(err);
    result.reason = SystemMessage(err);
    return result;
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) {
    const int err = errno;
    result.status = OpenStatus::kUnreadable;
    result.reason = SystemMessage(err);
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.status = OpenStatus::kNotRegular;
    return result;
  }
  result.size = static_cast<std::uint64_t>(info.st_size);
  if (result.size > max_bytes) {
    result.status = OpenStatus::kTooLarge;
    return result;
  }
  // O_NONBLOCK stays: reads of a regular file never block, and a reader of tens of
  // thousands of recordings is spared two calls for each.
  result.status = OpenStatus::kOpened;
  result.file = ReadOnlyFile(fd.release(), std::move(path), result.size);
  return result;
}

FolderInside::FolderInside(const std::string& folder, std::string_view relative)
    : path_(JoinPath(folder, relative)) {
  std::vector<std::string> parts;
  std::string reason;
  if (!SplitRelative(relative, parts)) {
    status_ = OpenStatus::kUnreadable;
    return;
  }
  // The folder itself is the last part: opened as a folder part, without following a link.
  parts.emplace_back(".");
  fd_ = OpenParentFolder(folder, parts, status_, reason);
  if (fd_ >= 0) status_ = OpenStatus::kOpened;
}

FolderInside::~FolderInside() {
  if (fd_ >= 0) close(fd_);
}

OpenResult FolderInside::Open(const std::string& name, std::uint64_t max_bytes) const {
  OpenResult result;
  if (fd_ < 0) {
    result.status = status_;  // the folder's own fault: missing, a link, not a folder
    return result;
  }
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    result.status = OpenStatus::kUnreadable;
    result.reason = "the name leaves its folder";
    return result;
  }
  return OpenFileAt(fd_, name, JoinPath(path_, name), max_bytes);
}

std::string OpenFailureMessage(const OpenResult& result, const std::string& path, std::uint64_t max_bytes,
                               std::string_view what) {
  switch (result.status) {
    case OpenStatus::kOpened:
      return {};
    case OpenStatus::kMissing:
      return fmt::format("missing {} {}", what, path);
    case OpenStatus::kSymbolicLink:
      return fmt::format("{} {} is a symbolic link (or lies in a linked folder), which is not followed", what,
                         path);
    case OpenStatus::kNotRegular:
      return fmt::format("{} {} is not a regular file", what, path);
    case OpenStatus::kTooLarge:
      return fmt::format("{} {} has {} bytes, more than the {} it may have", what, path, result.size,
                         SizeText(max_bytes));
    case OpenStatus::kUnreadable:
      break;
  }
  return fmt::format("cannot read {} {}: {}", what, path, result.reason);
}

ReadOnlyFile OpenInsideOrThrow(const std::string& folder, std::string_view relative, std::uint64_t max_bytes,
                               std::string_view what) {
  OpenResult result = OpenInside(folder, relative, max_bytes);
  if (result.status != OpenStatus::kOpened) {
    throw Error(OpenFailureMessage(result, JoinPath(folder, relative), max_bytes, what));
  }
  return std::move(result.file);
}

OpenStatus InspectFolderInside(const std::string& folder, std::string_view name) {
  struct stat info {};
  const std::string path = JoinPath(folder, name);
  if (lstat(path.c_str(), &info) != 0)
    return errno == ENOENT ? OpenStatus::kMissing : OpenStatus::kUnreadable;
  if (S_ISLNK(info.st_mode)) return OpenStatus::kSymbolicLink;
  return S_ISDIR(info.st_mode) ? OpenStatus::kOpened : OpenStatus::kNotRegular;
}

}  // namespace tavex
