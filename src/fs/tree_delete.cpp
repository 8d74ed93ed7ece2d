// The deletion walks with a stack of folder handles, not of calls, so that depth costs no
// stack; CollectUnlisted bounds the depth before anything is removed.
#include "fs/tree_delete.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "fs/handles.h"

namespace tavex {
namespace {

[[noreturn]] void Fail(const std::string& path, int err) {
  throw Error(fmt::format("cannot delete {}: {}", path, SystemMessage(err)));
}

// The entries of a folder but its manifest, each with the type its listing gives.
std::vector<std::pair<std::string, unsigned char>> EntriesOf(int dir_fd, const std::string& folder) {
  std::vector<std::pair<std::string, unsigned char>> names;
  if (!ForEachEntry(dir_fd, [&](std::string_view name, unsigned char type) {
        if (name != kManifestName) names.emplace_back(name, type);
      })) {
    Fail(folder, errno);
  }
  return names;
}

struct Frame {
  Handle dir;
  std::string path;
  std::string name;  // in the folder of the frame below
  std::optional<Manifest> manifest;
  std::vector<std::pair<std::string, unsigned char>> names;
  bool kept = false;  // something appeared in it meanwhile: it stays, with its manifest
};

}  // namespace

void DeleteTreeAt(int parent_fd, const std::string& parent, const std::string& name, bool known_bare) {
  const std::string path = JoinPath(parent, name);
  struct stat st {};
  if (fstatat(parent_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return;
    Fail(path, errno);
  }
  if (S_ISLNK(st.st_mode)) {
    // A link in the folder's place goes, never the folder it points to.
    if (unlinkat(parent_fd, name.c_str(), 0) != 0 && errno != ENOENT) Fail(path, errno);
    return;
  }
  if (!S_ISDIR(st.st_mode)) {
    throw Error(
        fmt::format("cannot delete {}: it is not a folder this program made; move it away and run again", path));
  }
  Handle top(openat(parent_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (top.get() < 0) Fail(path, errno);
  std::optional<Manifest> manifest = ReadManifest(top.get(), path);
  if (!manifest && known_bare && IsEmptyFolderAt(top.get())) {
    if (unlinkat(parent_fd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) Fail(path, errno);
    return;
  }
  std::vector<std::string> unlisted;
  CollectUnlisted(top.get(), path, unlisted);
  if (!unlisted.empty()) {
    throw Error(fmt::format(
        "cannot delete {}: this program did not write {}; move them away or choose another folder", path,
        FewPaths(unlisted)));
  }

  std::vector<std::string> appeared;
  std::vector<Frame> stack;
  stack.push_back({std::move(top), path, name, std::move(manifest), {}, false});
  stack.back().names = EntriesOf(stack.back().dir.get(), path);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.names.empty()) {
      const bool kept = frame.kept;
      const std::string done_path = frame.path;
      const std::string done_name = frame.name;
      if (!kept && unlinkat(frame.dir.get(), kManifestName, 0) != 0 && errno != ENOENT) {
        Fail(JoinPath(done_path, kManifestName), errno);
      }
      stack.pop_back();
      const int below = stack.empty() ? parent_fd : stack.back().dir.get();
      if (kept) {
        if (!stack.empty()) stack.back().kept = true;
        continue;
      }
      if (unlinkat(below, done_name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) Fail(done_path, errno);
      continue;
    }
    const std::string entry = std::move(frame.names.back().first);
    const unsigned char type = frame.names.back().second;
    frame.names.pop_back();
    const std::string entry_path = JoinPath(frame.path, entry);
    const unsigned mode = EntryMode(frame.dir.get(), entry, type);
    if (mode == 0) continue;  // gone meanwhile
    if (!frame.manifest || !Covers(*frame.manifest, entry, mode)) {
      appeared.push_back(entry_path);
      frame.kept = true;
      continue;
    }
    if (S_ISDIR(mode)) {
      Handle sub(openat(frame.dir.get(), entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (sub.get() >= 0) {
        Frame next{std::move(sub), entry_path, entry, std::nullopt, {}, false};
        next.manifest = ReadManifest(next.dir.get(), entry_path);
        next.names = EntriesOf(next.dir.get(), entry_path);
        stack.push_back(std::move(next));
        continue;
      }
      if (errno != ELOOP && errno != ENOTDIR) Fail(entry_path, errno);
      // Swapped for a link or a file since it was looked at: removed as one.
    }
    if (unlinkat(frame.dir.get(), entry.c_str(), 0) != 0 && errno != ENOENT) {
      if (errno != EISDIR) Fail(entry_path, errno);
      appeared.push_back(entry_path);
      frame.kept = true;
    }
  }
  if (!appeared.empty()) {
    throw Error(fmt::format("cannot delete {}: this program did not write {}; move them away and run again",
                            path, FewPaths(appeared)));
  }
}

}  // namespace tavex
