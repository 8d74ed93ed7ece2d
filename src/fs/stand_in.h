// Folders that stand in for a folder beside it while that folder is made, replaced or
// deleted: a new book being written, the previous book being removed, a folder on its
// way out. A stand-in has a name nobody chooses (".tavex2epwing-", the folder's name, a
// random part), and it is recognised only by its record: a small file beside it, written
// whole before the stand-in is made, that says what it is (its kind), which folder it
// stands in for and which run made it. A user's "epwing.old" or "base_folder.ready" is
// therefore never anything to this program, and a run killed at any point leaves only
// stand-ins whose records tell the next run what to finish.
#pragma once

#include <string>

namespace tavex {

enum class StandInKind {
  kNew,       // being written; removed when the run did not put it in place
  kPrevious,  // the folder it stands in for, moved aside; put back when nothing replaced it
  kDeleted,   // on its way out; removed
};

// Makes an empty folder of this program's (with its manifest) beside `target_name` inside
// the folder open as `parent_fd` (the folder `parent`), its record first. Returns the
// stand-in's name. Throws Error naming the target.
std::string MakeStandIn(int parent_fd, const std::string& parent, const std::string& target_name,
                        StandInKind kind);

// Moves the folder `name` aside under a new stand-in of `kind`, its record first, and
// returns the stand-in's name. Throws Error naming the folder.
std::string MoveToStandIn(int parent_fd, const std::string& parent, const std::string& name, StandInKind kind);

// Removes the record of the stand-in `standin` once its folder has left that name (put in
// place, or deleted).
void DropStandInRecord(int parent_fd, const std::string& standin) noexcept;

// Deletes the stand-in `standin` by its manifests, then its record. Throws Error naming
// anything its manifests do not list, which then stays.
void DeleteStandIn(int parent_fd, const std::string& parent, const std::string& standin);

// Finishes what killed runs left of the stand-ins for `target_name`: a previous folder is
// put back when nothing took its place, and every other one is deleted by its manifests.
// A stand-in that holds something its manifests do not list stays, recorded, and is named
// by the next command that needs the name. Never throws.
void FinishStandIns(int parent_fd, const std::string& parent, const std::string& target_name) noexcept;

// The stand-in of kind kPrevious for `target_name`, or "" when there is none: what a
// reader takes for the folder while it is missing.
std::string PreviousStandIn(int parent_fd, const std::string& target_name);

}  // namespace tavex
