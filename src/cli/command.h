// The command table of the command line. Each command file registers its commands
// with a static TAVEX_COMMAND entry; main() builds the parser from the table.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace tavex::cli {

struct GlobalOptions {
  std::string workspace = ".";
  int mode = 0;
  std::string source;
  std::string database;
  bool quiet = false;
  bool no_host_info = false;  // the book records no network identity of this machine
};

// What a command's handler gets: the parsed global options.
struct CommandContext {
  GlobalOptions global;
};

// One command: its name, a one-line help, a function that adds its own options to
// its subcommand, and the handler (exit status 0 on success; errors are thrown).
struct CommandSpec {
  std::string name;
  std::string help;
  // Adds the command's options; returns the handler that runs it.
  std::function<std::function<int(CommandContext&)>(CLI::App&)> setup;
};

std::vector<CommandSpec>& CommandTable();

struct CommandRegistrar {
  explicit CommandRegistrar(CommandSpec spec) { CommandTable().push_back(std::move(spec)); }
};

}  // namespace tavex::cli
