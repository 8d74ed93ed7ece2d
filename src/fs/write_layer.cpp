// The write layer over openat, renameat and unlinkat. A written path is split into the
// deepest registered anchor and the parts below it; the anchor is opened by its path,
// each part below with O_DIRECTORY | O_NOFOLLOW, and the file is made relative to the
// last handle, so a link planted anywhere below the anchor stops the write.
#include "fs/write_layer.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <vector>

#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "fs/handles.h"
#include "fs/read_at.h"
#include "fs/write_handles.h"

namespace tavex {
namespace {

// An unpredictable name beside `name` for a file being written: hidden, with the name it
// stands in for and a random part. The folder's manifest lists it before it is made.
std::string TempName(const std::string& name) {
  unsigned char bytes[6];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno != EINTR) throw Error(fmt::format("cannot write {}: {}", name, SystemMessage(errno)));
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  std::string suffix;
  for (unsigned char byte : bytes) suffix += fmt::format("{:02x}", byte);
  return ".tavex2epwing-" + name.substr(0, 100) + "-" + suffix + ".tmp";
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

}  // namespace

void WriteFileAtomic(const std::string& path, std::string_view data) {
  NewFile file(path, NewFile::Placing::kAtomic);
  file.Write(data);
  file.Commit();
}

void WriteFileInPlace(const std::string& path, std::string_view data) {
  NewFile file(path, NewFile::Placing::kInPlace);
  file.Write(data);
  file.Commit();
}

NewFile::NewFile(const std::string& path, Placing placing)
    : path_(path), atomic_(placing == Placing::kAtomic) {
  ParentHandle parent = OpenParentHandle(path);
  folder_ = parent.folder;
  name_ = parent.name;
  CheckReplaceable(parent.dir.get(), path, name_);
  if (atomic_) {
    temp_name_ = TempName(name_);
    NoteInManifest(parent.dir.get(), folder_, name_, false);
    NoteInManifest(parent.dir.get(), folder_, temp_name_, false, true);
    fd_ = openat(parent.dir.get(), temp_name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0644);
    if (fd_ < 0) throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  } else {
    temp_name_ = name_;
    fd_ = OpenInPlace(parent.dir.get(), folder_, name_, path);
  }
  folder_fd_ = parent.dir.release();
}

NewFile::~NewFile() {
  if (fd_ >= 0) {
    close(fd_);
    unlinkat(folder_fd_, temp_name_.c_str(), 0);
  }
  if (folder_fd_ >= 0) close(folder_fd_);
}

void NewFile::Write(std::string_view bytes) { WriteAll(fd_, bytes, path_); }

void NewFile::Commit() {
  // A replaced file is flushed before the rename puts it in place; the files of a folder
  // written in place are flushed together before that folder's swap.
  if (atomic_ && fsync(fd_) != 0)
    throw Error(fmt::format("cannot write {}: {}", path_, SystemMessage(errno)));
  const int closed = close(fd_);
  const int err = errno;
  fd_ = -1;
  if (closed != 0) {
    unlinkat(folder_fd_, temp_name_.c_str(), 0);
    throw Error(fmt::format("cannot write {}: {}", path_, SystemMessage(err)));
  }
  if (!atomic_) return;
  try {
    CheckReplaceable(folder_fd_, path_, name_);  // again, right before the rename
    NoteInManifest(folder_fd_, folder_, name_, false);
  } catch (const Error&) {
    unlinkat(folder_fd_, temp_name_.c_str(), 0);
    throw;
  }
  if (renameat(folder_fd_, temp_name_.c_str(), folder_fd_, name_.c_str()) != 0) {
    const int rename_err = errno;
    unlinkat(folder_fd_, temp_name_.c_str(), 0);
    throw Error(fmt::format("cannot write {}: {}", path_, SystemMessage(rename_err)));
  }
  if (fsync(folder_fd_) != 0) throw Error(fmt::format("cannot write {}: {}", folder_, SystemMessage(errno)));
}

FolderFiles::FolderFiles(const std::string& folder)
    : folder_(NormalPath(folder)), dir_fd_(OpenFolderHandle(folder).release()) {
  try {
    manifest_ = std::make_unique<ManifestAppender>(dir_fd_, folder_);
  } catch (...) {
    close(dir_fd_);
    throw;
  }
}

FolderFiles::~FolderFiles() { close(dir_fd_); }

void FolderFiles::ReuseFrom(const std::string& previous) {
  // No previous book, or none to take from (no manifest, or one not ours): every file is
  // written anew.
  try {
    Handle dir = OpenFolderHandle(previous);
    if (!ForEachListedFile(dir.get(), NormalPath(previous), [this](const std::string& name) {
          previous_listed_.push_back(std::hash<std::string>{}(name));
        })) {
      return;
    }
    std::sort(previous_listed_.begin(), previous_listed_.end());
    previous_ = std::move(dir);
  } catch (const Error&) {
  }
}

bool FolderFiles::LinkPrevious(const std::string& name, std::string_view data) {
  if (previous_.get() < 0 ||
      !std::binary_search(previous_listed_.begin(), previous_listed_.end(), std::hash<std::string>{}(name))) {
    return false;
  }
  Handle fd(openat(previous_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  // A file of somebody else's would share its content with this book: never taken.
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      st.st_uid != geteuid() || static_cast<std::uint64_t>(st.st_size) != data.size()) {
    return false;
  }
  compared_.resize(data.size());
  if (ReadAt(fd.get(), compared_.data(), data.size(), 0) != static_cast<ssize_t>(data.size()) ||
      std::string_view(compared_) != data) {
    return false;
  }
  manifest_->NoteFile(name);
  // The compared file itself, through its handle: whatever is at its name meanwhile.
  const std::string handle_path = fmt::format("/proc/self/fd/{}", fd.get());
  return linkat(AT_FDCWD, handle_path.c_str(), dir_fd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

void FolderFiles::WriteInPlace(const std::string& name, std::string_view data) {
  const std::string path = JoinPath(folder_, name);
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    throw Error(fmt::format("cannot write {}: not a file name", path));
  }
  if (LinkPrevious(name, data)) return;
  Handle fd(OpenInPlace(dir_fd_, folder_, name, path, manifest_.get()));
  try {
    WriteAll(fd.get(), data, path);
  } catch (const Error&) {
    unlinkat(dir_fd_, name.c_str(), 0);  // no file is left part-written
    throw;
  }
  if (close(fd.release()) != 0) {
    const int err = errno;
    unlinkat(dir_fd_, name.c_str(), 0);
    throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(err)));
  }
}

std::FILE* OpenFileStream(const std::string& path) {
  ParentHandle parent = OpenParentHandle(path);
  CheckReplaceable(parent.dir.get(), path, parent.name);
  Handle fd(OpenInPlace(parent.dir.get(), parent.folder, parent.name, path));
  std::FILE* stream = fdopen(fd.get(), "w+b");
  if (stream == nullptr) throw Error(fmt::format("cannot write {}: {}", path, SystemMessage(errno)));
  fd.release();
  return stream;
}

void AppendStream(NewFile& out, std::FILE* stream, const std::string& stream_path) {
  if (std::fflush(stream) != 0 || std::fseek(stream, 0, SEEK_SET) != 0) {
    const int err = errno;
    throw Error(fmt::format("cannot read {}: {}", stream_path, SystemMessage(err)));
  }
  std::string buffer(1 << 20, '\0');
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
    if (got == 0) break;
    out.Write(std::string_view(buffer.data(), got));
  }
  if (std::ferror(stream)) throw Error(fmt::format("cannot read {}: read error", stream_path));
}

void CreateFolder(const std::string& path) {
  ParentHandle parent = OpenParentHandle(path);
  MakeFolderAt(parent.dir.get(), parent.folder, parent.name);
}

namespace {

// Makes the missing parts of `normal` by path, following the links in it (a path the user
// chose): a new part gets its manifest all the same.
void CreateByPath(const std::string& normal, const std::string& path) {
  std::string walked;
  for (const auto& part : std::filesystem::path(normal)) {
    walked = walked.empty() ? part.string() : JoinPath(walked, part.string());
    if (walked == "/") continue;
    struct stat st {};
    if (stat(walked.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    const std::size_t slash = walked.find_last_of('/');
    Handle parent(
        open(slash == 0 ? "/" : walked.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0) ThrowFolderError(path, walked.substr(0, slash), errno, AT_FDCWD);
    MakeFolderAt(parent.get(), slash == 0 ? "/" : walked.substr(0, slash), walked.substr(slash + 1));
  }
}

}  // namespace

void CreateFolders(const std::string& path) {
  if (path.empty()) return;
  const std::string normal = NormalPath(path);
  const std::string anchor = AnchorHolding(normal);
  // Outside every anchor, and the anchor itself, are the user's path.
  CreateByPath(anchor.empty() ? normal : anchor, path);
  if (anchor.empty() || normal == anchor) return;
  OpenFolderHandle(normal, {}, MakeFolderAt);
  // The walk makes only what is missing: a folder a killed run made and had not yet given
  // its manifest is taken up here, before anything is written into it.
  ParentHandle parent = OpenParentHandle(normal);
  MakeFolderAt(parent.dir.get(), parent.folder, parent.name);
}

void RenamePath(const std::string& from, const std::string& to) {
  ParentHandle source = OpenParentHandle(from);
  ParentHandle target = OpenParentHandle(to);
  CheckRenameTarget(target.dir.get(), to, target.name);
  NoteInManifest(target.dir.get(), target.folder, target.name, IsFolderAt(source.dir.get(), source.name));
  if (renameat(source.dir.get(), source.name.c_str(), target.dir.get(), target.name.c_str()) != 0) {
    throw Error("cannot rename " + from + " to " + to + ": " + SystemMessage(errno));
  }
  if (fsync(target.dir.get()) != 0)
    throw Error(fmt::format("cannot write {}: {}", target.folder, SystemMessage(errno)));
}

void ClaimName(const std::string& path) {
  ParentHandle parent = OpenParentHandle(path);
  NoteInManifest(parent.dir.get(), parent.folder, parent.name, false);
}

void RemoveFile(const std::string& path) {
  ParentHandle parent = OpenParentHandle(path);
  if (unlinkat(parent.dir.get(), parent.name.c_str(), 0) != 0 && errno != ENOENT) {
    throw Error(fmt::format("cannot delete {}: {}", path, SystemMessage(errno)));
  }
}

void FlushFolderTree(const std::string& folder) {
  Handle dir = OpenFolderHandle(folder);
  if (syncfs(dir.get()) != 0 || fsync(dir.get()) != 0) {
    throw Error(fmt::format("cannot flush {} to disk: {}", folder, SystemMessage(errno)));
  }
}

void FlushFolder(const std::string& folder) {
  Handle dir = OpenFolderHandle(folder);
  if (fsync(dir.get()) != 0)
    throw Error(fmt::format("cannot flush {} to disk: {}", folder, SystemMessage(errno)));
}

}  // namespace tavex
