// Buffered page writing with errors that name the file.
#include "epwing/honmon_file.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "text/error.h"
#include "fs/read_at.h"
#include "fs/write_layer.h"

namespace tavex::epwing {

void AppendUint(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutUint(char* out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutBcd(char* out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    const std::uint32_t two = value % 100;
    value /= 100;
    out[i] = static_cast<char>(((two / 10) << 4) | (two % 10));
  }
}

HonmonFile::HonmonFile(std::string path) : path_(std::move(path)) {
  file_ = OpenFileStream(path_);  // read back by SortedPatcher
  if (file_ == nullptr) Fail("cannot create");
  // stdio ignores the size asked for without a buffer of our own: 4 KiB writes otherwise.
  io_buffer_ = std::make_unique<char[]>(kIoBufferBytes);
  std::setvbuf(file_, io_buffer_.get(), _IOFBF, kIoBufferBytes);
}

HonmonFile::~HonmonFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void HonmonFile::Fail(const char* action) {
  const int err = errno;
  throw Error(fmt::format("{} {}: {}", action, path_, SystemMessage(err)));
}

void HonmonFile::Append(std::string_view data) {
  if (data.empty()) return;
  if (std::fwrite(data.data(), 1, data.size(), file_) != data.size()) Fail("cannot write");
  position_ += data.size();
}

std::uint32_t HonmonFile::PadToPage() {
  const std::size_t rest = position_ % kPageSize;
  if (rest != 0) Append(std::string(kPageSize - rest, '\0'));
  return static_cast<std::uint32_t>(position_ / kPageSize + 1);
}

void HonmonFile::Overwrite(std::uint64_t at, std::string_view data) {
  if (std::fflush(file_) != 0) Fail("cannot write");
  if (pwrite(fileno(file_), data.data(), data.size(), static_cast<off_t>(at)) !=
      static_cast<ssize_t>(data.size())) {
    Fail("cannot write");
  }
}

std::string HonmonFile::ReadAt(std::uint64_t at, std::size_t size) {
  if (std::fflush(file_) != 0) Fail("cannot write");
  std::string bytes(size, '\0');
  const ssize_t got = tavex::ReadAt(fileno(file_), bytes.data(), size, at);
  if (got < 0) Fail("cannot read");
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

void SortedPatcher::Patch(std::uint64_t at, std::string_view data) {
  if (window_.empty() || at < window_at_ || at + data.size() > window_at_ + window_.size()) {
    Finish();
    window_at_ = at;
    window_ = file_.ReadAt(at, std::max(kWindowBytes, data.size()));
    if (window_.size() < data.size()) throw Error(fmt::format("cannot patch {} past its end", file_.path()));
  }
  window_.replace(static_cast<std::size_t>(at - window_at_), data.size(), data);
}

void SortedPatcher::Finish() {
  if (!window_.empty()) file_.Overwrite(window_at_, window_);
  window_.clear();
}

void HonmonFile::Close() {
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fflush(file) != 0) {
    std::fclose(file);
    Fail("cannot write");
  }
  if (std::fclose(file) != 0) Fail("cannot close");
}

}  // namespace tavex::epwing
