// Making folders and opening files in place, on handles: what is at a name is looked at
// with AT_SYMLINK_NOFOLLOW, and a file opened for writing is checked on its descriptor
// before a byte of it changes.
#include "fs/write_handles.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "fs/stand_in.h"

namespace tavex {

void MakeFolderAt(int dir_fd, const std::string& folder, const std::string& name) {
  const std::string path = JoinPath(folder, name);
  struct stat st {};
  const bool parent_ours = fstatat(dir_fd, kManifestName, &st, AT_SYMLINK_NOFOLLOW) == 0;
  // A folder beside no manifest is made under a stand-in, so that it appears at its name
  // only with its manifest; a killed run's stand-in of it is finished first (a previous
  // folder comes back).
  if (!parent_ours && fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    FinishStandIns(dir_fd, folder, name);
  }
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) RefuseWrite(path, "it is a symbolic link, which is never followed");
    if (!S_ISDIR(st.st_mode)) RefuseWrite(path, "it is not a folder");
    if (parent_ours) {
      // Listed in our folder, but a kill came before its manifest: it is taken up again.
      // An unlisted folder is somebody's, even empty, and gets nothing written into it.
      // The parent's manifest is read only for a folder without one of its own.
      Handle existing(openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (existing.get() >= 0 && fstatat(existing.get(), kManifestName, &st, AT_SYMLINK_NOFOLLOW) != 0 &&
          errno == ENOENT) {
        const std::optional<Manifest> parent = ReadManifest(dir_fd, folder);
        if (parent && IsKilledBeforeManifest(*parent, name, existing.get(), path)) StartManifest(existing.get(), path);
      }
    }
    return;
  }
  if (!parent_ours) {
    const std::string standin = MakeStandIn(dir_fd, folder, name, StandInKind::kNew);
    if (renameat2(dir_fd, standin.c_str(), dir_fd, name.c_str(), RENAME_NOREPLACE) != 0) {
      const int err = errno;
      try {
        DeleteStandIn(dir_fd, folder, standin);
      } catch (const Error&) {
        // Left, recorded, for the next run.
      }
      if (err == EEXIST && IsFolderAt(dir_fd, name)) return;  // made meanwhile by another writer
      throw Error(fmt::format("cannot create folder {}: {}", path, SystemMessage(err)));
    }
    DropStandInRecord(dir_fd, standin);
    return;
  }
  NoteInManifest(dir_fd, folder, name, true);
  if (mkdirat(dir_fd, name.c_str(), 0755) != 0) {
    const int err = errno;
    if (err == EEXIST && IsFolderAt(dir_fd, name)) return;  // made meanwhile by another writer
    throw Error(fmt::format("cannot create folder {}: {}", path, SystemMessage(err)));
  }
  Handle made(openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (made.get() < 0) throw Error(fmt::format("cannot create folder {}: {}", path, SystemMessage(errno)));
  StartManifest(made.get(), path);
}

int OpenInPlace(int dir_fd, const std::string& folder, const std::string& name, const std::string& path,
                ManifestAppender* manifest) {
  struct stat st {};
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) {
    if (manifest != nullptr) {
      manifest->NoteFile(name);
    } else {
      NoteInManifest(dir_fd, folder, name, false);
    }
    const int fd = openat(dir_fd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    if (errno != EEXIST) throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  }
  // An existing file: opened without truncation (and without waiting on a FIFO), checked
  // on its descriptor, and only then emptied.
  Handle fd(openat(dir_fd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    const int err = errno;
    CheckReplaceable(dir_fd, path, name);
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(err)));
  }
  if (fstat(fd.get(), &st) != 0) throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  if (const std::string why = NotReplaceableWhy(st); !why.empty()) RefuseWrite(path, why);
  if (ftruncate(fd.get(), 0) != 0)
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd.release();
}

}  // namespace tavex
