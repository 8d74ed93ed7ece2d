// Replacing a whole output folder (base_folder after a mode 0 run, an EPWING book) so
// that a crash at any point leaves a whole folder under one of four names, and so that
// no folder the program did not make is ever deleted or put in place:
//   TARGET.staging / .new  being written (the caller chooses the name)
//   TARGET.ready           complete, about to replace the target
//   TARGET.old             the previous folder, being removed
// Each of these carries a mark file inside that says this program made it; a folder of
// such a name without the mark stops the command with an error naming it. A finished
// EPWING book carries a stamp file, so that a later build knows it may replace it.
// Readers of the books ignore both files.
#pragma once

#include <string>
#include <vector>

namespace tavex {

// The mark file inside a staging, ready or old folder of a swap.
inline constexpr const char* kSwapMarkName = ".tavex2epwing-swap";
// The stamp file inside a finished EPWING book.
inline constexpr const char* kBookStampName = ".tavex2epwing-book";

// True when `folder` holds the swap mark (a regular file, not a link, with our text).
bool HasSwapMark(const std::string& folder);
// Writes the swap mark into `folder`. Throws Error naming the folder.
void WriteSwapMark(const std::string& folder);

// True when `folder` holds the book stamp.
bool HasBookStamp(const std::string& folder);
// Writes the book stamp into a finished book's folder. Throws Error naming the folder.
void WriteBookStamp(const std::string& folder);

// Refuses `folder` as the place of a book that replaces it whole, before anything is
// touched, unless it is missing, an empty folder or a book this program stamped. Also
// refused: a symbolic link, a file, "/", the home folder, and any of
// `protected_folders` or a folder that holds one of them. Throws Error naming the folder
// and saying to choose an empty or new one.
void CheckOutputFolder(const std::string& folder, const std::vector<std::string>& protected_folders);

// Checks that `target` can be replaced by SwapInFolder: its ready and old names are free
// or hold marked leftovers, and the target (when present) is a folder whose every
// sub-folder, and whose parent, can be written. Throws Error naming the folder at fault.
void CheckFolderSwap(const std::string& target);

// Makes the marked, empty staging folder `staging` for a later SwapInFolder onto
// `target`, after CheckFolderSwap(target): a marked leftover of a killed run is removed
// first; an unmarked folder of that name stops with an Error naming it.
void CreateStagingFolder(const std::string& staging, const std::string& target);

// Removes a staging folder that carries the mark; anything else is left. Never throws
// (a leftover goes with the next run).
void RemoveStagingFolder(const std::string& staging) noexcept;

// Puts the complete, marked folder `staging` in place of `target` and removes the
// previous one. Everything is checked before the first rename; a rename that fails
// puts every folder back where it was. Throws Error naming the folder.
void SwapInFolder(const std::string& staging, const std::string& target);

// Finishes an interrupted SwapInFolder of `target` from marked folders only: a complete
// folder waiting under its ready name is put in place, and a previous one left under its
// old name is removed (or put back when nothing replaced it). Unmarked folders of those
// names are left alone. Never throws: a step that fails (a folder that cannot be moved or
// removed) leaves the folders as they were, marked, for the next swap, which removes them
// or stops naming them; so a stuck leftover never makes every later command fail.
void RecoverFolderSwap(const std::string& target) noexcept;

// What a reader finds at `target` without the writer's lock and without changing
// anything: the folder RecoverFolderSwap would put there, and whether a swap was left
// unfinished.
struct RecoveredFolder {
  std::string folder;       // where the folder's current content is
  bool unfinished = false;  // a marked ready or old folder is waiting
};
RecoveredFolder FindRecoveredFolder(const std::string& target);

}  // namespace tavex
