// The pinned copy of the book's folders, made with the *at() calls from handles.
#include "verify/pinned_book.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tavex::verify {
namespace {

// BOOK/appendix/SUBBOOK/DATA/FUROKU is the deepest file libeb opens.
constexpr int kMaxDepth = 4;
constexpr std::size_t kMaxFiles = 512;

const char* KindOf(const struct stat& st) {
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  return "not a regular file";
}

class Pinning {
 public:
  Pinning(std::string root, std::vector<int>& handles, std::vector<std::string>& made,
          std::vector<std::string>& unsafe)
      : root_(std::move(root)), handles_(handles), made_(made), unsafe_(unsafe) {}

  // Repeats the folder `folder` (a handle) at `mirror` (a handle), `depth` below the book.
  void Folder(int folder, const std::string& path, int mirror, const std::string& relative, int depth) {
    DIR* listing = fdopendir(dup(folder));
    if (listing == nullptr) {
      unsafe_.push_back(fmt::format("{}: the folder does not read", path));
      return;
    }
    while (const dirent* entry = readdir(listing)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      // At the top libeb opens only the catalogue and the language file; the maps and
      // anything else a user keeps beside them are left alone.
      if (depth == 1 && entry->d_type == DT_REG && strncasecmp(name.c_str(), "catalog", 7) != 0 &&
          strncasecmp(name.c_str(), "language", 8) != 0) {
        continue;
      }
      Entry(folder, path + "/" + name, name, mirror, relative.empty() ? name : relative + "/" + name, depth);
      if (!unsafe_.empty()) break;
    }
    closedir(listing);
  }

 private:
  void Entry(int folder, const std::string& path, const std::string& name, int mirror,
             const std::string& relative, int depth) {
    // O_PATH follows a link without opening its target for reading, so a FIFO or a device
    // is looked at before anything waits on it.
    const int handle = openat(folder, name.c_str(), O_PATH | O_CLOEXEC);
    struct stat st {};
    if (handle < 0 || fstat(handle, &st) != 0) {
      if (handle >= 0) close(handle);
      unsafe_.push_back(fmt::format("{}: cannot be looked at", path));
      return;
    }
    // A link may lead anywhere inside the book, never out of it.
    std::error_code error;
    const std::string target =
        std::filesystem::read_symlink(fmt::format("/proc/self/fd/{}", handle), error).string();
    if (error || target.compare(0, root_.size() + 1, root_ + "/") != 0) {
      close(handle);
      unsafe_.push_back(fmt::format("{}: a link that leads out of the book", path));
      return;
    }
    if (S_ISDIR(st.st_mode)) {
      close(handle);
      if (depth >= kMaxDepth) return;  // libeb opens nothing this deep
      const int inner = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (inner < 0 || mkdirat(mirror, name.c_str(), 0700) != 0) {
        if (inner >= 0) close(inner);
        unsafe_.push_back(fmt::format("{}: cannot be repeated for libeb", path));
        return;
      }
      made_.push_back(relative);
      const int inner_mirror = openat(mirror, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (inner_mirror >= 0) {
        Folder(inner, path, inner_mirror, relative, depth + 1);
        close(inner_mirror);
      }
      close(inner);
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      close(handle);
      unsafe_.push_back(fmt::format("{}: {}", path, KindOf(st)));
      return;
    }
    if (handles_.size() >= kMaxFiles) {
      close(handle);
      unsafe_.push_back(fmt::format("{}: more than {} files where readers look", root_, kMaxFiles));
      return;
    }
    handles_.push_back(handle);
    if (symlinkat(fmt::format("/proc/self/fd/{}", handle).c_str(), mirror, name.c_str()) != 0) {
      unsafe_.push_back(fmt::format("{}: cannot be repeated for libeb", path));
      return;
    }
    made_.push_back(relative);
  }

  std::string root_;
  std::vector<int>& handles_;
  std::vector<std::string>& made_;
  std::vector<std::string>& unsafe_;
};

}  // namespace

PinnedBook::PinnedBook(const std::string& book, std::vector<std::string>& unsafe) {
  std::error_code error;
  const std::string root = std::filesystem::canonical(book, error).string();
  const int folder = error ? -1 : open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) {
    unsafe.push_back(fmt::format("{}: the folder does not open", book));
    return;
  }
  std::string temporary = (std::filesystem::temp_directory_path(error) / "tavex2epwing-book-XXXXXX").string();
  if (error) temporary = "/tmp/tavex2epwing-book-XXXXXX";
  if (mkdtemp(temporary.data()) == nullptr) {
    close(folder);
    unsafe.push_back(fmt::format("{}: cannot make a private folder for libeb", temporary));
    return;
  }
  path_ = temporary;
  const int mirror = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const std::size_t before = unsafe.size();
  std::vector<std::string> found;
  if (mirror >= 0) {
    Pinning(root, handles_, made_, found).Folder(folder, root, mirror, "", 1);
    close(mirror);
  } else {
    found.push_back(fmt::format("{}: does not open", path_));
  }
  close(folder);
  unsafe.insert(unsafe.end(), found.begin(), found.end());
  if (unsafe.size() != before) Remove();
}

PinnedBook::~PinnedBook() { Remove(); }

void PinnedBook::Remove() {
  if (!path_.empty()) {
    const int mirror = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (mirror >= 0) {
      // Children before their folders.
      for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
        if (unlinkat(mirror, it->c_str(), 0) != 0) unlinkat(mirror, it->c_str(), AT_REMOVEDIR);
      }
      close(mirror);
    }
    rmdir(path_.c_str());
    path_.clear();
  }
  made_.clear();
  for (int handle : handles_) close(handle);
  handles_.clear();
}

}  // namespace tavex::verify
