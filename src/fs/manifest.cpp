// Manifests as small text files: a first line that says what the file is, then one name a
// line, folders ending in "/", a write's temporary file starting with "\t", with "\" and
// line breaks in names escaped. The names this process has listed are kept per folder,
// so each is appended once.
#include "fs/manifest.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "text/error.h"
#include "fs/files.h"
#include "fs/handles.h"
#include "fs/read_at.h"

namespace tavex {
namespace {

constexpr std::string_view kHeader =
    "tavex2epwing manifest 1: the files this program wrote into this folder\n";
constexpr std::string_view kTempMark = "\\t";

// The names this process has listed, by folder (device, inode), so that each is listed
// once. Only so many per folder: a folder of more (a pronunciation folder of 80,000
// recordings) is listed without looking, since a name listed twice does no harm and the
// memory would otherwise grow with the dictionary.
constexpr std::size_t kRememberedNames = 4096;
struct Remembered {
  std::set<std::string> files;
  std::set<std::string> folders;
  bool full = false;
};
std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::pair<dev_t, ino_t>, Remembered>& Cache() {
  static std::map<std::pair<dev_t, ino_t>, Remembered> cache;
  return cache;
}

}  // namespace

std::string EscapeLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnescapeLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[++i] == 'n' ? '\n' : text[i];
    } else {
      out += text[i];
    }
  }
  return out;
}

namespace {

[[noreturn]] void NotOurs(const std::string& path) {
  throw Error(fmt::format("{} is not a manifest of this program; move it away and run again", path));
}

void SortUnique(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
}

enum class Listed { kFile, kFolder, kTemp };

// One pass over the text, each name unescaped and handed to `each` with its kind.
void ParseLines(std::string_view text, const std::string& path,
                const std::function<void(Listed, std::string&&)>& each) {
  // A run killed between making the manifest and writing its header leaves it empty (or
  // holding the header's start): nothing was listed, so nothing was made yet.
  if (text.size() < kHeader.size() && kHeader.starts_with(text)) return;
  if (!text.starts_with(kHeader)) NotOurs(path);
  text.remove_prefix(kHeader.size());
  std::size_t count = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) break;  // a line cut by a kill: its file was never made
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (++count > kMaxManifestNames) {
      throw Error(fmt::format("manifest {} lists more than the {} names it may list; move its folder away and "
                              "run again",
                              path, kMaxManifestNames));
    }
    const bool temp = line.starts_with(kTempMark);
    if (temp) line.remove_prefix(kTempMark.size());
    std::string name = UnescapeLine(line);
    const bool folder = !temp && !name.empty() && name.back() == '/' && line.back() == '/';
    if (folder) name.pop_back();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) continue;
    each(temp ? Listed::kTemp : folder ? Listed::kFolder : Listed::kFile, std::move(name));
  }
}

// The names in their lists, each sorted once.
Manifest Parse(std::string_view text, const std::string& path) {
  Manifest manifest;
  ParseLines(text, path, [&manifest](Listed kind, std::string&& name) {
    (kind == Listed::kTemp ? manifest.temps : kind == Listed::kFolder ? manifest.folders : manifest.files)
        .push_back(std::move(name));
  });
  SortUnique(manifest.files);
  SortUnique(manifest.folders);
  SortUnique(manifest.temps);
  return manifest;
}

bool Lists(const std::vector<std::string>& names, const std::string& name) {
  return std::binary_search(names.begin(), names.end(), name);
}

// Opens the manifest of `dir_fd`: -1 when it has none; throws when it is not ours.
int OpenManifest(int dir_fd, const std::string& folder, int flags, struct stat& st) {
  const std::string path = JoinPath(folder, kManifestName);
  const int fd = openat(dir_fd, kManifestName, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return -1;
    CheckReplaceable(dir_fd, path, kManifestName);
    throw Error(fmt::format("cannot read {}: {}", path, SystemMessage(errno)));
  }
  Handle owned(fd);
  if (fstat(fd, &st) != 0) throw Error(fmt::format("cannot read {}: {}", path, SystemMessage(errno)));
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1) NotOurs(path);
  if (static_cast<std::uint64_t>(st.st_size) > kMaxManifestBytes) {
    throw Error(fmt::format("manifest {} has {} bytes, more than the {} it may have; move its folder away and "
                            "run again",
                            path, st.st_size, SizeText(kMaxManifestBytes)));
  }
  return owned.release();
}

std::string ReadText(int fd, const struct stat& st, const std::string& path) {
  // The size was bounded on the descriptor; a file that grows meanwhile is read no further.
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  const ssize_t got = ReadAt(fd, text.data(), text.size(), 0);
  if (got < 0) throw Error(fmt::format("cannot read {}: {}", path, SystemMessage(errno)));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

Manifest ReadOpened(int fd, const struct stat& st, const std::string& path) {
  return Parse(ReadText(fd, st, path), path);
}

// Removes the temporary files a killed run left in a folder of this program's, the first
// time this process writes there (the lock keeps other writers out): listed ones only.
void SweepOwnTemps(int dir_fd, const Manifest& manifest) {
  for (const std::string& name : manifest.temps) {
    struct stat st {};
    if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) {
      unlinkat(dir_fd, name.c_str(), 0);
    }
  }
}

// The entries of a folder but its manifest, each with its type (see ForEachEntry).
std::vector<std::pair<std::string, unsigned char>> NamesIn(int dir_fd, const std::string& folder) {
  std::vector<std::pair<std::string, unsigned char>> names;
  const bool listed = ForEachEntry(dir_fd, [&](std::string_view name, unsigned char type) {
    if (name != kManifestName) names.emplace_back(name, type);
  });
  if (!listed) throw Error(fmt::format("cannot read folder {}: {}", folder, SystemMessage(errno)));
  return names;
}

// Appends `line` to the manifest open as `fd` (with O_APPEND), `size` bytes long: the
// header a killed run did not write comes first. Returns the new size.
std::uint64_t AppendLine(int fd, const std::string& path, std::uint64_t size, const std::string& line) {
  if (size >= kMaxManifestBytes) {
    throw Error(fmt::format("manifest {} has reached the {} it may have; move its folder away and run again",
                            path, SizeText(kMaxManifestBytes)));
  }
  if (size < kHeader.size()) {
    if (ftruncate(fd, 0) != 0 ||
        write(fd, kHeader.data(), kHeader.size()) != static_cast<ssize_t>(kHeader.size())) {
      throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
    }
    size = kHeader.size();
  }
  if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  }
  return size + line.size();
}

}  // namespace

bool Manifest::ListsFile(const std::string& name) const { return Lists(files, name); }

bool Covers(const Manifest& manifest, const std::string& name, unsigned mode) {
  if (S_ISDIR(mode)) return Lists(manifest.folders, name);
  if (Lists(manifest.files, name) || Lists(manifest.temps, name)) return true;
  return Lists(manifest.folders, name) && !S_ISREG(mode);
}

std::optional<Manifest> ReadManifest(int dir_fd, const std::string& folder) {
  struct stat st {};
  const int fd = OpenManifest(dir_fd, folder, O_RDONLY, st);
  if (fd < 0) return std::nullopt;
  Handle owned(fd);
  return ReadOpened(fd, st, JoinPath(folder, kManifestName));
}

bool ForEachListedFile(int dir_fd, const std::string& folder, const std::function<void(const std::string&)>& each) {
  struct stat st {};
  const int fd = OpenManifest(dir_fd, folder, O_RDONLY, st);
  if (fd < 0) return false;
  Handle owned(fd);
  const std::string path = JoinPath(folder, kManifestName);
  ParseLines(ReadText(fd, st, path), path, [&each](Listed kind, std::string&& name) {
    if (kind == Listed::kFile) each(name);
  });
  return true;
}

void StartManifest(int dir_fd, const std::string& folder) {
  const std::string path = JoinPath(folder, kManifestName);
  Handle fd(openat(dir_fd, kManifestName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (fd.get() < 0 ||
      write(fd.get(), kHeader.data(), kHeader.size()) != static_cast<ssize_t>(kHeader.size())) {
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  }
  struct stat st {};
  if (fstat(dir_fd, &st) == 0) {
    std::lock_guard<std::mutex> guard(CacheMutex());
    Cache()[{st.st_dev, st.st_ino}] = Remembered{};
  }
}

void NoteInManifest(int dir_fd, const std::string& folder, const std::string& name, bool is_folder, bool temp) {
  struct stat dir_st {};
  if (fstat(dir_fd, &dir_st) != 0)
    throw Error(fmt::format("cannot read {}: {}", folder, SystemMessage(errno)));
  const std::pair<dev_t, ino_t> key{dir_st.st_dev, dir_st.st_ino};
  std::lock_guard<std::mutex> guard(CacheMutex());
  struct stat st {};
  const int fd = OpenManifest(dir_fd, folder, O_RDWR | O_APPEND, st);
  if (fd < 0) {
    Cache().erase(key);
    return;  // not a folder this program made: nothing to list
  }
  Handle owned(fd);
  const std::string path = JoinPath(folder, kManifestName);
  auto found = Cache().find(key);
  if (found == Cache().end()) {
    const Manifest read = ReadOpened(fd, st, path);
    SweepOwnTemps(dir_fd, read);
    Remembered remembered;
    if (read.files.size() + read.folders.size() > kRememberedNames) {
      remembered.full = true;
    } else {
      remembered.files.insert(read.files.begin(), read.files.end());
      remembered.folders.insert(read.folders.begin(), read.folders.end());
    }
    found = Cache().emplace(key, std::move(remembered)).first;
  }
  Remembered& remembered = found->second;
  std::set<std::string>& names = is_folder ? remembered.folders : remembered.files;
  if (!temp && names.contains(name)) return;
  AppendLine(fd, path, static_cast<std::uint64_t>(st.st_size),
             (temp ? std::string(kTempMark) : std::string()) + EscapeLine(name) + (is_folder && !temp ? "/\n" : "\n"));
  if (!temp && !remembered.full) {
    names.insert(name);
    remembered.full = remembered.files.size() + remembered.folders.size() >= kRememberedNames;
  }
}

ManifestAppender::ManifestAppender(int dir_fd, const std::string& folder)
    : path_(JoinPath(folder, kManifestName)) {
  struct stat st {};
  fd_ = Handle(OpenManifest(dir_fd, folder, O_RDWR | O_APPEND, st));
  if (fd_.get() < 0) return;
  size_ = static_cast<std::uint64_t>(st.st_size);
  // The sweep is the process's first listing in the folder, as with NoteInManifest: a
  // temporary file this process listed since may still be being written.
  struct stat dir_st {};
  if (fstat(dir_fd, &dir_st) != 0) throw Error(fmt::format("cannot read {}: {}", folder, SystemMessage(errno)));
  std::lock_guard<std::mutex> guard(CacheMutex());
  if (Cache().contains({dir_st.st_dev, dir_st.st_ino})) return;
  SweepOwnTemps(dir_fd, ReadOpened(fd_.get(), st, path_));
  Cache().emplace(std::pair{dir_st.st_dev, dir_st.st_ino}, Remembered{.files = {}, .folders = {}, .full = true});
}

void ManifestAppender::NoteFile(const std::string& name) {
  if (fd_.get() >= 0) size_ = AppendLine(fd_.get(), path_, size_, EscapeLine(name) + "\n");
}

bool IsEmptyFolderAt(int dir_fd) {
  bool empty = true;
  return ForEachEntry(dir_fd, [&](std::string_view, unsigned char) { empty = false; }) && empty;
}

bool IsKilledBeforeManifest(const Manifest& parent, const std::string& name, int folder_fd,
                            const std::string& folder) {
  return Covers(parent, name, S_IFDIR) && !ReadManifest(folder_fd, folder) && IsEmptyFolderAt(folder_fd);
}

void CollectUnlisted(int dir_fd, const std::string& folder, std::vector<std::string>& unlisted) {
  // Depth first with a stack of handles, not of calls: a deep forged tree costs a named
  // error at the bound, never the stack.
  struct Pending {
    Handle dir;  // -1 for the folder the caller holds
    std::string path;
    std::size_t depth;
    bool listed_in_parent;
  };
  std::vector<Pending> stack;
  stack.push_back({Handle(), folder, 0, false});
  while (!stack.empty()) {
    Pending current = std::move(stack.back());
    stack.pop_back();
    const int fd = current.dir.get() >= 0 ? current.dir.get() : dir_fd;
    const std::optional<Manifest> manifest = ReadManifest(fd, current.path);
    const auto names = NamesIn(fd, current.path);
    if (!manifest) {
      if (current.listed_in_parent && names.empty()) continue;  // made or emptied by a killed run
      // Not a folder of this program's: each of its entries is the user's.
      for (const auto& [name, type] : names) unlisted.push_back(JoinPath(current.path, name));
      if (names.empty()) unlisted.push_back(current.path + " (a folder without this program's manifest)");
      continue;
    }
    for (const auto& [name, type] : names) {
      // The listing's type, so that a folder of many files costs no stat for each.
      const unsigned mode = EntryMode(fd, name, type);
      if (mode == 0) continue;  // gone meanwhile
      if (!Covers(*manifest, name, mode)) {
        unlisted.push_back(JoinPath(current.path, name));
      } else if (S_ISDIR(mode)) {
        const std::string path = JoinPath(current.path, name);
        if (current.depth + 1 > kMaxFolderDepth) {
          throw Error(fmt::format("{} lies more than {} folders deep, deeper than any folder this program makes; "
                                  "move it away and run again",
                                  path, kMaxFolderDepth));
        }
        Handle sub(openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.get() >= 0) stack.push_back({std::move(sub), path, current.depth + 1, true});
        // else swapped meanwhile: removed as a link
      }
    }
  }
}

std::vector<std::string> UnlistedIn(const std::string& folder) {
  std::vector<std::string> unlisted;
  ParentHandle parent = OpenParentHandle(folder);
  struct stat st {};
  if (fstatat(parent.dir.get(), parent.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return unlisted;
  if (!S_ISDIR(st.st_mode)) {
    unlisted.push_back(folder);
    return unlisted;
  }
  Handle dir(openat(parent.dir.get(), parent.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) throw Error(fmt::format("cannot read folder {}: {}", folder, SystemMessage(errno)));
  CollectUnlisted(dir.get(), folder, unlisted);
  return unlisted;
}

void CheckOwnTree(const std::string& folder, const std::string& action) {
  const std::vector<std::string> unlisted = UnlistedIn(folder);
  if (!unlisted.empty()) {
    throw Error(
        fmt::format("cannot {} {}: this program did not write {}; move them away or choose another folder",
                    action, folder, FewPaths(unlisted)));
  }
}

void RequireOwnFolder(const std::string& folder) {
  Handle dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) return;  // missing, a link, a file: the write layer names it
  if (ReadManifest(dir.get(), folder)) return;
  // Looked at through the parent, so that the folder checked is the one the parent lists.
  ParentHandle parent = OpenParentHandle(folder);
  Handle listed(openat(parent.dir.get(), parent.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (const std::optional<Manifest> above = ReadManifest(parent.dir.get(), parent.folder);
      listed.get() >= 0 && above && IsKilledBeforeManifest(*above, parent.name, listed.get(), folder)) {
    return;
  }
  throw Error(fmt::format("cannot write into {}: this program did not make it (it has no {}), so it may hold "
                          "somebody's files; move it away or choose another workspace",
                          folder, kManifestName));
}

bool HasManifest(const std::string& folder) {
  Handle dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) return false;
  try {
    return ReadManifest(dir.get(), folder).has_value();
  } catch (const Error&) {
    return false;
  }
}

std::string FewPaths(const std::vector<std::string>& paths) {
  std::string text;
  const std::size_t shown = std::min<std::size_t>(paths.size(), 3);
  for (std::size_t i = 0; i < shown; ++i) text += (i == 0 ? "" : ", ") + paths[i];
  if (paths.size() > shown) text += fmt::format(" and {} more", paths.size() - shown);
  return text;
}

}  // namespace tavex
