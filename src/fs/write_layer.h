// The one layer through which the program writes below its workspace and output
// folders, so that it never writes through, replaces or deletes a file it did not make:
// - folders are opened as handles, part by part with O_NOFOLLOW below an anchor (the
//   workspace, an output folder's parent), so a link planted below it is never followed;
// - new files are made under names nobody can predict with O_CREAT | O_EXCL | O_NOFOLLOW
//   and renamed into place with renameat;
// - a file that is to be replaced or truncated must be a regular file with one link;
//   anything else stops the command before anything is touched, naming the file;
// - a replaced file is flushed before its rename and its folder after it, so a power
//   cut leaves the old or the new file whole;
// - every folder the layer makes keeps a manifest of what was written into it (see
//   manifest.h), and a folder is deleted only by that manifest.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fs/handles.h"  // WriteAnchor

namespace tavex {

class ManifestAppender;

// Writes `data` to `path` under an unpredictable temporary name beside it, flushes it and
// renames it into place, then flushes the folder. Throws Error naming the file.
void WriteFileAtomic(const std::string& path, std::string_view data);

// Writes `data` to `path` in place, for the files of a folder that is itself written
// under a temporary name and swapped in when whole. An existing file is truncated only
// when it is a regular file with one link. A file left part-written is removed.
void WriteFileInPlace(const std::string& path, std::string_view data);

// A file being written: under a temporary name (kAtomic, renamed into place by Commit)
// or at its own name (kInPlace). Dropped before Commit, it is removed.
class NewFile {
 public:
  enum class Placing { kAtomic, kInPlace };
  explicit NewFile(const std::string& path, Placing placing = Placing::kAtomic);
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Writes all of `bytes` (unbuffered: callers gather). Throws Error naming the file.
  void Write(std::string_view bytes);
  // Closes the file (flushed to disk for kAtomic), renames it into place, flushes its folder.
  void Commit();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string folder_;
  std::string temp_name_;  // the name written under
  std::string name_;       // the final name
  int folder_fd_ = -1;
  int fd_ = -1;
  bool atomic_ = true;
};

// Writes many files in place into one folder that is itself written under a temporary
// name (a pronunciation folder of tens of thousands of recordings): the folder is opened
// once, by the rules of every write, and each file is made relative to that handle, so
// the folder's path is not walked again for every file.
class FolderFiles {
 public:
  // Opens `folder`, which must exist. Throws Error naming it.
  explicit FolderFiles(const std::string& folder);
  ~FolderFiles();
  FolderFiles(const FolderFiles&) = delete;
  FolderFiles& operator=(const FolderFiles&) = delete;

  // Writes `data` as the file `name` of the folder, by the rules of WriteFileInPlace.
  void WriteInPlace(const std::string& name, std::string_view data);

  // Lets WriteInPlace take a file from `previous`, the same folder of the book this one
  // replaces, where it holds the same bytes: the new name is a second name of that file
  // (a hard link), made from the handle whose content was compared. Replacing a book of
  // tens of thousands of files then neither makes nor frees as many inodes, which a file
  // system without a journal makes slow for minutes after a mass deletion. Only a folder
  // with this program's manifest is used, and only a regular file it lists that has no
  // other name; anything else is written anew. Nothing of `previous` changes. Call it
  // before the first write.
  void ReuseFrom(const std::string& previous);

 private:
  bool LinkPrevious(const std::string& name, std::string_view data);

  std::string folder_;
  int dir_fd_ = -1;
  std::unique_ptr<ManifestAppender> manifest_;  // the folder's manifest, held open
  Handle previous_;  // ReuseFrom's folder, or none
  // The files its manifest lists, as sorted hashes of their names: a folder of 80,000
  // names costs 640 kB this way rather than 6 MB. Two names that share a hash would only
  // let a file of the same bytes, owner and single name be taken.
  std::vector<std::size_t> previous_listed_;
  std::string compared_;  // a previous file's bytes, read to compare
};

// Creates `path` in place (rules of WriteFileInPlace) and opens it for writing and
// reading back as a stdio stream. Throws Error naming the file.
std::FILE* OpenFileStream(const std::string& path);
// Appends the whole of `stream` (a file of OpenFileStream's, read from its start) to
// `out`. Throws Error naming `stream_path`.
void AppendStream(NewFile& out, std::FILE* stream, const std::string& stream_path);

// Creates one folder level when missing; an existing one must be a folder, not a link.
// A new folder gets an empty manifest, and is listed in its parent's manifest when the
// parent has one. Throws Error naming the folder.
void CreateFolder(const std::string& path);
// Creates the folder and its missing parents (each as CreateFolder).
void CreateFolders(const std::string& path);

// Renames `from` to `to` inside the anchored folders. An existing `to` must be a regular
// file with one link or an empty folder. The target folder is flushed after the rename.
void RenamePath(const std::string& from, const std::string& to);

// Lists `path` in its folder's manifest (when the folder has one) without writing it:
// for a file another library writes, such as the working database and its journal.
void ClaimName(const std::string& path);

// Removes the file `path` (a link is removed as a link); a missing one is no error.
void RemoveFile(const std::string& path);

// Flushes everything written to the file system that holds `folder` (syncfs) and then
// the folder itself: the step before a swap's first rename.
void FlushFolderTree(const std::string& folder);
// Flushes the folder `folder` itself (its entries' names), after renames inside it.
void FlushFolder(const std::string& folder);

// Deletes a folder this program made, by its manifest (see manifest.h; it lives with the
// stand-ins in folder_swap.cpp): the folder is moved aside as a recorded stand-in, then
// everything it lists goes, deepest first, and the folder. A link in its place is
// removed as a link.
// Anything unlisted stops the delete before the first change, naming it. Nothing for a
// missing folder or an empty path.
void DeleteFolderTree(const std::string& folder);

}  // namespace tavex
