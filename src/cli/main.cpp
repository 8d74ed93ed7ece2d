// tavex2epwing: the command line face of the converter. Parses the global options,
// dispatches to one command of the table, and turns errors into one "error:" line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <iostream>

#include "cli/command.h"
#include "cli/terminal.h"
#include "text/error.h"

namespace tavex::cli {

std::vector<CommandSpec>& CommandTable() {
  static std::vector<CommandSpec> table;
  return table;
}

}  // namespace tavex::cli

int main(int argc, char** argv) {
  using namespace tavex::cli;
  CLI::App app{"tavex2epwing: turns the TAVEX dictionary disc into the source of an EPWING book"};
  app.set_version_flag("--version", std::string("tavex2epwing ") + TAVEX_VERSION);
  app.require_subcommand(0, 1);

  CommandContext context;
  GlobalOptions& g = context.global;
  app.add_option("-w,--workspace", g.workspace, "workspace folder (default: the current folder)");
  app.add_option("-m,--mode", g.mode, "operating mode: 0 clean conversion, 1 and 2 keep the working folder")
      ->check(CLI::Range(0, 2));
  app.add_option("-s,--source", g.source, "source folder: the disc's root or its tavex.data folder");
  app.add_option("--db", g.database, "working database file (default: working_folder/TAVEX_data)");
  app.add_flag("-q,--quiet", g.quiet, "no progress and no warnings on stderr");
  app.add_flag("--no-host-info", g.no_host_info,
               "leave this machine's hardware address, IP addresses and DNS servers out of the book");

  std::function<int(CommandContext&)> handler;
  for (CommandSpec& spec : CommandTable()) {
    CLI::App* sub = app.add_subcommand(spec.name, spec.help);
    auto run = spec.setup(*sub);
    sub->callback([&handler, run] { handler = run; });
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (!handler) {
    std::cout << app.help();
    return 0;
  }
  try {
    return handler(context);
  } catch (const tavex::Error& e) {
    std::fflush(stdout);
    std::cerr << "error: " << tavex::cli::ForTerminal(e.what()) << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::cerr << "error: " << tavex::cli::ForTerminal(e.what()) << std::endl;
    return 1;
  }
}
