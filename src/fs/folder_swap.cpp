// The folder swap over renameat2: RENAME_EXCHANGE puts the new folder in place and the
// previous one aside in one step, so there is no moment without a folder at the target's
// name. A file system without the exchange gets two renames, the previous folder moved
// aside first as a stand-in of kind "previous", which the next run puts back if a kill
// came between them.
#include "fs/folder_swap.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "fs/stand_in.h"
#include "fs/tree_delete.h"
#include "fs/handles.h"
#include "fs/write_layer.h"

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

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

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
// written, so that the whole tree can be moved and deleted once it is replaced. The
// depth was bounded by the manifests' walk before this runs.
void CheckTreeWritable(const std::string& target, const std::string& top) {
  std::vector<std::string> pending{top};
  while (!pending.empty()) {
    const std::string folder = std::move(pending.back());
    pending.pop_back();
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
      throw Error(fmt::format("cannot replace {}: {} cannot be written ({}); make it writable or remove it",
                              target, folder, SystemMessage(errno)));
    }
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) {
      throw Error(fmt::format("cannot replace {}: cannot read {}: {}", target, folder, SystemMessage(errno)));
    }
    while (dirent* entry = readdir(dir.get())) {
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string full = JoinPath(folder, name);
      if (entry->d_type == DT_DIR || (entry->d_type == DT_UNKNOWN && KindOf(full) == Kind::kFolder)) {
        pending.push_back(full);
      }
    }
  }
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

std::string CreateStagingFolder(const std::string& target) {
  CheckFolderSwap(target);
  CreateFolders(ParentOf(target));
  ParentHandle parent = OpenParentHandle(target);
  FinishStandIns(parent.dir.get(), parent.folder, parent.name);
  return JoinPath(parent.folder, MakeStandIn(parent.dir.get(), parent.folder, parent.name, StandInKind::kNew));
}

void RemoveStagingFolder(const std::string& staging) noexcept {
  try {
    ParentHandle parent = OpenParentHandle(staging);
    DeleteStandIn(parent.dir.get(), parent.folder, parent.name);
  } catch (...) {
    // Left, recorded, for the next run to remove.
  }
}

void SwapInFolder(const std::string& staging, const std::string& target) {
  ParentHandle parent = OpenParentHandle(target);
  const std::string staging_name = NameOf(staging);
  if (ParentOf(staging) != parent.folder) {
    throw Error(fmt::format("{} does not lie beside {}: it is not put in place", staging, target));
  }
  CheckOwnTree(staging, "put in place");
  // Compared again right before the exchange: a file put into the target while the new
  // folder was written stops the swap here, with nothing moved.
  CheckFolderSwap(target);
  // The new folder's files reach the disk before a rename can put it in place.
  FlushFolderTree(staging);
  const int dir = parent.dir.get();
  const std::string& name = parent.name;
  NoteInManifest(dir, parent.folder, name, true);
  auto fail = [&](int err) {
    throw Error(fmt::format("cannot put {} in place of {}: {}", staging, target, SystemMessage(err)));
  };
  if (KindOf(target) == Kind::kMissing) {
    if (renameat2(dir, staging_name.c_str(), dir, name.c_str(), RENAME_NOREPLACE) != 0) fail(errno);
    DropStandInRecord(dir, staging_name);
    if (fsync(dir) != 0) fail(errno);
    return;
  }
  std::string previous = staging_name;  // after the exchange, the previous folder is there
  if (renameat2(dir, staging_name.c_str(), dir, name.c_str(), RENAME_EXCHANGE) != 0) {
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) fail(err);
    // No exchange on this file system: the previous folder steps aside first.
    previous = MoveToStandIn(dir, parent.folder, name, StandInKind::kPrevious);
    if (renameat2(dir, staging_name.c_str(), dir, name.c_str(), RENAME_NOREPLACE) != 0) {
      const int rename_err = errno;
      if (renameat2(dir, previous.c_str(), dir, name.c_str(), RENAME_NOREPLACE) == 0) {
        DropStandInRecord(dir, previous);
      }
      fail(rename_err);
    }
    DropStandInRecord(dir, staging_name);
  }
  if (fsync(dir) != 0) fail(errno);
  try {
    DeleteStandIn(dir, parent.folder, previous);
  } catch (const Error& e) {
    throw Error(fmt::format("{} is in place, but the previous folder {} could not be removed: {}", target,
                            JoinPath(parent.folder, previous), e.what()));
  }
}

void RecoverFolderSwap(const std::string& target) noexcept {
  try {
    const Kind kind = KindOf(target);
    if (kind == Kind::kLink || kind == Kind::kOther) return;  // refused by the command's own checks
    if (KindOf(ParentOf(target)) != Kind::kFolder) return;
    ParentHandle parent = OpenParentHandle(target);
    FinishStandIns(parent.dir.get(), parent.folder, parent.name);
  } catch (...) {
    // The command's own checks name what stops it.
  }
}

void DeleteFolderTree(const std::string& folder) {
  if (folder.empty()) return;
  ParentHandle parent = OpenParentHandle(folder);
  const int dir = parent.dir.get();
  if (!IsFolderAt(dir, parent.name)) {
    FinishStandIns(dir, parent.folder, parent.name);
    DeleteTreeAt(dir, parent.folder, parent.name, false);  // a link goes as a link; anything else is named
    return;
  }
  // Compared with its manifests before anything moves; then out of the way under a
  // recorded name in one rename, so that a kill while its contents go leaves nothing
  // at the folder's own name and a record that tells the next run to finish.
  CheckOwnTree(folder, "delete");
  const std::string standin = MoveToStandIn(dir, parent.folder, parent.name, StandInKind::kDeleted);
  DeleteStandIn(dir, parent.folder, standin);
}

RecoveredFolder FindRecoveredFolder(const std::string& target) {
  if (KindOf(target) != Kind::kMissing) return {target, false};
  const std::string parent = ParentOf(target);
  Handle dir(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return {target, false};
  const std::string previous = PreviousStandIn(dir.get(), NameOf(target));
  if (previous.empty()) return {target, false};
  return {JoinPath(parent, previous), true};
}

}  // namespace tavex
