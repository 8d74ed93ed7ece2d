// The temporary book of the key searches, made with the *at() calls below its own
// folder, which mkdtemp makes private to this user.
#include "verify/search_view.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "text/error.h"

namespace tavex::verify {
namespace {

constexpr std::uint64_t kPage = 2048;

[[noreturn]] void Fail(const std::string& what) {
  throw Error(fmt::format("cannot make the search copy {}: {}", what, std::strerror(errno)));
}

void WriteAll(int fd, std::string_view bytes, std::uint64_t at, const std::string& what) {
  while (!bytes.empty()) {
    const ssize_t done = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) Fail(what);
    bytes.remove_prefix(static_cast<std::size_t>(done));
    at += static_cast<std::uint64_t>(done);
  }
}

}  // namespace

SearchView::SearchView(std::string_view catalogs, const std::string& directory, std::uint64_t file_bytes)
    : directory_(directory) {
  std::error_code error;
  std::string folder = (std::filesystem::temp_directory_path(error) / "tavex2epwing-verify-XXXXXX").string();
  if (error) folder = "/tmp/tavex2epwing-verify-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) Fail(folder);
  path_ = folder;
  try {
    const int root = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (root < 0) Fail(path_);
    auto make = [&](const char* name, const std::string& where) {
      const int fd = openat(root, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0) {
        close(root);
        Fail(where);
      }
      return fd;
    };
    const int catalogue = make("CATALOGS", path_ + "/CATALOGS");
    WriteAll(catalogue, catalogs, 0, path_ + "/CATALOGS");
    close(catalogue);
    const std::string data = directory_ + "/DATA";
    if (mkdirat(root, directory_.c_str(), 0700) != 0 || mkdirat(root, data.c_str(), 0700) != 0) {
      close(root);
      Fail(path_ + "/" + data);
    }
    const std::string text = data + "/HONMON";
    text_fd_ = make(text.c_str(), path_ + "/" + text);
    close(root);
    // The pages the searches never read stay holes.
    if (ftruncate(text_fd_, static_cast<off_t>(file_bytes)) != 0) Fail(path_ + "/" + text);
  } catch (...) {
    Remove();
    throw;
  }
}

SearchView::~SearchView() { Remove(); }

void SearchView::Remove() {
  if (text_fd_ >= 0) close(text_fd_);
  text_fd_ = -1;
  if (path_.empty()) return;
  const int root = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (root >= 0) {
    const std::string data = directory_ + "/DATA";
    unlinkat(root, (data + "/HONMON").c_str(), 0);
    unlinkat(root, data.c_str(), AT_REMOVEDIR);
    unlinkat(root, directory_.c_str(), AT_REMOVEDIR);
    unlinkat(root, "CATALOGS", 0);
    close(root);
  }
  rmdir(path_.c_str());
  path_.clear();
}

void SearchView::Put(std::uint32_t page, std::string_view bytes) {
  if (page == 0) return;
  WriteAll(text_fd_, bytes, (page - 1) * kPage, path_ + "/" + directory_ + "/DATA/HONMON");
}

}  // namespace tavex::verify
