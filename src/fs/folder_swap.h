// Replacing a whole output folder (base_folder after a mode 0 run, an EPWING book) so
// that a crash at any point leaves the previous folder or the new one whole at the
// target's name, and so that no folder the program did not make is ever deleted or put
// in place. The new folder is written into a stand-in beside the target (stand_in.h: a
// name nobody chooses, recognised by its record); one exchange of the two names puts it
// in place, and the previous folder, now under the stand-in's name, is deleted by its
// manifests. Readers of the books ignore the manifests and the stand-ins.
#pragma once

#include <string>
#include <vector>

namespace tavex {

// Refuses `folder` as the place of a book that replaces it whole, before anything is
// touched, unless it is missing, an empty folder or a folder that holds only what its
// manifests list. Also refused: a symbolic link, a file, "/", the home folder, and any of
// `protected_folders` or a folder that holds one of them. Throws Error naming the folder
// and saying to choose an empty or new one.
void CheckOutputFolder(const std::string& folder, const std::vector<std::string>& protected_folders);

// Checks that `target` can be replaced by SwapInFolder: when present it is a folder that
// holds only what its manifests list (or nothing at all) and whose every sub-folder can
// be written, and its parent can be written. Throws Error naming the folder at fault.
void CheckFolderSwap(const std::string& target);

// Makes the empty staging folder for a later SwapInFolder onto `target`, after
// CheckFolderSwap(target) and after finishing what killed runs left beside it; returns
// its path (a stand-in beside `target`).
std::string CreateStagingFolder(const std::string& target);

// Removes a staging folder this run made. Never throws (a leftover goes with the next run).
void RemoveStagingFolder(const std::string& staging) noexcept;

// Puts the complete staging folder `staging` in place of `target` and removes the
// previous one. Everything is checked before the exchange. Throws Error naming the folder.
void SwapInFolder(const std::string& staging, const std::string& target);

// Finishes what a killed run left beside `target`: stand-ins are removed by their
// manifests, and a previous folder moved aside is put back when nothing replaced it.
// Never throws: a leftover that holds something unlisted stays, out of the way.
void RecoverFolderSwap(const std::string& target) noexcept;

// What a reader finds at `target` without the writer's lock and without changing
// anything: the folder RecoverFolderSwap would leave there, and whether a replacement
// was left unfinished.
struct RecoveredFolder {
  std::string folder;       // where the folder's current content is
  bool unfinished = false;  // a previous folder waits beside a missing target
};
RecoveredFolder FindRecoveredFolder(const std::string& target);

}  // namespace tavex
