// The writing parts of the write layer below its public functions (write_layer.cpp,
// folder_swap.cpp): making a folder with its manifest, and opening a file for writing at
// its own name.
#pragma once

#include <string>

#include "fs/handles.h"

namespace tavex {

class ManifestAppender;

// Makes the folder `name` inside `dir_fd` (the folder `folder`) with an empty manifest,
// listed in the parent's manifest; an existing real folder is kept. Throws Error.
void MakeFolderAt(int dir_fd, const std::string& folder, const std::string& name);

// Opens `name` inside `dir_fd` for writing at its own name: created (and listed in the
// folder's manifest) when missing, else truncated after CheckReplaceable's checks on the
// opened file. Throws Error naming `path`. `manifest`, when given, is the folder's
// manifest held open (see ManifestAppender) and lists the new name.
int OpenInPlace(int dir_fd, const std::string& folder, const std::string& name, const std::string& path,
                ManifestAppender* manifest = nullptr);

}  // namespace tavex
