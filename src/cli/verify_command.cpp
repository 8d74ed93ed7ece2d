// The verify command: reads a finished EPWING book back through libeb and lists what a
// reader would stumble on, beside its book source when base_folder stands next to it.
#include <fmt/format.h>

#include <filesystem>
#include <iostream>

#include "cli/command.h"
#include "cli/terminal.h"
#include "text/error.h"
#include "fs/files.h"
#include "verify/verify.h"

namespace tavex::cli {
namespace {

// The absolute path without a trailing "/", so that its parent is the folder around it.
std::string Absolute(const std::string& path) {
  std::filesystem::path absolute = std::filesystem::absolute(path).lexically_normal();
  if (!absolute.has_filename() && absolute.has_parent_path()) absolute = absolute.parent_path();
  return absolute.string();
}

const CommandRegistrar kVerify({"verify", "read an EPWING book back through libeb and report what readers would miss",
                                [](CLI::App& app) {
  struct Args {
    std::string book;
    std::string base_folder;
    bool json = false;
    bool verbose = false;
    std::size_t sample = 0;
  };
  auto args = std::make_shared<Args>();
  app.add_option("BOOK", args->book, "the folder holding CATALOGS (default: the workspace's epwing/)");
  app.add_option("--base-folder", args->base_folder,
                 "the book source to compare with (default: base_folder beside BOOK, when there is one)");
  app.add_flag("--json", args->json, "machine-readable findings");
  app.add_option("--sample", args->sample, "read the full text of only N entries, spread over the book")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 40));
  app.add_flag("-v,--verbose", args->verbose, "list every finding, not only the first of each kind");
  return [args](CommandContext& context) {
    verify::VerifyOptions options;
    options.book = Absolute(args->book.empty() ? JoinPath(context.global.workspace, "epwing") : args->book);
    if (args->book.empty() && !FolderExists(options.book)) {
      throw Error(fmt::format("no EPWING book in {}: run `create` or `epwing` first, or name the book's folder",
                              options.book));
    }
    if (!args->base_folder.empty()) {
      options.base_folder = Absolute(args->base_folder);
    } else {
      const std::string beside = JoinPath(std::filesystem::path(options.book).parent_path().string(), "base_folder");
      if (FileExists(JoinPath(beside, "html_EPW"))) options.base_folder = beside;
    }
    if (args->sample > 0) options.sample = args->sample;
    options.keep_all = args->verbose;
    TerminalProgress progress(context.global.quiet);
    const verify::VerifyReport report = verify::VerifyBook(options, progress);
    std::cout << (args->json ? verify::FormatVerifyJson(report) : verify::FormatVerifyReport(report, args->verbose));
    std::cout.flush();
    return report.errors() > 0 ? 1 : 0;
  };
}});

}  // namespace
}  // namespace tavex::cli
