// What a command needs to run: the terminal's Progress and Prompter and a started Workbench.
#pragma once

#include <memory>

#include "cli/command.h"
#include "cli/terminal.h"
#include "pipeline/workbench.h"
#include "fs/workspace_lock.h"

namespace tavex::cli {

struct Session {
  TerminalProgress progress;
  TerminalPrompter prompter;
  // The workspace lock of a writing command, held until the command has ended (its
  // EPWING book included); none for a reader.
  std::unique_ptr<WorkspaceLock> lock;
  Workbench workbench;

  Session(const GlobalOptions& global, int mode, bool assume_yes, WorkbenchOptions extra);
};

// Starts a Workbench for a command. `create` follows the operating mode it is given; every
// other command works on the existing working folder as in mode 1 (2 when asked for) and
// never deletes it. A source given on the command line is saved to the settings file.
// The start-up creates no folder: the commands make what they write into.
// Unless `extra.reader` is set, the workspace lock is taken first: a second writer on
// the workspace fails here, before anything is read or written.
std::unique_ptr<Session> StartSession(const CommandContext& context, bool is_create, bool assume_yes = false,
                                      WorkbenchOptions extra = {});

}  // namespace tavex::cli
