// What the user is told to do next when a command cannot run yet, in the words of the
// front end that shows the message: commands and options on the command line, buttons
// and menus in the window.
#pragma once

#include <string>
#include <string_view>

namespace tavex {

// The front end a Workbench serves.
enum class FrontEnd { kCommandLine, kWindow };

// The error of a command that needs a source folder and has none.
std::string NoSourceMessage(FrontEnd front_end);

// The error of a command that needs table `table` of the working database `db_path`,
// which does not have it: what the table holds and what makes it.
std::string MissingTableMessage(FrontEnd front_end, const std::string& db_path, std::string_view table);

// The error of a command that needs the main stylesheet `path`, which does not exist.
std::string MissingStylesheetMessage(FrontEnd front_end, const std::string& path);

// The error of operating mode 2, which keeps the stylesheets of an earlier run, when
// `path` (one of them) does not exist: an earlier run in operating mode 1 writes them.
std::string ModeTwoStylesheetMessage(FrontEnd front_end, const std::string& path);

// The error of a run in operating mode 0, which would delete the working database
// `db_path` whose tag rules were edited: how to keep them as `xsl_exchange` first, or
// to drop them.
std::string EditedRulesMessage(FrontEnd front_end, const std::string& db_path, const std::string& xsl_exchange);

// The error of a command that reads the book's source `base_folder`, which does not exist.
std::string NoBookSourceMessage(FrontEnd front_end, const std::string& base_folder);

// How to add the pronunciations to a book built without any.
std::string PronunciationHint(FrontEnd front_end);

}  // namespace tavex
