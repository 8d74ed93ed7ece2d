// A folder held open for a library that opens its files by name (SQLite). The name
// /proc/self/fd/N/NAME reaches NAME inside the held folder itself, whatever becomes of
// the folder's path after it was opened and checked (renamed away, swapped for a link),
// so the folder checked is the folder the library writes into.
#pragma once

#include <string>
#include <string_view>

namespace tavex {

class HeldFolder {
 public:
  // Opens `folder` as the write layer opens a folder it writes into: below a write anchor
  // part by part without following links; the anchor and the path above it as the user
  // named them. Throws Error naming the folder.
  explicit HeldFolder(const std::string& folder);
  ~HeldFolder();
  HeldFolder(HeldFolder&& other) noexcept;
  HeldFolder& operator=(HeldFolder&& other) noexcept;
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

  int fd() const { return fd_; }
  const std::string& folder() const { return folder_; }  // the path it was opened by
  // The path of `name` inside the held folder, resolved through the handle by any open;
  // valid while this object lives.
  std::string PathOf(std::string_view name) const;

 private:
  int fd_ = -1;
  std::string folder_;
};

// A path for people to read: a held path (/proc/self/fd/N/REST) as the present path of
// the held folder followed by REST; any other path as it is.
std::string ShownPath(const std::string& path);

}  // namespace tavex
