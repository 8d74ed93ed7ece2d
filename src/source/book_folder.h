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

}  // namespace tavex::source
