// The book's main file (HONMON), written front to back in 2048-byte pages, with
// positions patched in place once the layout is known.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace tavex::epwing {

constexpr std::size_t kPageSize = 2048;

// A text position: the 1-based page and the offset inside it.
struct PagePosition {
  std::uint32_t page = 0;
  std::uint16_t offset = 0;
};
inline PagePosition ToPagePosition(std::uint64_t at) {
  return {static_cast<std::uint32_t>(at / kPageSize + 1), static_cast<std::uint16_t>(at % kPageSize)};
}

// Big-endian and binary-coded decimal numbers as the book stores them.
void AppendUint(std::string& out, std::uint64_t value, int bytes);
void PutUint(char* out, std::uint64_t value, int bytes);
void PutBcd(char* out, std::uint32_t value, int bytes);

class HonmonFile {
 public:
  // Creates the file. Throws Error naming it.
  explicit HonmonFile(std::string path);
  ~HonmonFile();
  HonmonFile(const HonmonFile&) = delete;
  HonmonFile& operator=(const HonmonFile&) = delete;

  std::uint64_t position() const { return position_; }
  void Append(std::string_view data);
  // Pads with zero bytes to the next page boundary; returns the next page's number.
  std::uint32_t PadToPage();
  // Overwrites bytes already written. Throws Error naming the file.
  void Overwrite(std::uint64_t at, std::string_view data);
  // The `size` bytes from `at` (fewer at the end of the file). Throws Error naming the file.
  std::string ReadAt(std::uint64_t at, std::size_t size);
  // Flushes and closes. Throws Error naming the file.
  void Close();
  const std::string& path() const { return path_; }

 private:
  void Fail(const char* action);

  std::string path_;
  static constexpr std::size_t kIoBufferBytes = 1 << 20;
  std::unique_ptr<char[]> io_buffer_;  // stdio's buffer; outlives file_
  std::FILE* file_ = nullptr;
  std::uint64_t position_ = 0;
};

// Many small overwrites (the positions of links and sounds), given in ascending
// position, applied a window of the file at a time rather than one write each.
class SortedPatcher {
 public:
  explicit SortedPatcher(HonmonFile& file) : file_(file) {}
  // `at` must not be below the previous patch's position.
  void Patch(std::uint64_t at, std::string_view data);
  // Writes the last window back; call before the file is closed.
  void Finish();

 private:
  static constexpr std::size_t kWindowBytes = 1 << 20;
  HonmonFile& file_;
  std::string window_;
  std::uint64_t window_at_ = 0;
};

}  // namespace tavex::epwing
