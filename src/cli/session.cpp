#include "cli/session.h"

namespace tavex::cli {

Session::Session(const GlobalOptions& global, int mode, bool assume_yes, WorkbenchOptions extra)
    : progress(global.quiet),
      prompter(assume_yes),
      lock(extra.reader ? nullptr : std::make_unique<WorkspaceLock>(global.workspace)),
      workbench(progress, prompter, [&] {
        extra.workspace = global.workspace;
        extra.mode = mode;
        if (!global.source.empty()) extra.source_folder = global.source;
        if (!global.database.empty()) extra.database = global.database;
        extra.record_host = !global.no_host_info;
        return extra;
      }()) {}

std::unique_ptr<Session> StartSession(const CommandContext& context, bool is_create, bool assume_yes,
                                      WorkbenchOptions extra) {
  const GlobalOptions& g = context.global;
  const int mode = is_create ? g.mode : (g.mode == 2 ? 2 : 1);
  const bool source_given = extra.source_folder.has_value() || !g.source.empty();
  // Each command makes the folders it writes into when it runs, so one that fails (a
  // new workspace, mode 2 without stylesheets) leaves no empty folders behind.
  extra.prepare_working_folder = false;
  auto session = std::make_unique<Session>(g, mode, assume_yes, std::move(extra));
  session->workbench.Start();
  if (source_given && session->lock) session->workbench.SaveSettings();
  return session;
}

}  // namespace tavex::cli
