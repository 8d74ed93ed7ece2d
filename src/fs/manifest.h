// The manifest of a folder the program made: the names it wrote into it, kept in a file
// inside the folder. A name is listed before the file or folder is made, so a run killed
// at any point leaves nothing unlisted. Deleting or replacing the folder removes exactly
// the listed names (and the write layer's temporary files of them, "NAME.tmp-" and 12 hex
// digits); anything else found there stops the command before the first change, naming
// it. A folder without a manifest is not the program's and is never deleted.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tavex {

// The manifest's name inside each folder the program made.
inline constexpr const char* kManifestName = ".tavex2epwing-manifest";

// The names a manifest lists: files, and folders (each with a manifest of its own).
struct Manifest {
  std::set<std::string> files;
  std::set<std::string> folders;
};

// The manifest of the folder open as `dir_fd` (the folder `folder`), or nullopt when it has
// none. A manifest that is a link, a hard link or not ours throws Error naming it.
std::optional<Manifest> ReadManifest(int dir_fd, const std::string& folder);

// Whether `manifest` covers the entry `name` whose type is `mode` (st_mode): a listed
// folder, a listed file (or a link or other non-folder at its name), a temporary file of
// a listed file.
bool Covers(const Manifest& manifest, const std::string& name, unsigned mode);

// Writes an empty manifest into the new folder open as `dir_fd`. Throws Error.
void StartManifest(int dir_fd, const std::string& folder);

// Lists `name` in the manifest of the folder open as `dir_fd`, when it has one and the
// name is not listed yet. Throws Error naming the manifest.
void NoteInManifest(int dir_fd, const std::string& folder, const std::string& name, bool is_folder);

// Appends to `unlisted` every entry below the folder open as `dir_fd` that its manifests
// do not list (the folder itself when it has no manifest), walking listed sub-folders
// through handles without following links.
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
// the write layer, which names it as what it is.
void RequireOwnFolder(const std::string& folder);

// True when `folder` is a real folder with a manifest.
bool HasManifest(const std::string& folder);

// "a, b and 3 more": the first few of `paths` for a message.
std::string FewPaths(const std::vector<std::string>& paths);

// True when `folder` is a real folder without a manifest whose every entry, at any depth,
// matches one of `patterns` by name and by type: "NAME" a regular file, "NAME/" a folder,
// "DIR/*SUFFIX" a regular file in DIR whose name ends in SUFFIX. Links never match.
bool MatchesEarlierLayout(const std::string& folder, const std::vector<std::string>& patterns);

// Writes manifests into a folder tree made by an earlier version of the program, listing
// everything in it; the caller has found that every entry matches the known layout.
void AdoptTree(const std::string& folder);

}  // namespace tavex
