// Positioned access to the bundle's files: reading one record's bytes at its offset,
// so that memory stays bounded by the largest record (plus one read-ahead window), and
// writing the unpacked content under a temporary name that only becomes the real file
// when it is whole. Records are mostly read in file order, so both sides move data in
// large blocks rather than with one system call per record.
// Private to the bundle reader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/write_layer.h"

namespace tavex::bundle {

// A file opened for reading at given offsets. Errors name the file.
class RecordFile {
 public:
  // Opens `path`, which must be a regular file (never waits on a FIFO or a device).
  // Throws tavex::Error "cannot open PATH: reason".
  explicit RecordFile(std::string path);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }
  // The `length` bytes at `offset`; the range must lie inside the file.
  std::string ReadAt(std::uint64_t offset, std::size_t length) const;

 private:
  // Reads `length` bytes at `offset` straight from the file into `out`.
  void ReadInto(char* out, std::uint64_t offset, std::size_t length) const;

  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  mutable std::string window_;            // the bytes last read ahead
  mutable std::uint64_t window_offset_ = 0;  // where they start in the file
};

// Writes a file under a temporary name and renames it to `path` on Commit. Without Commit
// (an error on the way) the temporary file is removed, so `path` never holds a part.
class TempFileWriter {
 public:
  explicit TempFileWriter(std::string path);
  ~TempFileWriter();
  TempFileWriter(const TempFileWriter&) = delete;
  TempFileWriter& operator=(const TempFileWriter&) = delete;

  void Write(std::string_view bytes);
  // Flushes, closes and renames the temporary file into place.
  void Commit();

 private:
  // Writes out what the buffer holds.
  void Flush();
  // Hands `bytes` to the file, however many system calls that takes.
  void WriteAll(std::string_view bytes);

  std::string path_;
  NewFile file_;
  std::string buffer_;  // bytes written but not yet handed to the file
};

}  // namespace tavex::bundle
