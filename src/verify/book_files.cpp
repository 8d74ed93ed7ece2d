// The look at a book folder, through lstat only.
#include "verify/book_files.h"

#include <fmt/format.h>
#include <strings.h>
#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace tavex::verify {
namespace {

constexpr int kMaxDepth = 4;  // BOOK/SUBBOOK/DATA/HONMON, and one more
constexpr std::size_t kMaxEntries = 1 << 16;

const char* KindOf(const struct stat& st) {
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  return "not a regular file";
}

class Look {
 public:
  Look(const std::filesystem::path& root, BookFiles& out) : root_(root), out_(out) {}

  void Folder(const std::filesystem::path& folder, int depth) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error), end;
    if (error) {
      out_.unsafe.push_back(
          fmt::format("{}: the folder does not read ({})", folder.string(), error.message()));
      return;
    }
    for (; it != end; it.increment(error)) {
      if (error) {
        out_.unsafe.push_back(
            fmt::format("{}: the folder does not read ({})", folder.string(), error.message()));
        return;
      }
      if (++entries_ > kMaxEntries) {
        out_.unsafe.push_back(
            fmt::format("{}: more than {} entries in the book", root_.string(), kMaxEntries));
        return;
      }
      Entry(it->path(), depth);
    }
  }

 private:
  void Entry(const std::filesystem::path& path, int depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      out_.unsafe.push_back(fmt::format("{}: cannot be looked at", path.string()));
      return;
    }
    if (S_ISLNK(st.st_mode)) {
      std::error_code error;
      const std::filesystem::path target = std::filesystem::canonical(path, error);
      const std::string inside = root_.string() + "/";
      if (error || target.string().compare(0, inside.size(), inside) != 0) {
        out_.unsafe.push_back(fmt::format("{}: a link that leads out of the book", path.string()));
        return;
      }
      if (::stat(target.c_str(), &st) != 0 || (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
        out_.unsafe.push_back(fmt::format("{}: a link to {}", path.string(), KindOf(st)));
      }
      return;  // the target is looked at in its own place
    }
    if (S_ISDIR(st.st_mode)) {
      if (depth < kMaxDepth) Folder(path, depth + 1);
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      out_.unsafe.push_back(fmt::format("{}: {}", path.string(), KindOf(st)));
      return;
    }
    // libeb reads through zero bytes without a pause, so a file that is mostly holes
    // (long, but next to nothing on the disk) would keep it reading for minutes. A file
    // system that compresses stores text at a third of its size or so, never at a
    // sixteenth.
    const auto on_disk = static_cast<std::uint64_t>(st.st_blocks) * 512;
    if (static_cast<std::uint64_t>(st.st_size) > 16 * on_disk + (64u << 20)) {
      out_.unsafe.push_back(fmt::format("{}: mostly holes ({} MiB long, {} KiB on the disk)", path.string(),
                                        st.st_size >> 20, on_disk >> 10));
    }
    // An ebzip-compressed file gives libeb four times its size and more: the reading it
    // allows is counted that way.
    const std::string name = path.filename().string();
    const bool zipped = name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".ebz") == 0;
    out_.compressed = out_.compressed || zipped;
    out_.disk_bytes += zipped ? 4 * on_disk : on_disk;
  }

  std::filesystem::path root_;
  BookFiles& out_;
  std::size_t entries_ = 0;
};

}  // namespace

BookFiles LookAtBookFiles(const std::string& book) {
  BookFiles files;
  std::error_code error;
  const std::filesystem::path root = std::filesystem::canonical(book, error);
  if (error) {
    files.unsafe.push_back(fmt::format("{}: the folder does not open ({})", book, error.message()));
    return files;
  }
  Look(root, files).Folder(root, 1);
  return files;
}

bool IsPlainFolderName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

}  // namespace tavex::verify
