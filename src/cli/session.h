// What a command needs to run: the terminal's Progress and Prompter and a started Workbench.
#pragma once

#include <memory>

#include "cli/command.h"
#include "cli/terminal.h"
#include "pipeline/workbench.h"

namespace tavex::cli {

struct Session {
  TerminalProgress progress;
  TerminalPrompter prompter;
  Workbench workbench;

  Session(const GlobalOptions& global, int mode, bool assume_yes, WorkbenchOptions extra);
};

// Starts a Workbench for a command. `create` follows the operating mode it is given; every
// other command works on the existing working folder as in mode 1 (2 when asked for) and
// never deletes it. A source given on the command line is saved to the settings file.
std::unique_ptr<Session> StartSession(const CommandContext& context, bool is_create, bool assume_yes = false,
                                      WorkbenchOptions extra = {});

}  // namespace tavex::cli
