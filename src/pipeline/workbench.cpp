// The Workbench's start-up, close, settings and single-step commands.
#include "pipeline/workbench.h"

#include <fmt/format.h>

#include <filesystem>
#include <memory>

#include "analysis/topic_index.h"
#include "audio/pron_convert.h"
#include "book/book_writer.h"
#include "book/project_file.h"
#include "bundle/extract.h"
#include "exchange/table_export.h"
#include "gaiji/gaiji_files.h"
#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/manifest.h"
#include "fs/workspace_lock.h"
#include "pipeline/working_origin.h"
#include "text/error.h"
#include "text/text.h"
#include "store/database.h"
#include "stylesheet/stylesheet_files.h"

namespace tavex {
namespace {

// A path given now, relative to the folder the command was started from: made absolute,
// and otherwise kept as given (a trailing blank included).
std::string GivenPath(const std::string& path) {
  return path.empty() ? path : std::filesystem::absolute(path).lexically_normal().string();
}

// A path read from the settings file. A relative one was remembered by an older version
// against the folder it was started from, which nobody knows any more: the workspace is
// the one folder it can be read against.
std::string RememberedPath(const std::string& path, const std::string& workspace) {
  if (path.empty() || path.front() == '/') return path;
  return (std::filesystem::path(workspace) / path).lexically_normal().string();
}

}  // namespace

Workbench::Workbench(Progress& progress, Prompter& prompter, WorkbenchOptions options)
    : progress_(progress), prompter_(prompter), options_(std::move(options)), mode_{options_.mode} {}

void Workbench::Start() {
  // Absolute paths, so the database path remembered in the settings, the project file's
  // folders and the messages do not depend on the folder a command was started from.
  options_.workspace = std::filesystem::absolute(options_.workspace).lexically_normal().string();
  if (options_.workspace.size() > 1 && options_.workspace.back() == '/') options_.workspace.pop_back();
  settings_ = LoadSettings(JoinPath(options_.workspace, "TAVEX_to_EPWING.ini"));
  settings_.src_folder = RememberedPath(settings_.src_folder, options_.workspace);
  settings_.mdb_file = RememberedPath(settings_.mdb_file, options_.workspace);
  // Kept absolute, so that a later run started from another folder finds the same disc
  // and the same database.
  if (options_.source_folder) settings_.src_folder = GivenPath(*options_.source_folder);
  if (options_.database) settings_.mdb_file = GivenPath(*options_.database);
  layout_ = DeriveWorkingLayout(options_.workspace, settings_.src_folder, settings_.mdb_file);
  settings_.mdb_file = layout_.database_file;
  xsl_exchange_path_ = layout_.xsl_exchange;
  char_exchange_path_ = layout_.char_exchange;
  alt_exchange_path_ = layout_.alt_exchange;
  // A reader changes nothing: it runs beside a writer that may hold the workspace.
  if (options_.reader) return;
  if (!options_.defer_recovery) RecoverBaseFolder(layout_);  // a book a killed run had finished goes in place
  if (options_.prepare_working_folder) Database();
  // A database that fails the checks is left to the command that would use it, which
  // refuses it in the words of its own checks; one that does not need it runs.
  try {
    if (HasTable("xsl")) ReloadTagRows();
  } catch (const Error&) {
    ForgetDatabase();
  }
}

void Workbench::RequireKeptStylesheets() const {
  if (mode_.RewritesStylesheets()) return;
  for (const std::string& stylesheet : {layout_.main_stylesheet, layout_.script_stylesheet}) {
    if (!FileExists(stylesheet)) throw Error(ModeTwoStylesheetMessage(options_.front_end, stylesheet));
  }
}

void Workbench::RecoverWorkspace() { RecoverBaseFolder(layout_); }

bool Workbench::EditedRulesAtRisk() const {
  const std::optional<std::string> db = ExistingDatabase();
  return db && RulesDifferFromFresh(*db, layout_.xsl_exchange);
}

void Workbench::KeepEditedRules() {
  const std::string db = RequireTable("xsl");
  exchange::ExportXslXml(db, layout_.xsl_exchange);
  RecordFreshRules(db);
  progress_.AppendLog("the tag rules were kept in " + layout_.xsl_exchange + ", which a fresh run uses");
}

void Workbench::Close() {
  SaveSettings();
  if (mode_.DeletesWorkingFolderAtClose() && FolderExists(layout_.working_folder)) {
    ForgetDatabase();
    DeleteFolderTree(layout_.working_folder);
  }
}

void Workbench::SaveSettings() {
  // The default database goes with the working folder (mode 0 deletes it); remembering its
  // path would only make a copied workspace reach back into the database it was copied from.
  Settings saved = settings_;
  saved.src_folder = GivenPath(saved.src_folder);  // as the window's fields may hold them
  saved.mdb_file = GivenPath(saved.mdb_file);
  if (saved.mdb_file == JoinPath(layout_.working_folder, "TAVEX_data")) saved.mdb_file.clear();
  tavex::SaveSettings(layout_.settings_file, saved);
}

void Workbench::SetOperatingMode(int mode) {
  if (mode < 0 || mode > 2) throw Error(fmt::format("operating mode {} does not exist: use 0, 1 or 2", mode));
  mode_.value = mode;
}

void Workbench::SetSourceFolder(const std::string& given) {
  const std::string folder = GivenPath(given);
  settings_.src_folder = folder;
  layout_.source_folder = folder;
  layout_.source_data_folder = SourceDataFolder(folder);
}

std::string Workbench::GaijiFace() const {
  return settings_.gaiji_font.empty() ? std::string(kDefaultGaijiFont) : settings_.gaiji_font;
}

std::string Workbench::EbsBase() const {
  if (options_.ebs_base && !options_.ebs_base->empty()) {
    // The project file is a list of lines: a line break would add lines of its own.
    if (options_.ebs_base->find_first_of("\r\n") != std::string::npos) {
      throw Error(fmt::format("the base folder for the authoring tool \"{}\" holds a line break",
                              EscapeControls(*options_.ebs_base)));
    }
    return *options_.ebs_base;
  }
  if (!settings_.ebs_base.empty()) return settings_.ebs_base;
  return EbsBasePath(layout_.base_folder);
}

void Workbench::CheckSourceHoldsDisc() const {
  const std::string& source = layout_.source_folder;
  if (source.empty()) {
    throw Error(NoSourceMessage(options_.front_end));
  }
  if (!FolderExists(source)) throw Error(fmt::format("source folder {} does not exist", source));
  const std::string bundle = ResolveCaseInsensitive(layout_.source_data_folder, "fs.skn");
  if (!FolderExists(bundle)) {
    throw Error(fmt::format("{} is not a TAVEX disc: neither it nor its tavex.data folder holds fs.skn", source));
  }
}

void Workbench::ExtractEntries() {
  CheckSourceHoldsDisc();
  const std::string db = Database();
  // Recorded first: a run killed after the extraction still says which disc it read,
  // and the record alone counts for nothing until the entry table exists.
  RecordSourceFolder(db, layout_.source_folder);
  bundle::ExtractBundle({layout_.source_data_folder, layout_.unzip_folder, db}, "fs.skn", progress_);
}

void Workbench::ExtractPronunciations() {
  CheckSourceHoldsDisc();
  const bundle::ExtractOptions where{layout_.source_data_folder, layout_.unzip_folder, Database()};
  bundle::ExtractBundle(where, "us_pron.skn", progress_);
  bundle::ExtractBundle(where, "uk_pron.skn", progress_);
}

void Workbench::BuildTopicIndex() {
  RequireTable("fs_skn");
  analysis::BuildTopicIndex(Database(), progress_);
}

void Workbench::CreateGaijiFiles() {
  RequireTable("char");
  gaiji::WriteGaijiFiles(Database(), layout_.base_folder, GaijiFace(), progress_);
}

epwing::EpwingSummary Workbench::BuildEpwing(std::optional<std::string> out_folder) {
  if (!FolderExists(layout_.base_folder)) throw Error(NoBookSourceMessage(options_.front_end, layout_.base_folder));
  const std::string out = out_folder.value_or(layout_.epwing_folder);
  const std::unique_ptr<WorkspaceLock> out_lock = GuardBookFolder(out, layout_.epwing_folder);
  CheckOutputFolder(out, ProtectedFolders(layout_));
  epwing_summary_ = epwing::BuildEpwingBook({.base_folder = layout_.base_folder, .out_folder = out}, progress_);
  return *epwing_summary_;
}

std::string Workbench::StaleBookNote() const {
  if (!FolderExists(layout_.epwing_folder)) return {};
  return fmt::format("the EPWING book in {} is older than its source now: {}",
                     std::filesystem::absolute(layout_.epwing_folder).lexically_normal().string(),
                     options_.front_end == FrontEnd::kWindow ? "EPWING → build EPWING book renews it"
                                                             : "`tavex2epwing epwing` renews it");
}

std::string FormatEpwingSummary(const epwing::EpwingSummary& summary, const std::string& out_folder) {
  // verify counts the keys of both indexes; saying both keeps the two lines comparable.
  return fmt::format(
      "EPWING book: {} entries, {} keys ({} with the backward index), {} sounds, {} narrow and {} "
      "wide gaiji in {}",
      summary.entries, summary.keys, summary.keys + summary.backward_keys, summary.sounds,
      summary.narrow_gaiji, summary.wide_gaiji,
      std::filesystem::absolute(out_folder).lexically_normal().string());
}

std::string PronunciationNote(const epwing::EpwingSummary& summary, FrontEnd front_end) {
  if (summary.sounds > 0 || summary.unlinked_sounds == 0) return {};
  return PronunciationHint(front_end);
}

void Workbench::ConvertMp3ToWav() {
  RequireTable(audio::kUsPronTable);
  RequireTable(audio::kUkPronTable);
  const std::string db = Database();
  audio::ConvertPronToWav(db, audio::kUsPronTable, layout_.us_pron_folder, progress_);
  audio::ConvertPronToWav(db, audio::kUkPronTable, layout_.uk_pron_folder, progress_);
}

bool Workbench::SaveOriginalMp3(std::optional<std::string> name) {
  if (!name) name = prompter_.InputText("original_mp3", "original_mp3_file_name", "");
  if (!name) return false;
  RequireTable(audio::kUsPronTable);
  return audio::SaveOriginalMp3Both(RequireTable(audio::kUkPronTable), *name, layout_.workspace);
}

void Workbench::RebuildHtml() {
  RequireTable("fs_skn");
  RequireTable("char");
  RequireKeptStylesheets();
  const std::string db = Database();
  if (mode_.RewritesStylesheets()) {
    generated_lines_.clear();
    WriteMainStylesheet(layout_.main_stylesheet, tag_rows_, &generated_lines_);
    WriteScriptStylesheet(layout_.script_stylesheet);
  }
  book::BookOptions options;
  options.database_file = db;
  options.main_stylesheet = layout_.main_stylesheet;
  options.book_html = layout_.book_html;
  options.copyright_page = layout_.copyright_page;
  options.mode = mode_;
  if (!options_.record_host) options.host = book::HostTexts{"not recorded", "not recorded", "not recorded"};
  book::WriteBookHtml(options, progress_);
}

}  // namespace tavex
