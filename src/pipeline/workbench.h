// The Workbench owns the state both front ends share: the settings, the working
// layout, the operating mode, the current exchange paths, the tag rule rows (the tag
// grid's data) and the texts the stylesheet writer hands to the "html (final)" view.
// It offers one method per command; both front ends call these and nothing below them.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book/preview.h"
#include "check/check.h"
#include "epwing/epwing_book.h"
#include "mdict/mdict_book.h"
#include "stardict/stardict_book.h"
#include "pipeline/guidance.h"
#include "pipeline/layout.h"
#include "pipeline/settings.h"
#include "platform/mode.h"
#include "platform/progress.h"
#include "platform/prompter.h"
#include "store/database_file.h"
#include "stylesheet/rule_row.h"
#include "verify/verify.h"

namespace tavex {

class WorkspaceLock;

using book::EntryPreview;

// How a front end starts the Workbench.
struct WorkbenchOptions {
  std::string workspace = ".";   // holds the settings file, base_folder, working_folder
  int mode = 0;                  // operating mode 0, 1 or 2
  std::optional<std::string> source_folder;  // overrides the settings file's src_folder
  std::optional<std::string> database;       // the database field; overrides mdb_file
  std::optional<std::string> ebs_base;       // base_folder as the authoring tool sees it
  // False: the start-up creates no folder and no working database in the workspace, and
  // each command that writes creates what it needs when it runs (the window, which must
  // leave a workspace as it found it until asked to do something; the create run,
  // which must leave nothing behind when it cannot start; the EPWING book).
  bool prepare_working_folder = true;
  // True for the commands that only read (preview, export): they run without the
  // workspace lock, beside a writer, so the start-up changes nothing in the workspace
  // (no recovery of an unfinished swap, no folder, no database).
  bool reader = false;
  // True for the window, which opens without changing the workspace: the recovery of an
  // interrupted replacement waits for its first command that writes (RecoverWorkspace).
  bool defer_recovery = false;
  // Whose words an error uses to say what to do next.
  FrontEnd front_end = FrontEnd::kCommandLine;
  // The book's owner information records this machine's hardware address, IP addresses
  // and DNS servers; false writes "not recorded" in their place.
  bool record_host = true;
};

// What a create run is asked to do.
struct CreateOptions {
  bool ignore_mp3 = true;  // the check box "ignore mp3 files": Steps 05 to 08 are skipped
  bool epwing = true;      // a last step builds the EPWING book from base_folder
  bool stardict = false;   // and the StarDict book
  bool mdict = false;      // and the MDict book
  // In operating mode 0, drop tag rules edited since the run that made them; without
  // it such a run stops before it deletes anything (EditedRulesAtRisk).
  bool drop_edited_rules = false;
};

// The rule tables that have exchange files.
enum class RuleTable { kXsl, kChar, kAlt };

class Workbench {
 public:
  // `progress` and `prompter` must outlive the Workbench.
  Workbench(Progress& progress, Prompter& prompter, WorkbenchOptions options);

  // Start-up: reads the settings, derives the working layout, finishes an interrupted
  // replacement of base_folder, creates the working folders and the database when
  // missing, and loads the tag rows when `xsl` exists (only the first three when the
  // options say not to prepare the working folder, the first two for a reader). Except
  // for a reader, the caller holds the workspace lock (fs/workspace_lock.h).
  void Start();
  // Close: writes the settings and, in operating mode 0, deletes working_folder.
  void Close();
  // Writes the settings file (the window's geometry and the source folder).
  void SaveSettings();
  // Finishes an interrupted replacement of base_folder; the caller holds the workspace lock.
  void RecoverWorkspace();
  // True when the working database's tag rules differ from those a fresh run would use
  // (edited or imported since the run that made them): a mode 0 run or close would drop them.
  bool EditedRulesAtRisk() const;
  // Writes the working tag rules to the workspace's xsl_data.xml (replacing it), which a
  // fresh run then uses.
  void KeepEditedRules();

  const WorkingLayout& layout() const { return layout_; }
  Settings& settings() { return settings_; }
  OperatingMode mode() const { return mode_; }
  void SetOperatingMode(int mode);
  // A newly chosen source folder: the source data folder follows it; nothing else is derived again.
  void SetSourceFolder(const std::string& folder);

  // The create run: the whole conversion, logged step by step through Progress. In
  // operating mode 2 it needs the stylesheets of an earlier run and, without them, fails
  // before it writes anything.
  void Create(const CreateOptions& options);
  // Makes the sample disc the source folder: writes it into the workspace's sample_disc/
  // when missing, and the sample rules into xsl_data.xml unless the workspace has one.
  // Like the create run it prepares, it fails first and writes nothing in operating mode
  // 2 on a workspace without stylesheets.
  void UseSampleDisc();
  // Where the last create run put the book, one line each: the book's source, the
  // StarDict and MDict books it built, and the EPWING book when `with_epwing` (with how
  // to add the pronunciations it lacks).
  std::vector<std::string> BookLocationLines(bool with_epwing) const;
  // Wall time of each step of the last create run, for --timings.
  const std::vector<std::pair<std::string, double>>& step_timings() const { return step_timings_; }

  // DB_tool
  void ExtractEntries();        // extract fs.skn
  void ExtractPronunciations();  // extract us_pron.skn, then uk_pron.skn
  void BuildTopicIndex();       // extract topic
  // gaiji tool
  void CreateGaijiFiles();
  // mp3_tool
  void ConvertMp3ToWav();
  // Saves the recording `name` (asked for through the Prompter when absent) into the
  // workspace, the UK recording then the US one to the same path. True when written.
  bool SaveOriginalMp3(std::optional<std::string> name);
  // xml data: replaces a table from `file` (asked for when absent), after the
  // confirmation. False when the question was declined or no file chosen.
  bool ImportTable(RuleTable table, std::optional<std::string> file);
  // Writes a table to `file` (asked for, preset to the current exchange path, when absent).
  void ExportTable(RuleTable table, std::optional<std::string> file);
  std::string ExchangePath(RuleTable table) const;
  // Writes the suggested tag rules of the entries (one row per tag key, formats taken
  // from the disc's structure) to `file` as an xsl exchange file; the database is not
  // changed. Needs the entries (`fs_skn`).
  void SuggestRules(const std::string& file);
  // The tag rows as they stand, each row of a tag key met in the entries with its
  // suggested formats instead; nothing is saved.
  std::vector<RuleRow> SuggestedTagRows();
  // The entry preview with `rows` as the tag rules instead of the saved ones: their
  // stylesheet is written beside the main one as suggest_preview.xsl. Nothing is saved.
  EntryPreview PreviewWithRows(int index, const std::vector<RuleRow>& rows, const std::string& tag,
                               const std::string& word);
  // Asks whether to save `rows` (the suggestion) and, on yes, saves them into the tag
  // rows of the same tag keys and rewrites the main stylesheet, as "update xls" does
  // for one tag. True when saved.
  bool ConfirmAndSaveTagRows(const std::vector<RuleRow>& rows);
  // What the entries show of cross-references and recordings, for the check of the
  // book: read from the working database while it holds the entries, else what the
  // last create run saw; unknown otherwise.
  check::SourceHints CheckHints();

  // re-build html: the stylesheets (unless mode 2) and the book's HTML and copyright page.
  void RebuildHtml();
  // After re-build html without a new EPWING book: the line saying that the book in
  // epwing/ is older than its source, and how to renew it; empty when there is no book.
  std::string StaleBookNote() const;
  // Builds the EPWING book from base_folder into `out_folder` (default: the layout's
  // epwing_folder), replacing the previous book only when the build succeeded. The
  // folder must be missing, empty or a book this program wrote, and neither be nor hold
  // the workspace's folders or the disc; anything else is refused before it is touched.
  epwing::EpwingSummary BuildEpwing(std::optional<std::string> out_folder = std::nullopt);
  // The StarDict and MDict books from base_folder, by the rules of BuildEpwing (default
  // folders: the layout's stardict_folder and mdict_folder).
  stardict::StardictSummary BuildStardict(std::optional<std::string> out_folder = std::nullopt);
  mdict::MdictSummary BuildMdict(std::optional<std::string> out_folder = std::nullopt);
  // What went into the last EPWING book this Workbench built, if any.
  const std::optional<epwing::EpwingSummary>& epwing_summary() const { return epwing_summary_; }
  // The check of the EPWING book the last create run built (read back through libeb,
  // beside base_folder); none when the run built no book.
  const std::optional<verify::VerifyReport>& last_verify() const { return last_verify_; }
  // update xls's second half: backs up and rewrites the main stylesheet from the tag rows.
  void UpdateMainStylesheet();

  // Tag editor
  const std::vector<RuleRow>& tag_rows() const { return tag_rows_; }
  // Reloads the tag rows from "select * from [xsl]" (empty when there is no table).
  void ReloadTagRows();
  // The tag's rule as stored (first row with that tag), or nothing.
  std::optional<RuleRow> LoadTagOptions(const std::string& tag);
  // Writes the options into the tag's first row; false when no row has that tag.
  bool SaveTagOptions(const std::string& tag, const RuleRow& options);
  // The single-tag template text shown under the tag grid.
  std::string TemplateTextForTag(const std::string& tag);
  // The record index of the first entry whose title equals `title` (trimmed), if any.
  std::optional<int> FindEntryByTitle(const std::string& title);
  // Template lines the last stylesheet write generated (for the "html (final)" view).
  const std::vector<std::string>& generated_template_lines() const { return generated_lines_; }

  // Character view: the rows of `char` (ws_code … char_ref), all or only char_ref "1".
  std::vector<std::vector<std::string>> CharGridRows(bool only_char_ref);

  // Entry preview: the five views of one entry. `tag` and `word` are highlighted in the
  // xml view when not empty. An index without an entry gives empty views, or with
  // `must_exist` an Error that says how many entries there are.
  EntryPreview Preview(int index, const std::string& tag, const std::string& word, bool must_exist = false);

  // Called after the tag rows or the character table were rebuilt, so views can reload.
  std::function<void()> on_tag_rows_changed;
  std::function<void()> on_char_table_changed;

 private:
  void RunStep(const std::string& name, const std::function<void()>& work, const std::string& log_line);
  void CheckSourceHoldsDisc() const;
  // The one way in to the working database (workbench_database.cpp): every name these
  // give opens the file inside its folder as it was checked, and stays valid until
  // ForgetDatabase. The existing database, after the checks of a writing command (the
  // working folder is this program's) or of a reader, and only when it carries this
  // program's application id; none when no file is there. Throws Error naming what failed.
  std::optional<std::string> ExistingDatabase() const;
  // For the commands that write: makes base_folder, working_folder and the database when
  // missing, after the same checks.
  std::string Database();
  // Lets the checked folder go, after a command deleted it with working_folder.
  void ForgetDatabase();
  // Whether the working database exists and has table `table` (opening no database that
  // does not exist, which would fail or create it).
  bool HasTable(std::string_view table) const;
  // The checked database, or the error that says what to run when it lacks `table`.
  std::string RequireTable(std::string_view table) const;
  // In operating mode 2, throws the error that says how to get the kept stylesheets
  // when one of them does not exist.
  void RequireKeptStylesheets() const;
  std::string GaijiFace() const;
  std::string EbsBase() const;
  // Refuses `out`, a book's folder other than the workspace's own `own_folder`, when it
  // lies inside the source, the conversion or the disc, and locks it as another
  // workspace's output may be; nothing for the workspace's own folder.
  std::unique_ptr<WorkspaceLock> GuardBookFolder(const std::string& out, const std::string& own_folder) const;

  Progress& progress_;
  Prompter& prompter_;
  WorkbenchOptions options_;
  Settings settings_;
  WorkingLayout layout_;
  OperatingMode mode_;
  std::string xsl_exchange_path_;
  std::string char_exchange_path_;
  std::string alt_exchange_path_;
  std::vector<RuleRow> tag_rows_;
  std::vector<std::string> generated_lines_;
  std::vector<std::pair<std::string, double>> step_timings_;
  std::optional<epwing::EpwingSummary> epwing_summary_;
  std::optional<verify::VerifyReport> last_verify_;
  std::optional<check::SourceHints> last_hints_;  // seen by the last create run
  bool built_stardict_ = false;  // the last create run built the StarDict book
  bool built_mdict_ = false;     // and the MDict book
  mutable std::optional<store::DatabaseFile> db_;  // the checked database, held

  // ---- For the workbench window (workbench_window.cpp) ----
 public:
  // The glyph a gaiji candidate gets in the book's font, drawn from the gaiji face:
  // 16 rows of "#" (ink) and "." (blank) separated by CR LF; empty text when no
  // installed font has the character or it cannot be a gaiji.
  std::string GaijiGlyphText(int ws_code);
  // ---- end of the window's block ----
};

// One line on what went into an EPWING book and where it is, for the log and the terminal.
std::string FormatEpwingSummary(const epwing::EpwingSummary& summary, const std::string& out_folder);
// One plain line saying how to add the pronunciations when the book was built without
// any; empty otherwise.
std::string PronunciationNote(const epwing::EpwingSummary& summary,
                              FrontEnd front_end = FrontEnd::kCommandLine);

// The elapsed time of a run as the step log shows it: "hh:nn.ss", hours counted within a day.
std::string FormatElapsed(std::chrono::seconds elapsed);

}  // namespace tavex
