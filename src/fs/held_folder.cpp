// Folders held open for the libraries that open their files by name.
#include "fs/held_folder.h"

#include <fmt/format.h>
#include <unistd.h>

#include <climits>
#include <utility>

#include "fs/handles.h"

namespace tavex {
namespace {

constexpr std::string_view kHeldPrefix = "/proc/self/fd/";

}  // namespace

HeldFolder::HeldFolder(const std::string& folder)
    : fd_(OpenFolderHandle(folder).release()), folder_(folder) {}

HeldFolder::~HeldFolder() {
  if (fd_ >= 0) close(fd_);
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), folder_(std::move(other.folder_)) {}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    folder_ = std::move(other.folder_);
  }
  return *this;
}

std::string HeldFolder::PathOf(std::string_view name) const {
  return fmt::format("{}{}/{}", kHeldPrefix, fd_, name);
}

std::string ShownPath(const std::string& path) {
  if (!path.starts_with(kHeldPrefix)) return path;
  const std::size_t slash = path.find('/', kHeldPrefix.size());
  const std::string link = path.substr(0, slash);
  char target[PATH_MAX];
  const ssize_t size = readlink(link.c_str(), target, sizeof target);
  if (size <= 0 || static_cast<std::size_t>(size) >= sizeof target) return path;
  return std::string(target, static_cast<std::size_t>(size)) +
         (slash == std::string::npos ? std::string() : path.substr(slash));
}

}  // namespace tavex
