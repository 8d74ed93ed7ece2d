// The texts that say what to do next, one wording per front end.
#include "pipeline/guidance.h"

#include <fmt/format.h>

namespace tavex {
namespace {

// One piece of advice as each front end words it.
struct Advice {
  const char* command_line;
  const char* window;
};

const char* Pick(FrontEnd front_end, const Advice& advice) {
  return front_end == FrontEnd::kWindow ? advice.window : advice.command_line;
}

// What each table of the working database holds and what makes it, for the error of a
// command that needs it in a new workspace, or in one whose working folder a mode 0 run
// removed at its end.
struct TableSource {
  std::string_view table;
  const char* holds;
  Advice remedy;
};
constexpr TableSource kTableSources[] = {
    {"fs_skn",
     "entries",
     {"run `create` in operating mode 1 or 2 (-m 1), or `extract fs.skn`",
      "press \"create\" in operating mode 1 or 2 (about → operating mode…), or DB_tool → extract fs.skn"}},
    {"char",
     "character table",
     {"run `create` in operating mode 1 or 2 (-m 1), or `import char FILE`",
      "press \"create\" in operating mode 1 or 2 (about → operating mode…), or xml data → char_import"}},
    {"xsl",
     "tag rules",
     {"run `create` in operating mode 1 or 2 (-m 1), or `import xsl FILE`",
      "press \"create\" in operating mode 1 or 2 (about → operating mode…), or xml data → xsl_import"}},
    {"us_pron_skn",
     "US pronunciations",
     {"run `create --with-audio` in operating mode 1 or 2 (-m 1), or `extract pron`",
      "untick \"ignore mp3 files\" and press \"create\" in operating mode 1 or 2, or DB_tool → extract "
      "pron"}},
    {"uk_pron_skn",
     "UK pronunciations",
     {"run `create --with-audio` in operating mode 1 or 2 (-m 1), or `extract pron`",
      "untick \"ignore mp3 files\" and press \"create\" in operating mode 1 or 2, or DB_tool → extract "
      "pron"}},
};

}  // namespace

std::string NoSourceMessage(FrontEnd front_end) {
  return fmt::format(
      "no source folder: {}",
      Pick(front_end, {"name the disc's folder (create SOURCE, or -s SOURCE), or try "
                       "`create --sample`",
                       "choose the disc's folder with \"source drive\", or press \"sample disc\" "
                       "to try the sample disc"}));
}

std::string MissingTableMessage(FrontEnd front_end, const std::string& db_path, std::string_view table) {
  for (const TableSource& source : kTableSources) {
    if (source.table == table) {
      return fmt::format("{} holds no {} yet: {}", db_path, source.holds, Pick(front_end, source.remedy));
    }
  }
  return fmt::format("{} has no table {}", db_path, table);
}

std::string MissingStylesheetMessage(FrontEnd front_end, const std::string& path) {
  return fmt::format(
      "{} does not exist yet: {}", path,
      Pick(front_end, {"run `stylesheet` to write it from the tag rules",
                       "press \"update xls\" in \"xsl edit\" to write it from the tag rules"}));
}

std::string ModeTwoStylesheetMessage(FrontEnd front_end, const std::string& path) {
  return fmt::format(
      "operating mode 2 keeps the stylesheets of an earlier run, and {} does not exist: {}", path,
      Pick(front_end, {"run `create` once in operating mode 1 (-m 1)",
                       "press \"create\" once in operating mode 1 (about → operating mode…)"}));
}

std::string EditedRulesMessage(FrontEnd front_end, const std::string& db_path, const std::string& xsl_exchange) {
  if (front_end == FrontEnd::kWindow) {
    return fmt::format(
        "the tag rules in {} were edited since the run that made them, and a run in operating mode 0 "
        "deletes them: keep them as {} (xml data → xsl_export), which a fresh run uses, or switch to "
        "operating mode 1",
        db_path, xsl_exchange);
  }
  return fmt::format(
      "the tag rules in {} were edited since the run that made them, and a run in operating mode 0 deletes "
      "them: keep them first with `tavex2epwing export xsl {}`, which a fresh run uses, run in operating "
      "mode 1 (-m 1), or pass --yes to drop them",
      db_path, xsl_exchange);
}

std::string NoBookSourceMessage(FrontEnd front_end, const std::string& base_folder) {
  return fmt::format("{} does not exist yet: {}", base_folder,
                     Pick(front_end, {"run `create` first (or `create --sample` to try the sample disc)",
                                      "press \"create\" first (or \"sample disc\", then \"create\")"}));
}

std::string PronunciationHint(FrontEnd front_end) {
  return fmt::format("the book has no pronunciations: {}",
                     Pick(front_end, {"create --with-audio adds them",
                                      "untick \"ignore mp3 files\" and press \"create\" to add them"}));
}

}  // namespace tavex
