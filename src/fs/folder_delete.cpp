// Deleting a folder the program made, by its manifests and through handles: the whole
// tree is compared with its manifests first, then only listed names are removed, each
// with unlinkat relative to its folder's handle. A listed folder swapped for a link
// meanwhile is removed as a link; an entry that appears meanwhile is left, and the
// folder that holds it stays, named in the error.
#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "fs/write_handles.h"
#include "fs/write_layer.h"

namespace tavex {
namespace {

[[noreturn]] void Fail(const std::string& path, int err) {
  throw Error(fmt::format("cannot delete {}: {}", path, SystemMessage(err)));
}

// Removes the listed entries of the folder open as `dir_fd`, then its manifest.
void DeleteListed(int dir_fd, const std::string& folder) {
  const std::optional<Manifest> manifest = ReadManifest(dir_fd, folder);
  if (!manifest) throw Error(fmt::format("cannot delete {}: it has no manifest of this program", folder));
  std::vector<std::string> names;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> list(fdopendir(dup(dir_fd)), closedir);
    if (!list) Fail(folder, errno);
    rewinddir(list.get());
    while (dirent* entry = readdir(list.get())) names.emplace_back(entry->d_name);
  }
  std::vector<std::string> unlisted;
  for (const std::string& name : names) {
    if (name == "." || name == ".." || name == kManifestName) continue;
    const std::string path = JoinPath(folder, name);
    struct stat st {};
    if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    if (!Covers(*manifest, name, st.st_mode)) {
      unlisted.push_back(path);
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      Handle sub(openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (sub.get() >= 0) {
        std::vector<std::string> found;
        CollectUnlisted(sub.get(), path, found);
        if (!found.empty()) {
          unlisted.insert(unlisted.end(), found.begin(), found.end());
          continue;
        }
        DeleteListed(sub.get(), path);
        if (unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR) != 0) Fail(path, errno);
        continue;
      }
      if (errno != ELOOP && errno != ENOTDIR) Fail(path, errno);
      // Swapped for a link or a file since it was looked at: removed as one.
    }
    if (unlinkat(dir_fd, name.c_str(), 0) != 0 && errno != ENOENT) {
      if (errno == EISDIR) {
        unlisted.push_back(path);
        continue;
      }
      Fail(path, errno);
    }
  }
  if (!unlisted.empty()) {
    throw Error(fmt::format("cannot delete {}: this program did not write {}; move them away and run again",
                            folder, FewPaths(unlisted)));
  }
  if (unlinkat(dir_fd, kManifestName, 0) != 0 && errno != ENOENT)
    Fail(JoinPath(folder, kManifestName), errno);
}

}  // namespace

void DeleteFolderTree(const std::string& folder) {
  if (folder.empty()) return;
  ParentHandle parent = OpenParentHandle(folder);
  struct stat st {};
  if (fstatat(parent.dir.get(), parent.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return;
    Fail(folder, errno);
  }
  if (S_ISLNK(st.st_mode)) {
    // A link in the folder's place goes, never the folder it points to.
    if (unlinkat(parent.dir.get(), parent.name.c_str(), 0) != 0) Fail(folder, errno);
    return;
  }
  if (!S_ISDIR(st.st_mode)) {
    throw Error(fmt::format(
        "cannot delete {}: it is not a folder this program made; move it away and run again", folder));
  }
  Handle dir(openat(parent.dir.get(), parent.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) Fail(folder, errno);
  std::vector<std::string> unlisted;
  CollectUnlisted(dir.get(), folder, unlisted);
  if (!unlisted.empty()) {
    throw Error(fmt::format(
        "cannot delete {}: this program did not write {}; move them away or choose another folder", folder,
        FewPaths(unlisted)));
  }
  DeleteListed(dir.get(), folder);
  if (unlinkat(parent.dir.get(), parent.name.c_str(), AT_REMOVEDIR) != 0) Fail(folder, errno);
}

}  // namespace tavex
