// One writer per workspace. Every command that writes into a workspace holds an
// exclusive flock on the workspace's lock file while it runs, so two runs can never
// interleave their steps or their folder swaps; a second writer fails at once, naming
// the process that holds the lock. The kernel drops the lock when its process ends, so a
// killed run never blocks the next one. Readers (check, preview, export) take no lock.
#pragma once

#include <memory>
#include <string>

#include "fs/write_layer.h"

namespace tavex {

// The lock file's name inside the workspace. The file stays; only its lock comes and goes.
inline constexpr const char* kWorkspaceLockName = "TAVEX_to_EPWING.lock";

class WorkspaceLock {
 public:
  // Takes the lock of `workspace` (the folder is created when missing), or throws Error
  // "the workspace DIR is in use by another run (process N)" without waiting. Within one
  // process the lock is counted: a second WorkspaceLock of the same workspace succeeds
  // and the lock goes with the last one.
  explicit WorkspaceLock(const std::string& workspace);
  // The lock of an output folder outside the workspace, so that two workspaces building
  // into one folder exclude each other: the file ".NAME.tavex2epwing-lock" beside the
  // folder NAME. Throws "the output folder DIR is in use by another run (process N)".
  static std::unique_ptr<WorkspaceLock> ForOutputFolder(const std::string& folder);
  ~WorkspaceLock();
  WorkspaceLock(const WorkspaceLock&) = delete;
  WorkspaceLock& operator=(const WorkspaceLock&) = delete;

 private:
  WorkspaceLock(const std::string& folder, const std::string& lock_name, const std::string& what);

  std::string key_;     // the lock file's real path
  WriteAnchor anchor_;  // no link below the workspace is followed while it is locked
};

}  // namespace tavex
