// Buffered writing, then reading by offset.
#include "source/side_file.h"

#include <fmt/format.h>

#include <unistd.h>

#include <cerrno>

#include "fs/read_at.h"
#include "fs/write_layer.h"
#include "text/error.h"

namespace tavex::source {

SideFile::SideFile(std::string path) : path_(std::move(path)), file_(OpenFileStream(path_)) {}

SideFile::~SideFile() {
  if (file_ != nullptr) std::fclose(file_);
}

std::uint64_t SideFile::Append(std::string_view bytes) {
  if (reading_) throw Error(fmt::format("cannot write {}: it is being read", path_));
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) Fail("write");
  const std::uint64_t at = size_;
  size_ += bytes.size();
  return at;
}

void SideFile::Read(std::uint64_t at, std::size_t size, std::string& out) {
  if (!reading_ && std::fflush(file_) != 0) Fail("write");
  reading_ = true;
  out.resize(size);
  // One pread a piece: the pieces are read in another order than they were written, so a
  // stream's buffer would be refilled, and its position moved, for each.
  const ssize_t got = ReadAt(fileno(file_), out.data(), size, at);
  if (got != static_cast<ssize_t>(size)) {
    if (got >= 0) errno = EIO;  // the file is shorter than what was written to it
    Fail("read");
  }
}

void SideFile::Remove() {
  std::fclose(file_);
  file_ = nullptr;
  RemoveFile(path_);
}

void SideFile::Fail(const char* what) const {
  const int err = errno;
  throw Error(fmt::format("cannot {} {}: {}", what, path_, SystemMessage(err)));
}

}  // namespace tavex::source
