// The project file TAVEX.ebs with which the authoring tool builds the book from the
// files in base_folder: a fixed list of the tool's settings, only the two folder
// settings depending on where the book was made.
#pragma once

#include <string>

namespace tavex {

// base_folder as the authoring tool sees it when it runs under Wine: "Z:", the absolute
// path with backslashes, and a trailing backslash ("/w/base_folder" -> "Z:\w\base_folder\").
// The settings key ebs_base (or --ebs-base) replaces it for a book built elsewhere.
std::string EbsBasePath(const std::string& base_folder);

// The text of the project file (UTF-8, CR LF after every line) for `base_folder_as_seen`,
// which fills InPath and OutPath; a trailing backslash is added when it has none.
std::string ProjectFileText(const std::string& base_folder_as_seen);

// Writes the project file to `path` in Shift_JIS, replacing any existing file.
// Throws Error naming the file.
void WriteProjectFile(const std::string& path, const std::string& base_folder_as_seen);

}  // namespace tavex
