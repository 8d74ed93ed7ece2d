// Every book made from the source (EPWING, StarDict, MDict) is written into a staging
// folder beside its place and takes that place only when whole, flushed to disk first;
// a failed build leaves the previous book as it was.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tavex::source {

// Writes a book into `out_folder` through `write`, which fills the staging folder it is
// given. What a killed build left beside the folder is finished or removed first; the
// folder must be one the program may replace (CheckOutputFolder, with
// `protected_folders`). Throws Error; the staging folder is then removed and the previous
// book kept.
void WriteBookFolder(const std::string& out_folder, const std::vector<std::string>& protected_folders,
                     const std::function<void(const std::string& staging)>& write);

// Where a book other than the EPWING one is read from and written to.
struct BookOptions {
  std::string base_folder;  // the finished book source
  std::string out_folder;   // the book's folder; replaced whole
  // Folders the book must not replace or lie in (the workspace's own).
  std::vector<std::string> protected_folders;
};

// WriteBookFolder for `options`, once its base_folder is found to be there: `write` is
// given the staging folder to fill. Throws Error naming a missing base_folder.
void WriteBookFrom(const BookOptions& options, const std::function<void(const std::string& staging)>& write);

}  // namespace tavex::source
