// The create run: the whole conversion in eleven logged steps. Each step first looks
// whether its result is already there (a table, an output folder) and skips its work
// if so, so a run in operating mode 1 or 2 resumes where an earlier one stopped. Steps
// are atomic (a table is created and filled in one transaction; folders and files are
// written under temporary names), so an interrupted step is simply redone.
#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <utility>

#include "analysis/topic_index.h"
#include "audio/pron_convert.h"
#include "book/project_file.h"
#include "bundle/extract.h"
#include "exchange/prepare.h"
#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/manifest.h"
#include "gaiji/gaiji_files.h"
#include "pipeline/workbench.h"
#include "pipeline/working_origin.h"
#include "text/error.h"
#include "sample/sample_disc.h"
#include "sample/sample_rules.h"
#include "store/database.h"
#include "suggest/suggest_rules.h"

namespace tavex {
namespace {

// True when the two names lead to the same folder (or are the same name).
bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code error;
  const auto real = [&error](const std::string& path) {
    return std::filesystem::weakly_canonical(std::filesystem::absolute(path), error).lexically_normal();
  };
  return a == b || real(a) == real(b);
}

// Drops every table a conversion fills, so that a mode 0 run starts from an empty database.
void DropWorkingTables(const std::string& db) {
  store::ExecSql(db,
                 "drop table if exists [fs_skn]; drop table if exists [topic]; drop table if exists [char];"
                 "drop table if exists [xsl]; drop table if exists [alt]; drop table if exists [us_pron_skn];"
                 "drop table if exists [uk_pron_skn]; drop table if exists [working_origin];");
}

}  // namespace

std::string FormatElapsed(std::chrono::seconds elapsed) {
  const long long total = elapsed.count() < 0 ? 0 : elapsed.count();
  return fmt::format("{:02}:{:02}.{:02}", (total / 3600) % 24, (total / 60) % 60, total % 60);
}

void Workbench::RunStep(const std::string& name, const std::function<void()>& work,
                        const std::string& log_line) {
  const auto started = std::chrono::steady_clock::now();
  work();
  step_timings_.emplace_back(
      name, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  progress_.AppendLog(log_line);
  progress_.ProcessEvents();
}

void Workbench::Create(const CreateOptions& options) {
  step_timings_.clear();
  last_verify_.reset();
  last_hints_.reset();

  // What stops the run is told before anything is written or deleted: mode 2 without
  // the stylesheets it keeps, and a source that is not a disc, so a mistyped folder
  // never costs the book of an earlier run.
  RequireKeptStylesheets();
  // A source named is a disc even when the steps will keep the tables of another one.
  if (mode_.FreshStart() || !HasTable("fs_skn") || !layout_.source_folder.empty()) CheckSourceHoldsDisc();
  if (mode_.FreshStart() && !options.drop_edited_rules && EditedRulesAtRisk()) {
    throw Error(EditedRulesMessage(options_.front_end, layout_.database_file, layout_.xsl_exchange));
  }
  if (!mode_.FreshStart() && HasTable("fs_skn")) {
    // The steps keep the tables they find, so a run on another disc would quietly
    // rebuild the book of the disc the tables come from.
    const std::optional<std::string> made_from = RecordedSourceFolder(*ExistingDatabase());
    if (made_from && !SameFolder(*made_from, layout_.source_folder)) {
      progress_.AppendLog(fmt::format(
          "the tables in {} come from the disc in {}, not from {}: the steps keep them; operating mode 0 "
          "converts {} afresh",
          layout_.working_folder, *made_from, layout_.source_folder, layout_.source_folder));
    }
  }

  // In operating mode 0 the book is written into a staging folder and put in place of
  // base_folder only once the run has succeeded: a failed or killed run must not cost
  // the previous book. Until then the layout points base_folder at the staging folder.
  const WorkingLayout final_layout = layout_;
  const std::string ebs_base = EbsBase();  // the project file names the final folder
  std::string staging;  // while the book is written beside base_folder
  struct RestoreLayout {
    Workbench& bench;
    const WorkingLayout& layout;
    const std::string& staging;
    ~RestoreLayout() {
      if (staging.empty()) return;
      bench.layout_ = layout;
      RemoveStagingFolder(staging);  // a leftover goes with the next run
    }
  } restore{*this, final_layout, staging};
  if (mode_.FreshStart()) {
    // Checked before anything is deleted: base_folder can be replaced, and no folder the
    // program did not make sits under the names of the replacement.
    CheckOwnTree(layout_.working_folder, "delete");
    ExistingDatabase();  // a database that is not this program's stops the run here
    staging = CreateBaseFolderStaging(final_layout);
    if (FolderExists(layout_.working_folder)) DeleteFolderTree(layout_.working_folder);
    ForgetDatabase();  // its folder may have gone with working_folder
    // A database named outside working_folder survived that deletion: the previous
    // conversion's tables go, or their steps would be skipped and its book written again.
    if (const std::optional<std::string> kept = ExistingDatabase()) DropWorkingTables(*kept);
    layout_ = WithBaseFolder(final_layout, staging);
  }
  const std::string db = Database();  // with the folders a mode 0 run or a new workspace lacks
  const auto start = std::chrono::steady_clock::now();
  const bundle::ExtractOptions where{layout_.source_data_folder, layout_.unzip_folder, db};

  RunStep(
      "01",
      [&] {
        if (!store::TableExists(db, "fs_skn")) ExtractEntries();
      },
      "【Step 01】fs.sknの抽出:完了");

  RunStep(
      "02",
      [&] {
        if (!store::TableExists(db, "topic")) analysis::BuildTopicIndex(db, progress_);
      },
      "【Step 02】entry_idの抽出:完了");

  RunStep(
      "03",
      [&] {
        exchange::PrepareCharTable(db, char_exchange_path_, progress_, prompter_);
        if (on_char_table_changed) on_char_table_changed();
      },
      "【Step 03】charの解析:完了");

  RunStep(
      "04 tag",
      [&] {
        if (!FileExists(db)) return;
        bool suggested = false;
        std::vector<std::string> notes;
        exchange::PrepareXslTable(
            db, xsl_exchange_path_, progress_, prompter_,
            [&](store::Connection& connection) {
              const suggest::DiscFacts facts =
                  suggest::ReadDiscFacts({.database_file = db,
                                          .source_data_folder = layout_.source_data_folder,
                                          .unzip_folder = layout_.unzip_folder});
              suggested = suggest::ApplySuggestedRules(connection, facts, progress_, &notes) > 0;
            },
            // What a mode 0 run must not drop is what differs from these; recorded with
            // the table, so that a run killed after it still knows them.
            [](store::Connection& connection) { RecordFreshRules(connection); });
        if (suggested) progress_.Warn(suggest::SuggestedRulesNote());
        for (const std::string& note : notes) progress_.Warn(note);
        ReloadTagRows();
        if (on_tag_rows_changed) on_tag_rows_changed();
      },
      "【Step 04】tagの解析・xsl取得:完了");

  RunStep(
      "04 alt", [&] { exchange::PrepareAltTable(db, alt_exchange_path_, progress_, prompter_); },
      "【Step 04】altの取得:完了");

  if (options.ignore_mp3) {
    progress_.AppendLog("【Step 05】us_pron.sknの抽出:スキップ");
    progress_.AppendLog("【Step 06】uk_pron.sknの抽出:スキップ");
    progress_.AppendLog("【Step 07】us_pron.mp3をwavに変換:スキップ");
    progress_.AppendLog("【Step 08】uk_pron.mp3をwavに変換:スキップ");
  } else {
    RunStep(
        "05",
        [&] {
          if (!store::TableExists(db, "us_pron_skn")) bundle::ExtractBundle(where, "us_pron.skn", progress_);
        },
        "【Step 05】us_pron.sknの抽出:完了");
    RunStep(
        "06",
        [&] {
          if (!store::TableExists(db, "uk_pron_skn")) bundle::ExtractBundle(where, "uk_pron.skn", progress_);
        },
        "【Step 06】uk_pron.sknの抽出:完了");
    RunStep(
        "07",
        [&] {
          if (!FolderExists(layout_.us_pron_folder)) {
            audio::ConvertPronToWav(db, audio::kUsPronTable, layout_.us_pron_folder, progress_);
          }
        },
        "【Step 07】us_pron.mp3をwavに変換:完了");
    RunStep(
        "08",
        [&] {
          if (!FolderExists(layout_.uk_pron_folder)) {
            audio::ConvertPronToWav(db, audio::kUkPronTable, layout_.uk_pron_folder, progress_);
          }
        },
        "【Step 08】uk_pron.mp3をwavに変換:完了");
  }

  RunStep(
      "09", [&] { RebuildHtml(); }, "【Step 09】htmlの出力:完了");
  RunStep(
      "10", [&] { CreateGaijiFiles(); }, "【Step 10】gaiji関連ファイルの出力:完了");
  RunStep(
      "11", [&] { WriteProjectFile(layout_.project_file, ebs_base); }, "【Step 11】ebsファイルの出力:完了");
  if (!staging.empty()) {
    layout_ = final_layout;
    const std::string staged = std::exchange(staging, std::string());
    PutStagedBookInPlace(layout_, staged);
  }
  if (options.epwing) {
    RunStep(
        "12", [&] { BuildEpwing(); }, "【Step 12】EPWINGの出力:完了");
    last_verify_ =
        verify::VerifyBook({.book = layout_.epwing_folder, .base_folder = layout_.base_folder}, progress_);
  }
  built_stardict_ = built_mdict_ = false;
  if (options.stardict) {
    RunStep("13", [&] { BuildStardict(); }, "【Step 13】StarDictの出力:完了");
    built_stardict_ = true;
  }
  if (options.mdict) {
    RunStep("14", [&] { BuildMdict(); }, "【Step 14】MDictの出力:完了");
    built_mdict_ = true;
  }

  progress_.AppendLog("***** 終了しました *****");
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  progress_.AppendLog("所要時間：" + FormatElapsed(elapsed));

  // The check of the book asks what the entries held; after this they are gone.
  last_hints_ = CheckHints();
  if (mode_.FreshStart() && FolderExists(layout_.working_folder)) {
    ForgetDatabase();
    DeleteFolderTree(layout_.working_folder);
  }
}

void Workbench::UseSampleDisc() {
  RequireKeptStylesheets();
  const std::string disc = JoinPath(layout_.workspace, "sample_disc");
  if (!FolderExists(disc)) sample::WriteSampleDisc(disc, {});
  if (!FileExists(layout_.xsl_exchange)) sample::WriteSampleRules(layout_.xsl_exchange);
  SetSourceFolder(disc);
}

std::vector<std::string> Workbench::BookLocationLines(bool with_epwing) const {
  auto absolute = [](const std::string& folder) {
    return std::filesystem::absolute(folder).lexically_normal().string();
  };
  std::vector<std::string> lines = {"the book's source is in " + absolute(layout_.base_folder)};
  if (options_.record_host && options_.front_end == FrontEnd::kCommandLine) {
    lines.push_back(
        "its owner information records this machine's hardware address, IP addresses and DNS servers "
        "(--no-host-info leaves them out)");
  }
  if (built_stardict_) {
    lines.push_back("the StarDict book is in " + absolute(layout_.stardict_folder) +
                    " (open it in GoldenDict, KOReader or sdcv)");
  }
  if (built_mdict_) {
    lines.push_back("the MDict book is in " + absolute(layout_.mdict_folder) +
                    " (open tavex.mdx in GoldenDict or an MDict app)");
  }
  if (!with_epwing) return lines;
  lines.push_back("the EPWING book is in " + absolute(layout_.epwing_folder) +
                  " (open it in GoldenDict or eblook)");
  if (options_.front_end == FrontEnd::kCommandLine) {
    // ebzip carries the book's own files only; the maps of its gaiji are copied by hand.
    const std::string book = absolute(layout_.epwing_folder);
    lines.push_back(
        "to compress it, ebzip it and copy its gaiji maps along: ebzip --level 5 --keep "
        "--output-directory SMALL " +
        book + " && cp -r " + book + "/afonts_0 " + book + "/TAVEX.map " + book + "/appendix SMALL/");
  }
  if (epwing_summary_) {
    if (std::string note = PronunciationNote(*epwing_summary_, options_.front_end); !note.empty()) {
      lines.push_back(std::move(note));
    }
  }
  return lines;
}

}  // namespace tavex
