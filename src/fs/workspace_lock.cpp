// The workspace lock over flock(2). The holder writes its process id into the lock file
// so that the refused run can name it; the id is only a message, the flock decides.
#include "fs/workspace_lock.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "text/error.h"
#include "fs/files.h"

namespace tavex {
namespace {

// The locks this process holds, by workspace: the open lock file and how many hold it.
struct Held {
  int fd = -1;
  int count = 0;
};
std::mutex& HeldMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::string, Held>& HeldLocks() {
  static std::map<std::string, Held> locks;
  return locks;
}

constexpr std::string_view kLockText = "tavex2epwing lock, held by process ";

// The process id in the lock file's text, or 0 when there is none.
long PidIn(std::string_view text) {
  if (text.starts_with(kLockText)) text.remove_prefix(kLockText.size());
  long pid = 0;
  std::size_t digits = 0;
  while (digits < text.size() && digits < 10 && text[digits] >= '0' && text[digits] <= '9') {
    pid = pid * 10 + (text[digits++] - '0');
  }
  return digits > 0 && text.substr(digits) == "\n" ? pid : 0;
}

// Whether the file's text is a lock's: empty (a run killed before it wrote its id), this
// version's line, or an earlier version's bare process id. Anything else is somebody's
// file under the lock's name, which is never written.
bool IsLockText(int fd) {
  char buffer[96] = {};
  const ssize_t got = pread(fd, buffer, sizeof buffer, 0);
  if (got < 0 || got == static_cast<ssize_t>(sizeof buffer)) return false;
  return got == 0 || PidIn(std::string_view(buffer, static_cast<std::size_t>(got))) > 0;
}

// The process id the holder wrote, or "unknown". A holder writes it just after taking
// the lock, so an empty file is read again for a moment.
std::string HolderOf(int fd) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    char buffer[96] = {};
    const ssize_t got = pread(fd, buffer, sizeof buffer - 1, 0);
    if (got > 0) {
      const long pid = PidIn(std::string_view(buffer, static_cast<std::size_t>(got)));
      if (pid > 0) return std::to_string(pid);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return "unknown";
}

}  // namespace

namespace {

std::string Shown(const std::string& folder) {
  std::string shown = std::filesystem::absolute(folder.empty() ? "." : folder).lexically_normal().string();
  while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  return shown;
}

}  // namespace

WorkspaceLock::WorkspaceLock(const std::string& workspace)
    : WorkspaceLock(workspace, kWorkspaceLockName, "the workspace " + Shown(workspace)) {}

std::unique_ptr<WorkspaceLock> WorkspaceLock::ForOutputFolder(const std::string& folder) {
  const std::filesystem::path shown(Shown(folder));
  return std::unique_ptr<WorkspaceLock>(
      new WorkspaceLock(shown.parent_path().string(), "." + shown.filename().string() + ".tavex2epwing-lock",
                        "the output folder " + shown.string()));
}

WorkspaceLock::WorkspaceLock(const std::string& folder, const std::string& lock_name, const std::string& what)
    : anchor_(folder) {
  const std::string shown = Shown(folder);
  CreateFolders(shown);
  std::error_code error;
  key_ = std::filesystem::canonical(shown, error).string();
  if (error) key_ = shown;
  key_ = JoinPath(key_, lock_name);

  std::lock_guard<std::mutex> guard(HeldMutex());
  Held& held = HeldLocks()[key_];
  if (held.count > 0) {
    ++held.count;
    return;
  }
  const std::string& path = key_;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    HeldLocks().erase(key_);
    throw Error(fmt::format("cannot lock {}: {}: {}", what, path, SystemMessage(err)));
  }
  // The file's content is replaced below: it must be our own lock file, not a hard link
  // to a user's file or a special file.
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || !IsLockText(fd)) {
    close(fd);
    HeldLocks().erase(key_);
    throw Error(
        fmt::format("cannot lock {}: {} is not a regular file with one link holding a lock's "
                    "line, so it is not this program's lock file; move it away and run again",
                    what, path));
  }
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int err = errno;
    const std::string holder = err == EWOULDBLOCK ? HolderOf(fd) : std::string();
    close(fd);
    HeldLocks().erase(key_);
    if (err == EWOULDBLOCK) {
      throw Error(fmt::format("{} is in use by another run (process {})", what, holder));
    }
    throw Error(fmt::format("cannot lock {}: {}: {}", what, path, SystemMessage(err)));
  }
  const std::string pid = std::string(kLockText) + std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    // Only the message of a refused run suffers; the lock itself holds.
  }
  held.fd = fd;
  held.count = 1;
}

WorkspaceLock::~WorkspaceLock() {
  std::lock_guard<std::mutex> guard(HeldMutex());
  auto found = HeldLocks().find(key_);
  if (found == HeldLocks().end()) return;
  if (--found->second.count > 0) return;
  // The file stays with the last holder's id: removing it would let one run lock a new
  // file of the same name while another still holds the old one.
  close(found->second.fd);
  HeldLocks().erase(found);
}

}  // namespace tavex
