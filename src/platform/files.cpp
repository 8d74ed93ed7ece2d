// File-system helpers over POSIX calls, so that every failure names its path and
// carries the system's own message.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"

namespace tavex {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Closes a descriptor at scope end unless released.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and returns the errno of a failed close (0 on success).
  int Close() {
    int result = close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

[[noreturn]] void Fail(const std::string& action, const std::string& path, int err) {
  throw Error(action + " " + path + ": " + SystemMessage(err));
}

std::string ParentOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string JoinPath(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string out(a);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  std::size_t start = 0;
  while (start < b.size() && b[start] == '/') ++start;
  if (out != "/") out += '/';
  out.append(b.substr(start));
  return out;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint64_t FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) Fail("cannot read", path, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

std::string ReadFile(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) Fail("cannot read", path, errno);
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) Fail("cannot read", path, errno);
  if (S_ISDIR(st.st_mode)) Fail("cannot read", path, EISDIR);
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  while (true) {
    ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read", path, errno);
    }
    if (got == 0) break;
    data.append(buffer, static_cast<std::size_t>(got));
  }
  return data;
}

namespace {

// Writes `data` whole to `target`, removing it again on failure; errors name `path`.
void WriteWhole(const std::string& target, const std::string& path, std::string_view data) {
  Fd fd(open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) Fail("cannot write", path, errno);
  auto fail_and_clean = [&](int err) {
    unlink(target.c_str());
    Fail("cannot write", path, err);
  };
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t put = write(fd.get(), data.data() + done, data.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      fail_and_clean(errno);
    }
    done += static_cast<std::size_t>(put);
  }
  if (int err = fd.Close(); err != 0) fail_and_clean(err);
}

}  // namespace

void WriteFileAtomic(const std::string& path, std::string_view data) {
  // The temporary name sits in the same folder so that the rename stays on one file system.
  // It is always the same name: a temporary that a killed run left behind is overwritten
  // and renamed away by the next write of the file, rather than lying there for good.
  const std::string temp = path + ".tmp";
  WriteWhole(temp, path, data);
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    Fail("cannot write", path, err);
  }
}

void WriteFileInPlace(const std::string& path, std::string_view data) { WriteWhole(path, path, data); }

void CreateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) {
    int err = errno;
    if (err == EEXIST && FolderExists(path)) return;
    Fail("cannot create folder", path, err);
  }
}

void CreateFolders(const std::string& path) {
  if (path.empty() || FolderExists(path)) return;
  std::string parent = ParentOf(path);
  if (parent != path && parent != "." && parent != "/") CreateFolders(parent);
  CreateFolder(path);
}

std::string ResolveCaseInsensitive(const std::string& folder, std::string_view name) {
  std::string exact = JoinPath(folder, name);
  struct stat st {};
  if (lstat(exact.c_str(), &st) == 0) return exact;
  DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return exact;
  while (dirent* entry = readdir(dir.get())) {
    if (EqualsIgnoreAsciiCase(entry->d_name, name)) return JoinPath(folder, entry->d_name);
  }
  return exact;
}

void DeleteFolderTree(const std::string& folder) {
  if (folder.empty()) return;
  struct stat self {};
  if (lstat(folder.c_str(), &self) == 0 && S_ISLNK(self.st_mode)) {
    // A link given as the folder goes, not the folder it points to.
    if (unlink(folder.c_str()) != 0) Fail("cannot delete", folder, errno);
    return;
  }
  std::vector<std::string> folders;
  std::vector<std::string> files;
  {
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) Fail("cannot delete folder", folder, errno);
    errno = 0;
    while (dirent* entry = readdir(dir.get())) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string full = JoinPath(folder, name);
      // lstat: a link to a folder is deleted as a link, never followed.
      struct stat st {};
      if (lstat(full.c_str(), &st) != 0) Fail("cannot delete", full, errno);
      (S_ISDIR(st.st_mode) ? folders : files).push_back(std::move(full));
      errno = 0;
    }
    if (errno != 0) Fail("cannot delete folder", folder, errno);
  }
  for (const std::string& sub : folders) DeleteFolderTree(sub);
  for (const std::string& file : files) {
    if (unlink(file.c_str()) != 0) Fail("cannot delete", file, errno);
  }
  if (rmdir(folder.c_str()) != 0) Fail("cannot delete folder", folder, errno);
}

void RenamePath(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) {
    throw Error("cannot rename " + from + " to " + to + ": " + SystemMessage(errno));
  }
}

}  // namespace tavex
