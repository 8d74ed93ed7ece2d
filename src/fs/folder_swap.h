// Replacing a whole output folder (base_folder after a mode 0 run, an EPWING book) so
// that a crash at any point leaves a whole folder under one of four names, and so that
// no folder the program did not make is ever deleted or put in place:
//   TARGET.staging / .new  being written (the caller chooses the name)
//   TARGET.ready           complete, about to replace the target
//   TARGET.old             the previous folder, being removed
// Each of these, like the target, carries the manifest of what the program wrote into it
// (manifest.h); a folder of such a name without one, or holding anything its manifest
// does not list, stops the command with an error naming it. Readers of the books ignore
// the manifests.
#pragma once

#include <string>
#include <vector>

namespace tavex {

// Refuses `folder` as the place of a book that replaces it whole, before anything is
// touched, unless it is missing, an empty folder or a folder that holds only what its
// manifests list. Also
// refused: a symbolic link, a file, "/", the home folder, and any of
// `protected_folders` or a folder that holds one of them. Throws Error naming the folder
// and saying to choose an empty or new one.
void CheckOutputFolder(const std::string& folder, const std::vector<std::string>& protected_folders);

// Checks that `target` can be replaced by SwapInFolder: its ready and old names are free
// or hold owned leftovers, and the target (when present) is a folder whose every
// sub-folder, and whose parent, can be written. Throws Error naming the folder at fault.
void CheckFolderSwap(const std::string& target);

// Makes the owned, empty staging folder `staging` for a later SwapInFolder onto
// `target`, after CheckFolderSwap(target): a owned leftover of a killed run is removed
// first; an unowned folder of that name stops with an Error naming it.
void CreateStagingFolder(const std::string& staging, const std::string& target);

// Removes a staging folder that carries a manifest; anything else is left. Never throws
// (a leftover goes with the next run).
void RemoveStagingFolder(const std::string& staging) noexcept;

// Puts the complete, owned folder `staging` in place of `target` and removes the
// previous one. Everything is checked before the first rename; a rename that fails
// puts every folder back where it was. Throws Error naming the folder.
void SwapInFolder(const std::string& staging, const std::string& target);

// Finishes an interrupted SwapInFolder of `target` from owned folders only: a complete
// folder waiting under its ready name is put in place, and a previous one left under its
// old name is removed (or put back when nothing replaced it). Unowned folders of those
// names are left alone. Never throws: a step that fails (a folder that cannot be moved or
// removed) leaves the folders as they were, owned, for the next swap, which removes them
// or stops naming them; so a stuck leftover never makes every later command fail.
void RecoverFolderSwap(const std::string& target) noexcept;

// What a reader finds at `target` without the writer's lock and without changing
// anything: the folder RecoverFolderSwap would put there, and whether a swap was left
// unfinished.
struct RecoveredFolder {
  std::string folder;       // where the folder's current content is
  bool unfinished = false;  // a owned ready or old folder is waiting
};
RecoveredFolder FindRecoveredFolder(const std::string& target);

}  // namespace tavex
