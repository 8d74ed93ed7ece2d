// The manifest of a folder the program made: the names it wrote into it, kept in a file
// inside the folder. A name is listed before the file or folder is made, so a run killed
// at any point leaves nothing unlisted; so is each temporary file a write makes beside
// its final name, which is how a later run knows it for one of ours. Deleting or
// replacing the folder removes exactly the listed names; anything else found there stops
// the command before the first change, naming it. A folder without a manifest is not the
// program's and is never written into, deleted or replaced. A manifest is bounded in
// size and in the names it lists, and trees are walked without recursion and to a
// bounded depth, so a forged one costs a named error, not the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fs/handles.h"  // Handle

namespace tavex {

// The manifest's name inside each folder the program made.
inline constexpr const char* kManifestName = ".tavex2epwing-manifest";

// Bounds of one manifest and of the folders below one folder the program made.
inline constexpr std::uint64_t kMaxManifestBytes = 16ull << 20;
inline constexpr std::size_t kMaxManifestNames = 500'000;
inline constexpr std::size_t kMaxFolderDepth = 32;

// The names a manifest lists, each sorted: files, folders (each with a manifest of its
// own) and the temporary files of writes.
struct Manifest {
  std::vector<std::string> files;
  std::vector<std::string> folders;
  std::vector<std::string> temps;

  bool ListsFile(const std::string& name) const;
};

// The manifest of the folder open as `dir_fd` (the folder `folder`), or nullopt when it has
// none. A manifest that is a link, a hard link, not ours or over its bounds throws Error
// naming it.
std::optional<Manifest> ReadManifest(int dir_fd, const std::string& folder);

// Calls `each` with every file name the manifest of `dir_fd` lists, in the manifest's
// order and without building its lists (a folder of tens of thousands of files); false
// when the folder has none. Throws as ReadManifest does.
bool ForEachListedFile(int dir_fd, const std::string& folder, const std::function<void(const std::string&)>& each);

// Whether `manifest` covers the entry `name` whose type is `mode` (st_mode): a listed
// folder, a listed file (or a link or other non-folder at its name), a listed temporary file.
bool Covers(const Manifest& manifest, const std::string& name, unsigned mode);

// Writes an empty manifest into the new folder open as `dir_fd`. Throws Error.
void StartManifest(int dir_fd, const std::string& folder);

// Lists `name` in the manifest of the folder open as `dir_fd`, when it has one and the
// name is not listed yet; `temp` lists it as a write's temporary file. The first time a
// process lists in a folder, the temporary files a killed run left there (listed ones
// only) are removed. Throws Error naming the manifest.
void NoteInManifest(int dir_fd, const std::string& folder, const std::string& name, bool is_folder,
                    bool temp = false);

// The manifest of one folder held open while many files are written into it in a row (a
// folder of tens of thousands of recordings): opened, checked and swept of a killed
// run's temporary files once, so that each new name costs one appended line rather than
// an open, a check and a close. A folder without a manifest is not the program's and
// gets no list, as with NoteInManifest. Names are not remembered: a name listed twice
// does no harm.
class ManifestAppender {
 public:
  // Throws Error naming the manifest when it is not ours or over its bounds.
  ManifestAppender(int dir_fd, const std::string& folder);
  // Lists the file `name`. Throws Error naming the manifest.
  void NoteFile(const std::string& name);

 private:
  Handle fd_;  // -1 for a folder without a manifest
  std::string path_;
  std::uint64_t size_ = 0;
};

// Appends to `unlisted` every entry below the folder open as `dir_fd` that its manifests
// do not list (the folder itself when it has no manifest), walking listed sub-folders
// through handles without following links. A listed sub-folder that is empty and has no
// manifest (a run was killed between making it and writing its manifest, or between
// removing that manifest and the folder) counts as listed.
void CollectUnlisted(int dir_fd, const std::string& folder, std::vector<std::string>& unlisted);

// The paths of `folder`'s tree that the program did not write (see CollectUnlisted);
// empty for a missing folder. A link or file at `folder` is itself listed.
std::vector<std::string> UnlistedIn(const std::string& folder);

// Throws Error unless `folder` is missing or holds only what its manifests list, naming
// the first unlisted paths: "cannot ACTION FOLDER: this program did not write …".
void CheckOwnTree(const std::string& folder, const std::string& action);

// Throws Error naming `folder` when it is a real folder without a manifest: somebody
// else's, so nothing may be written into it. A manifest that is not ours throws as
// ReadManifest does. A missing folder passes, and a link or file at its name is left to
// the write layer, which names it as what it is. So does an empty folder its parent's
// manifest lists: a killed run made it and had not yet written its manifest.
void RequireOwnFolder(const std::string& folder);

// True when `folder` is a real folder with a manifest.
bool HasManifest(const std::string& folder);

// "a, b and 3 more": the first few of `paths` for a message.
std::string FewPaths(const std::vector<std::string>& paths);

// True when the folder open as `dir_fd` has no entry at all.
bool IsEmptyFolderAt(int dir_fd);

// Whether the folder `name`, open as `folder_fd` inside a folder whose manifest is
// `parent`, is one a run was killed in between making and writing its manifest: listed
// as a folder by `parent`, without a manifest of its own, and empty. Making it again
// takes it up; no other folder without a manifest is ever the program's. A manifest of
// its own that is not ours throws as ReadManifest does.
bool IsKilledBeforeManifest(const Manifest& parent, const std::string& name, int folder_fd,
                            const std::string& folder);

// A name as one line of a manifest or a record: "\\" and "\n" stand for a backslash and a
// line break. UnescapeLine reads it back.
std::string EscapeLine(std::string_view text);
std::string UnescapeLine(std::string_view text);

}  // namespace tavex
