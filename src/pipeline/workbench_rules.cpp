// The Workbench's rule tables and the views over the working database: import and
// export of the exchange files, the tag editor's rows and options, the main
// stylesheet's update, the character grid, the entry search and the entry preview.
#include <fmt/format.h>

#include <filesystem>

#include "exchange/import_command.h"
#include "exchange/table_export.h"
#include "pipeline/workbench.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "pipeline/working_origin.h"
#include "text/error.h"
#include "text/plain_letters.h"
#include "text/text.h"
#include "store/database.h"
#include "stylesheet/stylesheet_files.h"
#include "stylesheet/template_line.h"

namespace tavex {

namespace {

exchange::ExchangeTable ToExchange(RuleTable table) {
  switch (table) {
    case RuleTable::kXsl: return exchange::ExchangeTable::kXsl;
    case RuleTable::kChar: return exchange::ExchangeTable::kChar;
    case RuleTable::kAlt: return exchange::ExchangeTable::kAlt;
  }
  return exchange::ExchangeTable::kXsl;
}

// The option columns of a rule row in the order of the tag editor's option list.
constexpr int kFirstOption = 1;

// A title as a search key sees it: letters with diacritics by their plain letters,
// ASCII letters in lower case.
std::string SearchForm(const std::string& title) {
  std::string form;
  for (const char16_t unit : Utf8ToUtf16(title)) {
    if (unit < 0x80) {
      form += static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit);
    } else if (const std::string_view plain = PlainLetters(unit); !plain.empty()) {
      form += AsciiLower(plain);
    } else {
      form += EncodeUnitUtf8(unit);
    }
  }
  return form;
}

// True when both names lead to the same file.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || std::filesystem::equivalent(a, b, error);
}

}  // namespace

std::string Workbench::ExchangePath(RuleTable table) const {
  switch (table) {
    case RuleTable::kXsl: return xsl_exchange_path_;
    case RuleTable::kChar: return char_exchange_path_;
    case RuleTable::kAlt: return alt_exchange_path_;
  }
  return {};
}

bool Workbench::ImportTable(RuleTable table, std::optional<std::string> file) {
  // The table goes into the working database, made here if new.
  exchange::ImportOutcome outcome = exchange::ImportCommand(ToExchange(table), Database(), file,
                                                            ExchangePath(table), progress_, prompter_);
  if (outcome.exchange_path) {
    switch (table) {
      case RuleTable::kXsl: xsl_exchange_path_ = *outcome.exchange_path; break;
      case RuleTable::kChar: char_exchange_path_ = *outcome.exchange_path; break;
      case RuleTable::kAlt: alt_exchange_path_ = *outcome.exchange_path; break;
    }
  }
  if (!outcome.rebuilt) return false;
  progress_.AppendLog(fmt::format("{}_import: the table {} was replaced from {}", exchange::TableName(ToExchange(table)),
                                  exchange::TableName(ToExchange(table)), *outcome.exchange_path));
  if (table == RuleTable::kXsl) {
    // Rules read from the workspace's own rules file are what a fresh run would use too.
    const std::string db = RequireTable("xsl");
    if (SameFile(*outcome.exchange_path, layout_.xsl_exchange)) {
      RecordFreshRules(db);
    } else {
      ForgetFreshRules(db);
    }
    ReloadTagRows();
    if (on_tag_rows_changed) on_tag_rows_changed();
  } else if (table == RuleTable::kChar && on_char_table_changed) {
    on_char_table_changed();
  }
  return true;
}

void Workbench::ExportTable(RuleTable table, std::optional<std::string> file) {
  if (table == RuleTable::kAlt) throw Error("the alt table can only be imported");
  const char* title = table == RuleTable::kXsl ? "xsl_export" : "char_export";
  if (!file) file = prompter_.ChooseSaveFile(title, ExchangePath(table));
  if (!file) return;
  const std::string db = RequireTable(table == RuleTable::kXsl ? "xsl" : "char");
  if (table == RuleTable::kXsl) {
    exchange::ExportXslXml(db, *file);
  } else {
    exchange::ExportCharXml(db, *file);
  }
  progress_.AppendLog(fmt::format("{}: the table {} was written to {}", title,
                                  table == RuleTable::kXsl ? "xsl" : "char", *file));
}

void Workbench::UpdateMainStylesheet() {
  RequireTable("xsl");  // without rules the stylesheet would shape nothing
  Database();
  RequireOwnFolder(layout_.lib_folder);
  RequireOwnFolder(layout_.xsl_backup_folder);
  BackupMainStylesheet(layout_.main_stylesheet, layout_.xsl_backup_folder);
  generated_lines_.clear();
  WriteMainStylesheet(layout_.main_stylesheet, tag_rows_, &generated_lines_);
}

void Workbench::ReloadTagRows() { tag_rows_ = LoadRuleRows(ExistingDatabase().value_or(std::string())); }

std::optional<RuleRow> Workbench::LoadTagOptions(const std::string& tag) {
  if (!HasTable("xsl")) return std::nullopt;
  store::Connection db(RequireTable("xsl"));
  std::string columns;
  for (int i = 0; i < kRuleRowSize; ++i) columns += fmt::format("{}[{}]", i ? "," : "", kRuleColumns[i]);
  store::Statement query = db.Prepare(fmt::format(
      "select {} from [xsl] where [tag] = ? COLLATE NOCASE order by [index] limit 1", columns));
  query.BindText(1, tag);
  if (!query.Step()) return std::nullopt;
  RuleRow row;
  for (int i = 0; i < kRuleRowSize; ++i) RuleText(row, i) = TrimControl(query.Text(i));
  return row;
}

bool Workbench::SaveTagOptions(const std::string& tag, const RuleRow& options) {
  if (!HasTable("xsl")) return false;
  store::Connection db(RequireTable("xsl"));
  store::Statement find = db.Prepare("select [index] from [xsl] where [tag] = ? COLLATE NOCASE order by [index] limit 1");
  find.BindText(1, tag);
  if (!find.Step()) return false;
  const std::int64_t index = find.Int(0);
  std::string assignments;
  for (int i = kFirstOption; i < kRuleRowSize; ++i) {
    assignments += fmt::format("{}[{}] = ?", i > kFirstOption ? "," : "", kRuleColumns[i]);
  }
  store::Statement update = db.Prepare(fmt::format("update [xsl] set {} where [index] = ?", assignments));
  int parameter = 1;
  for (int i = kFirstOption; i < kRuleRowSize; ++i) {
    const std::string& name = kRuleColumns[i];
    const std::string& value = RuleText(options, i);
    const bool is_text = name == "pre_text" || name == "post_text" || name == "indent" || name == "custom_xsl";
    update.BindText(parameter++, is_text ? TrimControl(value) : std::string(IsOn(value) ? "1" : "0"));
  }
  update.BindInt(parameter, index);
  update.Run();
  return true;
}

std::string Workbench::TemplateTextForTag(const std::string& tag) {
  return tavex::TemplateTextForTag(ExistingDatabase().value_or(std::string()), tag);
}

std::optional<int> Workbench::FindEntryByTitle(const std::string& title) {
  if (!HasTable("fs_skn")) return std::nullopt;
  store::Connection db(RequireTable("fs_skn"));
  store::Statement query =
      db.Prepare("select [index] from [fs_skn] where [TEXTTITLE] = ? COLLATE NOCASE order by [index] limit 1");
  query.BindText(1, TrimControl(title));
  if (query.Step()) return static_cast<int>(query.Int(0));
  // As the book's keys do: "cafe" finds café, and letter case does not count.
  const std::string wanted = SearchForm(TrimControl(title));
  if (wanted.empty()) return std::nullopt;
  store::Statement all = db.Prepare("select [index], [TEXTTITLE] from [fs_skn] order by [index]");
  while (all.Step()) {
    if (SearchForm(TrimControl(all.Text(1))) == wanted) return static_cast<int>(all.Int(0));
  }
  return std::nullopt;
}

std::vector<std::vector<std::string>> Workbench::CharGridRows(bool only_char_ref) {
  std::vector<std::vector<std::string>> rows;
  if (!HasTable("char")) return rows;
  store::Connection db(RequireTable("char"));
  store::Statement query = db.Prepare(
      std::string("select ws_code,ws_hex,utf8_hex,total_count,first_index,char_ref from [char]") +
      (only_char_ref ? " where [char_ref]='1'" : "") + " order by [index]");
  while (query.Step()) {
    std::vector<std::string> row;
    for (int c = 0; c < query.ColumnCount(); ++c) row.push_back(query.Text(c));
    rows.push_back(std::move(row));
  }
  return rows;
}

EntryPreview Workbench::Preview(int index, const std::string& tag, const std::string& word, bool must_exist) {
  RequireTable("fs_skn");
  const std::string db = RequireTable("char");
  if (!FileExists(layout_.main_stylesheet)) {
    throw Error(MissingStylesheetMessage(options_.front_end, layout_.main_stylesheet));
  }
  book::PreviewOptions options;
  options.require_entry = must_exist;
  options.database_file = db;
  options.main_stylesheet = layout_.main_stylesheet;
  options.mode = mode_;
  return book::ShowEntryPreview(options, index, tag, word);
}

}  // namespace tavex
