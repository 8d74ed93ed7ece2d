// A scratch file in a book's staging folder: bytes written once in the source's order,
// then read back by offset in the order the book wants them, so that the entries' text
// is never all held in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tavex::source {

class SideFile {
 public:
  // Creates the file at `path` (through the write layer). Throws Error naming it.
  explicit SideFile(std::string path);
  ~SideFile();
  SideFile(const SideFile&) = delete;
  SideFile& operator=(const SideFile&) = delete;

  // Appends `bytes`; returns where they start. Only before the first Read.
  std::uint64_t Append(std::string_view bytes);
  // Reads `size` bytes at `at` into `out`.
  void Read(std::uint64_t at, std::size_t size, std::string& out);
  // Closes and removes the file.
  void Remove();

 private:
  [[noreturn]] void Fail(const char* what) const;

  std::string path_;
  std::FILE* file_;
  std::uint64_t size_ = 0;
  bool reading_ = false;
};

}  // namespace tavex::source
