// File-system helpers: whole-file reads with errors that name the file and
// case-insensitive lookup of names that come from the disc. Writing is the write
// layer's (write_layer.h), included here for the many readers that also write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/write_layer.h"  // the writing half: every write goes through it

namespace tavex {

// Joins two path parts with one "/" (an empty part gives the other unchanged).
std::string JoinPath(std::string_view a, std::string_view b);

// True when the path `inner` is `outer` or lies below it (both absolute and normal, without
// a trailing "/").
bool IsAtOrBelow(const std::string& inner, const std::string& outer);

bool FileExists(const std::string& path);    // a regular file (or a link to one)
bool FolderExists(const std::string& path);  // a directory
std::uint64_t FileSize(const std::string& path);  // throws Error naming the file

// Reads the whole file. Throws Error "cannot read PATH: reason".
std::string ReadFile(const std::string& path);
// Reads the whole file when it is a regular file of at most `max_bytes`; else throws Error
// "WHAT PATH has N bytes, more than the 1 MiB it may have" (or "… is not a regular file"),
// before memory is taken for it.
std::string ReadFileBounded(const std::string& path, std::uint64_t max_bytes, std::string_view what);

// "4 MiB", "64 KiB", "123 bytes": a size bound as messages and the README give it.
std::string SizeText(std::uint64_t bytes);

// Looks `name` up inside `folder` ignoring ASCII letter case, as the disc's
// case-insensitive file system did. Returns the existing path, or folder/name as
// given when nothing matches (so that the caller's open fails naming that path).
std::string ResolveCaseInsensitive(const std::string& folder, std::string_view name);

}  // namespace tavex
