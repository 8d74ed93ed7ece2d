// Stand-ins over openat, renameat2 and linkat. A record is made whole before it gets its
// name (an unnamed file linked in place), so a record that exists says all it says; it
// goes only after its stand-in has left its name.
#include "fs/stand_in.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "fs/tree_delete.h"
#include "fs/handles.h"

namespace tavex {
namespace {

constexpr std::string_view kPrefix = ".tavex2epwing-";
constexpr std::string_view kRecordSuffix = ".record";
constexpr std::string_view kRecordHeader = "tavex2epwing stand-in 1\n";
constexpr std::size_t kMaxRecordBytes = 4096;

std::string RandomHex(std::size_t bytes_wanted) {
  std::string hex;
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < bytes_wanted) {
    const ssize_t n = getrandom(bytes + got, bytes_wanted - got, 0);
    if (n < 0 && errno != EINTR) throw Error(fmt::format("cannot draw a random name: {}", SystemMessage(errno)));
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  for (std::size_t i = 0; i < bytes_wanted; ++i) hex += fmt::format("{:02x}", bytes[i]);
  return hex;
}

// This process's run, as the records say it (drawn again in a forked child).
std::string RunId() {
  static std::mutex mutex;
  static pid_t owner = 0;
  static std::string id;
  std::lock_guard<std::mutex> guard(mutex);
  if (owner != getpid()) {
    owner = getpid();
    id = RandomHex(8);
  }
  return id;
}

const char* KindWord(StandInKind kind) {
  switch (kind) {
    case StandInKind::kNew:
      return "new";
    case StandInKind::kPrevious:
      return "previous";
    case StandInKind::kDeleted:
      break;
  }
  return "deleted";
}

struct Record {
  StandInKind kind = StandInKind::kDeleted;
  std::string target;  // the name of the folder it stands in for
  std::string folder;  // the stand-in's own name
  std::string run;
};

std::optional<Record> ParseRecord(std::string_view text) {
  if (!text.starts_with(kRecordHeader)) return std::nullopt;
  text.remove_prefix(kRecordHeader.size());
  Record record;
  bool kind = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view key = line.substr(0, space);
    const std::string value = UnescapeLine(line.substr(space + 1));
    if (key == "kind") {
      kind = true;
      if (value == "new") {
        record.kind = StandInKind::kNew;
      } else if (value == "previous") {
        record.kind = StandInKind::kPrevious;
      } else if (value == "deleted") {
        record.kind = StandInKind::kDeleted;
      } else {
        return std::nullopt;
      }
    } else if (key == "for") {
      record.target = value;
    } else if (key == "folder") {
      record.folder = value;
    } else if (key == "run") {
      record.run = value;
    }
  }
  if (!kind || record.target.empty() || record.folder.empty() || record.folder.find('/') != std::string::npos ||
      !record.folder.starts_with(kPrefix)) {
    return std::nullopt;
  }
  return record;
}

// The record at `name`, when it is a regular file with one link that reads as one.
std::optional<Record> ReadRecord(int parent_fd, const std::string& name) {
  Handle fd(openat(parent_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      static_cast<std::uint64_t>(st.st_size) > kMaxRecordBytes) {
    return std::nullopt;
  }
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  const ssize_t got = pread(fd.get(), text.data(), text.size(), 0);
  if (got < 0) return std::nullopt;
  text.resize(static_cast<std::size_t>(got));
  std::optional<Record> record = ParseRecord(text);
  if (record && std::string(record->folder) + std::string(kRecordSuffix) != name) return std::nullopt;
  return record;
}

std::string RecordName(const std::string& standin) { return standin + std::string(kRecordSuffix); }

// A fresh stand-in name for `target_name`: the prefix, the target's name (shortened to
// leave room) and a random part.
std::string FreshName(const std::string& target_name) {
  std::string shown = target_name.substr(0, 120);
  for (char& c : shown) {
    if (c == '\n') c = '_';
  }
  return std::string(kPrefix) + shown + "-" + RandomHex(6);
}

// Writes the record of `standin` whole, then gives it its name: an unnamed file linked
// in place where the file system allows, else a new file written at once.
void WriteRecord(int parent_fd, const std::string& parent, const std::string& standin, const std::string& target,
                 StandInKind kind) {
  const std::string name = RecordName(standin);
  const std::string path = JoinPath(parent, name);
  const std::string text = std::string(kRecordHeader) + "kind " + KindWord(kind) + "\nfor " + EscapeLine(target) +
                           "\nfolder " + EscapeLine(standin) + "\nrun " + RunId() + "\n";
  NoteInManifest(parent_fd, parent, name, false);
  auto fail = [&](int err) { throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(err))); };
  Handle fd(openat(parent_fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0644));
  const bool unnamed = fd.get() >= 0;
  if (!unnamed) {
    fd = Handle(openat(parent_fd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0) fail(errno);
  }
  if (write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) || fsync(fd.get()) != 0) {
    const int err = errno;
    if (!unnamed) unlinkat(parent_fd, name.c_str(), 0);
    fail(err);
  }
  if (unnamed) {
    const std::string proc = fmt::format("/proc/self/fd/{}", fd.get());
    if (linkat(AT_FDCWD, proc.c_str(), parent_fd, name.c_str(), AT_SYMLINK_FOLLOW) != 0) fail(errno);
  }
  if (fsync(parent_fd) != 0) fail(errno);
}

std::vector<std::string> RecordNames(int parent_fd) {
  std::vector<std::string> names;
  ForEachEntry(parent_fd, [&](std::string_view name, unsigned char) {
    if (name.starts_with(kPrefix) && name.ends_with(kRecordSuffix)) names.emplace_back(name);
  });
  return names;
}

bool Exists(int parent_fd, const std::string& name, struct stat& st) {
  return fstatat(parent_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

std::string MakeStandIn(int parent_fd, const std::string& parent, const std::string& target_name,
                        StandInKind kind) {
  const std::string standin = FreshName(target_name);
  const std::string path = JoinPath(parent, standin);
  WriteRecord(parent_fd, parent, standin, target_name, kind);
  NoteInManifest(parent_fd, parent, standin, true);
  if (mkdirat(parent_fd, standin.c_str(), 0755) != 0) {
    throw Error(fmt::format("cannot create folder {}: {}", path, SystemMessage(errno)));
  }
  Handle made(openat(parent_fd, standin.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (made.get() < 0) throw Error(fmt::format("cannot create folder {}: {}", path, SystemMessage(errno)));
  StartManifest(made.get(), path);
  return standin;
}

std::string MoveToStandIn(int parent_fd, const std::string& parent, const std::string& name, StandInKind kind) {
  const std::string standin = FreshName(name);
  WriteRecord(parent_fd, parent, standin, name, kind);
  NoteInManifest(parent_fd, parent, standin, true);
  if (renameat2(parent_fd, name.c_str(), parent_fd, standin.c_str(), RENAME_NOREPLACE) != 0) {
    const int err = errno;
    DropStandInRecord(parent_fd, standin);
    throw Error(fmt::format("cannot move {} aside: {}", JoinPath(parent, name), SystemMessage(err)));
  }
  return standin;
}

void DropStandInRecord(int parent_fd, const std::string& standin) noexcept {
  unlinkat(parent_fd, RecordName(standin).c_str(), 0);
}

void DeleteStandIn(int parent_fd, const std::string& parent, const std::string& standin) {
  DeleteTreeAt(parent_fd, parent, standin, true);
  DropStandInRecord(parent_fd, standin);
}

void FinishStandIns(int parent_fd, const std::string& parent, const std::string& target_name) noexcept {
  try {
    for (const std::string& record_name : RecordNames(parent_fd)) {
      const std::optional<Record> record = ReadRecord(parent_fd, record_name);
      // A record of this run's own is a stand-in it is still working on.
      if (!record || record->target != target_name || record->run == RunId()) continue;
      struct stat st {};
      if (!Exists(parent_fd, record->folder, st)) {
        DropStandInRecord(parent_fd, record->folder);
        continue;
      }
      if (!S_ISDIR(st.st_mode)) continue;  // not a folder of ours: left, and so is its record
      struct stat target_st {};
      if (record->kind == StandInKind::kPrevious && !Exists(parent_fd, target_name, target_st)) {
        if (renameat2(parent_fd, record->folder.c_str(), parent_fd, target_name.c_str(), RENAME_NOREPLACE) == 0) {
          DropStandInRecord(parent_fd, record->folder);
        }
        continue;
      }
      try {
        DeleteStandIn(parent_fd, parent, record->folder);
      } catch (const Error&) {
        // Something unlisted appeared in it: it stays, recorded, for the user to look at.
      }
    }
  } catch (...) {
    // A leftover that cannot be finished now is finished by a later run.
  }
}

std::string PreviousStandIn(int parent_fd, const std::string& target_name) {
  for (const std::string& record_name : RecordNames(parent_fd)) {
    const std::optional<Record> record = ReadRecord(parent_fd, record_name);
    struct stat st {};
    if (record && record->target == target_name && record->kind == StandInKind::kPrevious &&
        Exists(parent_fd, record->folder, st) && S_ISDIR(st.st_mode)) {
      return record->folder;
    }
  }
  return {};
}

}  // namespace tavex
