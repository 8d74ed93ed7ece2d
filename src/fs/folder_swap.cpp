// The folder swap over POSIX calls. Every check runs before the first
// rename, and a rename that fails is undone, so a failure never leaves a folder half
// swapped: the next command finds the previous folder where it was.
#include "fs/folder_swap.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"

namespace tavex {
namespace {

namespace fs = std::filesystem;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

enum class Kind { kMissing, kFolder, kLink, kOther };

// What is at `path`, links not followed (a path through a file counts as missing).
Kind KindOf(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return Kind::kMissing;
  if (S_ISLNK(st.st_mode)) return Kind::kLink;
  return S_ISDIR(st.st_mode) ? Kind::kFolder : Kind::kOther;
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A folder this program made: a real folder with a manifest.
bool IsMarkedFolder(const std::string& folder) {
  return KindOf(folder) == Kind::kFolder && HasManifest(folder);
}

// The absolute path with links resolved as far as the path exists, without a trailing "/".
std::string RealPath(const std::string& path) {
  std::error_code error;
  fs::path real = fs::weakly_canonical(fs::absolute(path, error), error);
  if (error) real = fs::absolute(path).lexically_normal();
  std::string text = real.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool IsEmptyFolder(const std::string& folder) {
  DirHandle dir(opendir(folder.c_str()));
  if (!dir) throw Error(fmt::format("cannot read folder {}: {}", folder, SystemMessage(errno)));
  while (dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") return false;
  }
  return true;
}

// Throws unless every folder of the tree below `folder` (links not followed) can be
// written, so that the whole tree can be moved and deleted once it is replaced.
void CheckTreeWritable(const std::string& target, const std::string& folder) {
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    throw Error(fmt::format("cannot replace {}: {} cannot be written ({}); make it writable or remove it",
                            target, folder, SystemMessage(errno)));
  }
  std::vector<std::string> folders;
  {
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) {
      throw Error(fmt::format("cannot replace {}: cannot read {}: {}", target, folder, SystemMessage(errno)));
    }
    while (dirent* entry = readdir(dir.get())) {
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string full = JoinPath(folder, name);
      if (entry->d_type == DT_DIR || (entry->d_type == DT_UNKNOWN && KindOf(full) == Kind::kFolder)) {
        folders.push_back(full);
      }
    }
  }
  for (const std::string& sub : folders) CheckTreeWritable(target, sub);
}

// An unmarked folder (or anything else) under a swap's own name stops the command.
void RefuseUnmarked(const std::string& path) {
  if (KindOf(path) != Kind::kMissing && !IsMarkedFolder(path)) {
    throw Error(
        fmt::format("{} was not made by this program: move it away or remove it, then run again", path));
  }
  if (KindOf(path) == Kind::kFolder) CheckOwnTree(path, "remove");
}

}  // namespace

void CheckOutputFolder(const std::string& folder, const std::vector<std::string>& protected_folders) {
  auto refuse = [&](const std::string& why) {
    throw Error(fmt::format("cannot write the book into {}: {}; choose an empty or new folder", folder, why));
  };
  const Kind kind = KindOf(folder);
  if (kind == Kind::kLink) refuse("it is a symbolic link");
  if (kind == Kind::kOther) refuse("it is not a folder");
  const std::string real = RealPath(folder);
  if (real == "/") refuse("it is the root folder");
  auto refuse_over = [&](const std::string& other, const std::string& what) {
    if (other.empty()) return;
    const std::string real_other = RealPath(other);
    if (real_other == real) refuse("it is " + what);
    if (IsAtOrBelow(real_other, real)) refuse("it holds " + what);
  };
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    refuse_over(home, "the home folder");
  }
  for (const std::string& other : protected_folders) refuse_over(other, other);
  if (kind == Kind::kFolder && !IsEmptyFolder(folder)) {
    const std::vector<std::string> unlisted = UnlistedIn(folder);
    if (!unlisted.empty()) refuse("it holds files this program did not write: " + FewPaths(unlisted));
  }
}

void CheckFolderSwap(const std::string& target) {
  RefuseUnmarked(target + ".ready");
  RefuseUnmarked(target + ".old");
  switch (KindOf(target)) {
    case Kind::kLink:
      throw Error(fmt::format("cannot replace {}: it is a symbolic link", target));
    case Kind::kOther:
      throw Error(fmt::format("cannot replace {}: it is not a folder", target));
    case Kind::kFolder:
      // An empty folder the user made for the book is taken; anything in one is not.
      if (!HasManifest(target) && IsEmptyFolder(target)) break;
      CheckOwnTree(target, "replace");
      CheckTreeWritable(target, target);
      break;
    case Kind::kMissing:
      break;
  }
  const std::string parent = ParentOf(target);
  struct stat st {};
  if (stat(parent.c_str(), &st) != 0) return;  // created with the staging folder, or its error names it
  if (!S_ISDIR(st.st_mode)) throw Error(fmt::format("cannot write {}: {} is not a folder", target, parent));
  if (access(parent.c_str(), W_OK | X_OK) != 0) {
    throw Error(fmt::format("cannot write {}: its folder {} cannot be written ({})", target, parent,
                            SystemMessage(errno)));
  }
}

void CreateStagingFolder(const std::string& staging, const std::string& target) {
  CheckFolderSwap(target);
  RefuseUnmarked(staging);
  if (KindOf(staging) == Kind::kFolder) DeleteFolderTree(staging);  // a killed run's, marked
  CreateFolders(staging);
}

void RemoveStagingFolder(const std::string& staging) noexcept {
  try {
    if (IsMarkedFolder(staging)) DeleteFolderTree(staging);
  } catch (...) {
    // Left, marked, for the next run to remove.
  }
}

void SwapInFolder(const std::string& staging, const std::string& target) {
  const std::string ready = target + ".ready";
  const std::string old = target + ".old";
  if (!IsMarkedFolder(staging)) {
    throw Error(fmt::format("{} was not made by this program: it is not put in place", staging));
  }
  CheckOwnTree(staging, "put in place");
  // Compared again right before the renames: a file put into the target while the new
  // folder was written stops the swap here, with nothing moved.
  CheckFolderSwap(target);
  if (KindOf(ready) == Kind::kFolder) DeleteFolderTree(ready);  // leftovers of ours (checked above)
  if (KindOf(old) == Kind::kFolder) DeleteFolderTree(old);
  // The new folder's files reach the disk before a rename can put it in place.
  FlushFolderTree(staging);
  if (KindOf(target) == Kind::kFolder && !HasManifest(target) && rmdir(target.c_str()) != 0) {
    throw Error(fmt::format("cannot replace {}: {}", target, SystemMessage(errno)));  // filled meanwhile
  }
  const bool had_target = KindOf(target) == Kind::kFolder;
  RenamePath(staging, ready);
  if (had_target) {
    try {
      RenamePath(target, old);
    } catch (const Error&) {
      std::rename(ready.c_str(), staging.c_str());
      throw;
    }
  }
  try {
    RenamePath(ready, target);
  } catch (const Error&) {
    if (had_target) std::rename(old.c_str(), target.c_str());
    std::rename(ready.c_str(), staging.c_str());
    throw;
  }
  FlushFolder(ParentOf(target));
  if (!had_target) return;
  try {
    DeleteFolderTree(old);
  } catch (const Error& e) {
    throw Error(fmt::format("{} is in place, but the previous folder {} could not be removed: {}", target,
                            old, e.what()));
  }
}

void RecoverFolderSwap(const std::string& target) noexcept {
  const std::string ready = target + ".ready";
  const std::string old = target + ".old";
  const Kind kind = KindOf(target);
  if (kind == Kind::kLink || kind == Kind::kOther) return;  // refused by the command's own checks
  // Plain renames here: a step that fails leaves the folders as they were before it. A
  // folder is deleted only by its manifest, so one that holds a stranger's file stays.
  auto remove = [](const std::string& folder) {
    try {
      DeleteFolderTree(folder);
    } catch (const Error&) {
      // Left for the next swap, which removes it or names it.
    }
  };
  if (IsMarkedFolder(ready)) {
    bool free = kind == Kind::kMissing;
    if (kind == Kind::kFolder && IsMarkedFolder(target)) {
      if (IsMarkedFolder(old)) remove(old);
      if (KindOf(old) == Kind::kMissing) free = std::rename(target.c_str(), old.c_str()) == 0;
    }
    if (free) std::rename(ready.c_str(), target.c_str());
  }
  if (IsMarkedFolder(old)) {
    if (KindOf(target) == Kind::kFolder) {
      remove(old);
    } else if (KindOf(target) == Kind::kMissing) {
      std::rename(old.c_str(), target.c_str());  // nothing replaced it: the previous folder stays
    }
  }
}

RecoveredFolder FindRecoveredFolder(const std::string& target) {
  const Kind kind = KindOf(target);
  if (kind == Kind::kFolder || kind == Kind::kMissing) {
    if (IsMarkedFolder(target + ".ready")) return {target + ".ready", true};
    if (kind == Kind::kMissing && IsMarkedFolder(target + ".old")) return {target + ".old", true};
  }
  return {target, false};
}

}  // namespace tavex
