// The suggested tag rules on request: written as an exchange file, or handed to the tag
// editor to preview before it saves them.
#include <fmt/format.h>

#include <memory>

#include "analysis/statistics.h"
#include "exchange/table_export.h"
#include "pipeline/workbench.h"
#include "text/error.h"
#include "fs/files.h"
#include "store/database.h"
#include "stylesheet/stylesheet_files.h"
#include "suggest/suggest_rules.h"

namespace tavex {
namespace {

// The disc's topic ids and recording names.
suggest::DiscFacts Facts(const WorkingLayout& layout, const std::string& db_path) {
  suggest::FactSources sources;
  sources.database_file = db_path;
  // Reading a bundle's names needs the unzip folder; a reader makes no folder.
  if (FolderExists(layout.unzip_folder)) {
    sources.source_data_folder = layout.source_data_folder;
    sources.unzip_folder = layout.unzip_folder;
  }
  return suggest::ReadDiscFacts(sources);
}

// Gives `rows` the formats the workspace's entries suggest; what the user should know of
// them goes to the log.
void Suggest(const WorkingLayout& layout, const std::string& db_path, store::Connection& db, Progress& progress,
             std::vector<RuleRow>& rows) {
  const suggest::DiscFacts facts = Facts(layout, db_path);
  const suggest::TagSurvey survey = suggest::SurveyEntries(db, facts, progress);
  suggest::SuggestFormats(survey, rows);
  for (const std::string& note : suggest::SuggestionNotes(survey)) progress.Warn(note);
}

std::vector<check::TagAttribute> AsCheckList(const std::vector<suggest::AttributeUse>& uses) {
  std::vector<check::TagAttribute> list;
  for (const suggest::AttributeUse& use : uses) list.push_back({use.tag, use.attribute, use.count});
  return list;
}

// The database to read the entries from (`db`, checked); an error naming `shown` when
// there is none or it holds no entries.
std::string RequireEntries(const std::optional<std::string>& db, const std::string& shown) {
  if (db && store::TableExists(*db, "fs_skn")) return *db;
  throw Error(fmt::format(
      "{} holds no entries yet: run `create` in operating mode 1 or 2 (-m 1), or `extract fs.skn`", shown));
}

}  // namespace

void Workbench::SuggestRules(const std::string& file) {
  const std::string db_path = RequireEntries(ExistingDatabase(), layout_.database_file);
  store::Connection db(db_path);
  const analysis::TagTally tally = analysis::TagPass(db, analysis::EntrySource{}, progress_);
  std::vector<RuleRow> rows;
  for (const analysis::TagCount& count : tally.entries()) rows.emplace_back().tag = count.tag;
  Suggest(layout_, db_path, db, progress_, rows);

  exchange::TableText table;
  table.columns.emplace_back("index");
  for (const char* column : kRuleColumns) table.columns.emplace_back(column);
  table.columns.emplace_back("total_count");
  table.columns.emplace_back("first_index");
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::vector<std::string>& cells = table.rows.emplace_back();
    cells.push_back(std::to_string(r + 1));
    for (int column = 0; column < kRuleRowSize; ++column) cells.push_back(RuleText(rows[r], column));
    cells.push_back(std::to_string(tally.entries()[r].total_count));
    cells.push_back(std::to_string(tally.entries()[r].first_index));
  }
  exchange::WriteXslXml(table, file);
}

std::vector<RuleRow> Workbench::SuggestedTagRows() {
  const std::string db_path = RequireEntries(ExistingDatabase(), layout_.database_file);
  if (tag_rows_.empty()) {
    throw Error(
        fmt::format("{} holds no tag rules yet: run `create` in operating mode 1 or 2 (-m 1), or `import xsl "
                    "FILE`",
                    layout_.database_file));
  }
  store::Connection db(db_path);
  std::vector<RuleRow> rows = tag_rows_;
  Suggest(layout_, db_path, db, progress_, rows);
  return rows;
}

EntryPreview Workbench::PreviewWithRows(int index, const std::vector<RuleRow>& rows, const std::string& tag,
                                        const std::string& word) {
  const std::string db_path = RequireEntries(ExistingDatabase(), layout_.database_file);
  if (!FolderExists(layout_.working_folder)) {
    throw Error(fmt::format("{} does not exist: run `create` in operating mode 1 or 2 (-m 1)",
                            layout_.working_folder));
  }
  // Beside the main stylesheet, so that its include of user_script.xsl resolves.
  const std::string preview = JoinPath(layout_.working_folder, "suggest_preview.xsl");
  WriteScriptStylesheet(layout_.script_stylesheet);
  WriteMainStylesheet(preview, rows);
  book::PreviewOptions options;
  options.database_file = db_path;
  options.main_stylesheet = preview;
  options.mode = mode_;
  return book::ShowEntryPreview(options, index, tag, word);
}

bool Workbench::ConfirmAndSaveTagRows(const std::vector<RuleRow>& rows) {
  if (!prompter_.AskYesNo(
          fmt::format("The preview shows the entry with the suggested rules. Save the suggested "
                      "formats of all {} tags into the tag rules (the current ones are replaced)?",
                      rows.size()))) {
    return false;
  }
  for (const RuleRow& row : rows) SaveTagOptions(row.tag, row);
  ReloadTagRows();
  UpdateMainStylesheet();
  return true;
}

check::SourceHints Workbench::CheckHints() {
  const std::optional<std::string> db_path = ExistingDatabase();
  if (!db_path || !store::TableExists(*db_path, "fs_skn")) return last_hints_.value_or(check::SourceHints{});
  store::Connection db(*db_path);
  // Kept by the hints: the check asks, for a WAV file that is not there, whether the
  // disc holds its recording.
  const auto bundles = std::make_shared<const suggest::DiscFacts>(Facts(layout_, *db_path));
  NullProgress quiet;
  const suggest::TagSurvey survey = suggest::SurveyEntries(db, *bundles, quiet);
  check::SourceHints hints;
  hints.known = true;
  hints.references = AsCheckList(suggest::ReferenceAttributes(survey));
  hints.sounds = AsCheckList(suggest::SoundAttributes(survey));
  // Bundles whose names were not read say nothing of what they hold.
  if (!bundles->us_recordings.empty() || !bundles->uk_recordings.empty()) {
    hints.in_bundle = [bundles](std::string_view folder, std::string_view wav_name) {
    if (!wav_name.ends_with(".wav")) return false;
    const std::string name = suggest::NameKey(std::string(wav_name.substr(0, wav_name.size() - 4)) + ".mp3");
    return (folder == "us_pron" ? bundles->us_recordings : bundles->uk_recordings).contains(name);
    };
  }
  for (const RuleRow& row : tag_rows_) {
    if (row.custom_xsl.find("mp3_wav(") == std::string::npos) continue;
    for (const char* folder : {"us_pron", "uk_pron"}) {
      if (row.custom_xsl.find(std::string("'") + folder + "'") != std::string::npos)
        hints.sound_rules.push_back({row.tag, folder});
    }
  }
  return hints;
}

}  // namespace tavex
