// File-system helpers: whole-file reads and writes with errors that name the file,
// atomic replacement, case-insensitive lookup of names that come from the disc,
// and the recursive folder deletion of the working layout.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavex {

// Joins two path parts with one "/" (an empty part gives the other unchanged).
std::string JoinPath(std::string_view a, std::string_view b);

bool FileExists(const std::string& path);    // a regular file (or a link to one)
bool FolderExists(const std::string& path);  // a directory
std::uint64_t FileSize(const std::string& path);  // throws Error naming the file

// Reads the whole file. Throws Error "cannot read PATH: reason".
std::string ReadFile(const std::string& path);

// Writes `data` to `path` under a temporary name beside it and renames it into place,
// so the path holds either the old file or the whole new one. Throws Error naming the file.
void WriteFileAtomic(const std::string& path, std::string_view data);

// Writes `data` to `path` in place (created or truncated), without a temporary name: for
// the many files of a folder that is itself written under a temporary name and renamed
// when whole. Throws Error naming the file; a file left part-written is removed.
void WriteFileInPlace(const std::string& path, std::string_view data);

// Creates one folder level when missing. Throws Error naming the folder.
void CreateFolder(const std::string& path);
// Creates the folder and its missing parents.
void CreateFolders(const std::string& path);

// Looks `name` up inside `folder` ignoring ASCII letter case, as the disc's
// case-insensitive file system did. Returns the existing path, or folder/name as
// given when nothing matches (so that the caller's open fails naming that path).
std::string ResolveCaseInsensitive(const std::string& folder, std::string_view name);

// Deletes a folder with everything in it, deepest entries first, the folder last.
// Does nothing for an empty path. Throws Error with the system's message on failure.
void DeleteFolderTree(const std::string& folder);

// Renames `from` to `to`, replacing a file (or an empty folder) at `to`. Throws Error.
void RenamePath(const std::string& from, const std::string& to);

}  // namespace tavex
