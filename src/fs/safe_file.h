// Reading files of a folder a user can edit by hand (base_folder) as untrusted input:
// every part of the path below the folder is opened without following symbolic links,
// only regular files are read (a FIFO or a device would hang the reader or never end),
// the size is checked on the opened descriptor before anything is read, and running out
// of memory while a file is held is an error naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "fs/files.h"  // SizeText, for the messages of bounded reads

namespace tavex {

// Why a file inside a folder could not be opened for reading.
enum class OpenStatus {
  kOpened,
  kMissing,       // no such file (or a folder part is missing)
  kSymbolicLink,  // the file or one of its folder parts is a symbolic link
  kNotRegular,    // a folder, FIFO, socket or device
  kTooLarge,      // more bytes than the caller's bound
  kUnreadable,    // any other failure (permissions, I/O)
};

struct OpenResult;

// A regular file opened for reading; closed when destroyed.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ~ReadOnlyFile();
  ReadOnlyFile(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }  // as seen when opened

  // Reads up to `capacity` bytes; 0 at the end. Throws Error naming the file.
  std::size_t Read(char* buffer, std::size_t capacity);
  // The whole file (its size was bounded when it was opened). Throws Error naming the
  // file on a read fault or when memory runs out.
  std::string ReadAll();

 private:
  friend OpenResult OpenFileAt(int, const std::string&, std::string, std::uint64_t);
  ReadOnlyFile(int fd, std::string path, std::uint64_t size) : fd_(fd), path_(std::move(path)), size_(size) {}
  int fd_ = -1;
  std::string path_;
  std::uint64_t size_ = 0;
};

// The outcome of OpenInside.
struct OpenResult {
  OpenStatus status = OpenStatus::kMissing;
  ReadOnlyFile file;       // open when status is kOpened
  std::string reason;      // for kUnreadable: the system's message
  std::uint64_t size = 0;  // for kTooLarge: the file's size
};

// Opens `relative` ("html_EPW", "us_pron/a.wav") inside `folder` for reading. `folder`
// itself may be reached through links; no part of `relative` may be one. A file of more
// than `max_bytes` is not opened. Never blocks on a FIFO.
OpenResult OpenInside(const std::string& folder, std::string_view relative, std::uint64_t max_bytes);

// Opens the file `name` (one part of a path) inside the folder open as `dir_fd` by
// OpenInside's rules; `path` names it in the messages.
OpenResult OpenFileAt(int dir_fd, const std::string& name, std::string path, std::uint64_t max_bytes);

// A folder inside a folder a user can edit ("us_pron" of base_folder), opened once by
// OpenInside's rules for many reads in a row: each file is opened relative to the held
// folder, so its path is not walked again for every file, and what was checked is what
// is read from.
class FolderInside {
 public:
  // Opens `relative` inside `folder`; a fault of the folder's own shows in what Open returns.
  FolderInside(const std::string& folder, std::string_view relative);
  ~FolderInside();
  FolderInside(const FolderInside&) = delete;
  FolderInside& operator=(const FolderInside&) = delete;

  // Opens the file `name` of the folder (a name without "/") as OpenInside does;
  // kMissing when the folder itself could not be opened.
  OpenResult Open(const std::string& name, std::uint64_t max_bytes) const;

 private:
  std::string path_;
  int fd_ = -1;
  OpenStatus status_ = OpenStatus::kMissing;
};

// OpenInside that throws Error for every outcome but kOpened. `what` names the kind of
// file in the message ("book source file"): "missing book source file PATH",
// "book source file PATH is a symbolic link", "… is not a regular file",
// "… has N bytes, more than the 4 MiB it may have".
ReadOnlyFile OpenInsideOrThrow(const std::string& folder, std::string_view relative, std::uint64_t max_bytes,
                               std::string_view what);

// The message OpenInsideOrThrow gives for a failed OpenResult.
std::string OpenFailureMessage(const OpenResult& result, const std::string& path, std::uint64_t max_bytes,
                               std::string_view what);

// Whether `name` inside `folder` is a real folder: kOpened when it is one, kMissing,
// kSymbolicLink, kNotRegular for anything else that is not a folder, kUnreadable.
OpenStatus InspectFolderInside(const std::string& folder, std::string_view name);

}  // namespace tavex
