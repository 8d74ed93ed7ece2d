// Manifests as small text files: a first line that says what the file is, then one name a
// line, folders ending in "/", with "\" and line breaks in names escaped. The names this
// process has listed are kept per folder, so each is appended once.
#include "fs/manifest.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "text/error.h"
#include "fs/files.h"
#include "fs/write_handles.h"

namespace tavex {
namespace {

constexpr std::string_view kHeader =
    "tavex2epwing manifest 1: the files this program wrote into this folder\n";
constexpr std::uint64_t kMaxManifestBytes = 64ull << 20;

std::string Escape(const std::string& name) {
  std::string out;
  for (char c : name) {
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

// The manifests this process has read or written, by folder (device, inode): the names
// are remembered so that each is listed once. Only so many per folder: a folder of more
// (a pronunciation folder of 80,000 recordings) is listed without looking, since a name
// listed twice does no harm and the memory would otherwise grow with the dictionary.
constexpr std::size_t kRememberedNames = 4096;
std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<std::pair<dev_t, ino_t>, Manifest>& Cache() {
  static std::map<std::pair<dev_t, ino_t>, Manifest> cache;
  return cache;
}

Manifest Parse(std::string_view text, const std::string& path) {
  // A run killed between making the manifest and writing its header leaves it empty (or
  // holding the header's start): nothing was listed, so nothing was made yet.
  if (text.size() < kHeader.size() && kHeader.starts_with(text)) return Manifest{};
  if (!text.starts_with(kHeader)) {
    throw Error(fmt::format("{} is not a manifest of this program; move it away and run again", path));
  }
  text.remove_prefix(kHeader.size());
  Manifest manifest;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) break;  // a line cut by a kill: its file was never made
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    std::string name;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        name += line[++i] == 'n' ? '\n' : line[i];
      } else {
        name += line[i];
      }
    }
    const bool folder = !name.empty() && name.back() == '/' && line.back() == '/';
    if (folder) name.pop_back();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) continue;
    (folder ? manifest.folders : manifest.files).insert(std::move(name));
  }
  return manifest;
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
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      static_cast<std::uint64_t>(st.st_size) > kMaxManifestBytes) {
    throw Error(fmt::format("{} is not a manifest of this program; move it away and run again", path));
  }
  return owned.release();
}

Manifest ReadOpened(int fd, const std::string& path) {
  std::string text;
  char buffer[65536];
  while (true) {
    const ssize_t got = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw Error(fmt::format("cannot read {}: {}", path, SystemMessage(errno)));
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > kMaxManifestBytes) break;
  }
  return Parse(text, path);
}

bool IsOwnTemp(const std::string& name, const Manifest& manifest) {
  constexpr std::size_t kSuffix = 5 + 12;  // ".tmp-" and 12 hex digits
  if (name.starts_with(std::string(kManifestName) + ".tmp-")) return true;
  if (name.size() <= kSuffix || name.compare(name.size() - kSuffix, 5, ".tmp-") != 0) return false;
  for (std::size_t i = name.size() - 12; i < name.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return manifest.files.contains(name.substr(0, name.size() - kSuffix));
}

// Removes the temporary files a killed run left in a folder of this program's, the first
// time this process writes there (the workspace lock keeps other writers out).
void SweepOwnTemps(int dir_fd, const Manifest& manifest) {
  const int list_fd = dup(dir_fd);
  if (list_fd < 0) return;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(list_fd), closedir);
  if (!dir) {
    close(list_fd);
    return;
  }
  rewinddir(dir.get());
  std::vector<std::string> stale;
  while (dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (IsOwnTemp(name, manifest) && !name.starts_with(kManifestName) && !IsFolderAt(dir_fd, name)) {
      stale.push_back(name);
    }
  }
  for (const std::string& name : stale) unlinkat(dir_fd, name.c_str(), 0);
}

}  // namespace

bool Covers(const Manifest& manifest, const std::string& name, unsigned mode) {
  if (S_ISDIR(mode)) return manifest.folders.contains(name);
  if (manifest.files.contains(name) || IsOwnTemp(name, manifest)) return true;
  return manifest.folders.contains(name) && !S_ISREG(mode);
}

std::optional<Manifest> ReadManifest(int dir_fd, const std::string& folder) {
  struct stat st {};
  const int fd = OpenManifest(dir_fd, folder, O_RDONLY, st);
  if (fd < 0) return std::nullopt;
  Handle owned(fd);
  return ReadOpened(fd, JoinPath(folder, kManifestName));
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
    Cache()[{st.st_dev, st.st_ino}] = Manifest{};
  }
}

void NoteInManifest(int dir_fd, const std::string& folder, const std::string& name, bool is_folder) {
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
    found = Cache().emplace(key, ReadOpened(fd, path)).first;
    SweepOwnTemps(dir_fd, found->second);
    if (found->second.files.size() + found->second.folders.size() > kRememberedNames) found->second = Manifest{};
  }
  Manifest& remembered = found->second;
  std::set<std::string>& names = is_folder ? remembered.folders : remembered.files;
  if (names.contains(name)) return;
  if (static_cast<std::size_t>(st.st_size) < kHeader.size()) {
    // The header a killed run did not write comes first.
    if (ftruncate(fd, 0) != 0 ||
        write(fd, kHeader.data(), kHeader.size()) != static_cast<ssize_t>(kHeader.size())) {
      throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
    }
    st.st_size = static_cast<off_t>(kHeader.size());
  }
  const std::string line = Escape(name) + (is_folder ? "/\n" : "\n");
  if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  }
  if (remembered.files.size() + remembered.folders.size() < kRememberedNames) names.insert(name);
}

void CollectUnlisted(int dir_fd, const std::string& folder, std::vector<std::string>& unlisted) {
  const std::optional<Manifest> manifest = ReadManifest(dir_fd, folder);
  std::vector<std::string> names;
  {
    const int list_fd = dup(dir_fd);
    if (list_fd < 0) throw Error(fmt::format("cannot read folder {}: {}", folder, SystemMessage(errno)));
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(list_fd), closedir);
    if (!dir) {
      close(list_fd);
      throw Error(fmt::format("cannot read folder {}: {}", folder, SystemMessage(errno)));
    }
    rewinddir(dir.get());
    while (dirent* entry = readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name != "." && name != ".." && name != kManifestName) names.push_back(name);
    }
  }
  if (!manifest) {
    // Not a folder of this program's: each of its entries is the user's.
    for (const std::string& name : names) unlisted.push_back(JoinPath(folder, name));
    if (names.empty()) unlisted.push_back(folder + " (a folder without this program's manifest)");
    return;
  }
  for (const std::string& name : names) {
    const std::string path = JoinPath(folder, name);
    struct stat st {};
    if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    if (!Covers(*manifest, name, st.st_mode)) {
      unlisted.push_back(path);
    } else if (S_ISDIR(st.st_mode)) {
      Handle sub(openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (sub.get() >= 0) CollectUnlisted(sub.get(), path, unlisted);  // else swapped: removed as a link
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

bool MatchesEarlierLayout(const std::string& folder, const std::vector<std::string>& patterns) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder, error)) || HasManifest(folder)) return false;
  auto matches = [&](const std::string& relative, bool is_folder) {
    for (const std::string& pattern : patterns) {
      if (pattern == relative + (is_folder ? "/" : "")) return true;
      const std::size_t star = pattern.find("/*");
      if (is_folder || star == std::string::npos) continue;
      const std::string_view dir = std::string_view(pattern).substr(0, star);
      const std::string_view suffix = std::string_view(pattern).substr(star + 2);
      const std::size_t slash = relative.find_last_of('/');
      if (slash != std::string::npos && std::string_view(relative).substr(0, slash) == dir &&
          relative.size() > slash + 1 + suffix.size() && relative.ends_with(suffix)) {
        return true;
      }
    }
    return false;
  };
  for (fs::recursive_directory_iterator it(folder, error), end; it != end; it.increment(error)) {
    if (error) return false;
    const fs::file_status status = it->symlink_status(error);
    const bool is_folder = fs::is_directory(status);
    if (error || (!is_folder && !fs::is_regular_file(status))) return false;
    if (!matches(fs::relative(it->path(), folder).string(), is_folder)) return false;
  }
  return !error;
}

void AdoptTree(const std::string& folder) {
  Handle dir = OpenFolderHandle(folder, false);
  struct stat st {};
  const int existing = OpenManifest(dir.get(), folder, O_RDONLY, st);
  if (existing >= 0) {
    close(existing);
  } else {
    StartManifest(dir.get(), folder);
  }
  std::vector<std::pair<std::string, bool>> entries;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> list(fdopendir(dup(dir.get())), closedir);
    if (!list) throw Error(fmt::format("cannot read folder {}: {}", folder, SystemMessage(errno)));
    while (dirent* entry = readdir(list.get())) {
      const std::string name = entry->d_name;
      if (name == "." || name == ".." || name == kManifestName) continue;
      entries.emplace_back(name, IsFolderAt(dir.get(), name));
    }
  }
  for (const auto& [name, is_folder] : entries) {
    NoteInManifest(dir.get(), folder, name, is_folder);
    if (is_folder) AdoptTree(JoinPath(folder, name));
  }
}

}  // namespace tavex
