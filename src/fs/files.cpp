// File-system helpers over POSIX calls, so that every failure names its path and
// carries the system's own message.
#include "fs/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "text/error.h"
#include "text/text.h"

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

}  // namespace

bool IsAtOrBelow(const std::string& inner, const std::string& outer) {
  if (outer == "/") return true;
  return inner == outer || (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
                            inner[outer.size()] == '/');
}

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

std::string ReadFileBounded(const std::string& path, std::uint64_t max_bytes, std::string_view what) {
  Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) Fail("cannot read", path, errno);
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) Fail("cannot read", path, errno);
  if (!S_ISREG(st.st_mode)) throw Error(fmt::format("{} {} is not a regular file", what, path));
  if (static_cast<std::uint64_t>(st.st_size) > max_bytes) {
    throw Error(fmt::format("{} {} has {} bytes, more than the {} it may have", what, path, st.st_size,
                            SizeText(max_bytes)));
  }
  std::string data(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t got = read(fd.get(), data.data() + done, data.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail("cannot read", path, errno);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  data.resize(done);
  return data;
}

std::string SizeText(std::uint64_t bytes) {
  if (bytes >= (1ull << 30) && bytes % (1ull << 30) == 0) return fmt::format("{} GiB", bytes >> 30);
  if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0) return fmt::format("{} MiB", bytes >> 20);
  if (bytes >= (1ull << 10) && bytes % (1ull << 10) == 0) return fmt::format("{} KiB", bytes >> 10);
  return fmt::format("{} bytes", bytes);
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

}  // namespace tavex
