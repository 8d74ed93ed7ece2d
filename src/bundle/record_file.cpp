#include "bundle/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fmt/format.h>

#include "text/error.h"
#include "fs/files.h"
#include "fs/read_at.h"

namespace tavex::bundle {

namespace {

// The size of a read-ahead window and of the write buffer.
constexpr std::size_t kBlockSize = 1 << 20;

}  // namespace

RecordFile::RecordFile(std::string path) : path_(std::move(path)) {
  // Without blocking, so that a FIFO or a device named by a disc is refused below rather
  // than waited on; reads of a regular file never block anyway.
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) throw Error(fmt::format("cannot open {}: {}", path_, SystemMessage(errno)));
  struct stat info {};
  const bool stated = ::fstat(fd_, &info) == 0;
  if (!stated || !S_ISREG(info.st_mode)) {
    const int err = stated ? 0 : errno;
    ::close(fd_);
    fd_ = -1;
    throw Error(
        fmt::format("cannot open {}: {}", path_, err != 0 ? SystemMessage(err) : "not a regular file"));
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
}

RecordFile::~RecordFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::string RecordFile::ReadAt(std::uint64_t offset, std::size_t length) const {
  if (offset > size_ || length > size_ - offset) {
    throw Error(fmt::format("cannot read {} bytes at offset {} of {}: the file has {} bytes", length, offset,
                            path_, size_));
  }
  if (offset < window_offset_ || offset + length > window_offset_ + window_.size()) {
    if (length >= kBlockSize) {
      std::string bytes(length, '\0');
      ReadInto(bytes.data(), offset, length);
      return bytes;
    }
    window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, size_ - offset)));
    window_offset_ = offset;
    try {
      ReadInto(window_.data(), offset, window_.size());
    } catch (...) {
      window_.clear();
      throw;
    }
  }
  return window_.substr(static_cast<std::size_t>(offset - window_offset_), length);
}

void RecordFile::ReadInto(char* out, std::uint64_t offset, std::size_t length) const {
  const ssize_t got = tavex::ReadAt(fd_, out, length, offset);
  if (got < 0) throw Error(fmt::format("cannot read {}: {}", path_, SystemMessage(errno)));
  if (static_cast<std::size_t>(got) < length) throw Error(fmt::format("cannot read {}: the file ended early", path_));
}

TempFileWriter::TempFileWriter(std::string path) : path_(std::move(path)), file_(path_) {}

TempFileWriter::~TempFileWriter() = default;

void TempFileWriter::Write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() <= kBlockSize) {
    buffer_.append(bytes);
    return;
  }
  Flush();
  if (bytes.size() < kBlockSize) {
    buffer_.append(bytes);
  } else {
    WriteAll(bytes);
  }
}

void TempFileWriter::Flush() {
  WriteAll(buffer_);
  buffer_.clear();
}

void TempFileWriter::WriteAll(std::string_view bytes) { file_.Write(bytes); }

void TempFileWriter::Commit() {
  Flush();
  file_.Commit();
}

}  // namespace tavex::bundle
