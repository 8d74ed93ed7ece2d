// The working database's own record of where its tables came from.
#include "pipeline/working_origin.h"

#include <fmt/format.h>

#include "exchange/table_export.h"
#include "fs/files.h"
#include "store/database.h"
#include "stylesheet/rule_row.h"
#include "text/cp932.h"
#include "text/text.h"
#include "xml/xml.h"

namespace tavex {
namespace {

constexpr const char* kSourceKey = "source_folder";
constexpr const char* kRulesKey = "fresh_rules";

bool IsTextColumn(std::string_view column) {
  return column == "pre_text" || column == "post_text" || column == "indent" || column == "custom_xsl";
}

// One rule as text, each value as it acts: the text options trimmed and their tag
// spacing compacted as the exchange file keeps it, the flags on or off, so that saving
// a tag unchanged, or a round trip through the rules file, does not count as an edit.
void AppendRule(std::string& text, const RuleRow& row) {
  // The rules file is Shift_JIS: a text goes through it as the file keeps it.
  const auto as_kept = [](const std::string& value) {
    return TrimControl(SjisToUtf8(ToSjis(exchange::CompactTagSpace(value))));
  };
  text += as_kept(row.tag);
  for (int c = 1; c < kRuleRowSize; ++c) {
    const std::string& value = RuleText(row, c);
    text += '\x1f';
    text += IsTextColumn(kRuleColumns[c]) ? as_kept(value) : std::string(IsOn(TrimControl(value)) ? "1" : "0");
  }
  text += '\x1e';
}

template <typename Source>
std::string RulesText(Source& rules) {
  std::string text;
  for (const RuleRow& row : LoadRuleRows(rules)) AppendRule(text, row);
  return text;
}

// The rules a fresh run would import from the rules file, as RulesText gives them;
// nothing when the file does not parse or names no rule column it knows.
std::optional<std::string> FileRulesText(const std::string& path) {
  xml::Document doc;
  if (!doc.Load(path)) return std::nullopt;
  std::string text;
  for (const xml::Node& element : doc.ElementsByTagName("tags")) {
    RuleRow row;
    for (const xml::Node& child : element.Children()) {
      if (child.Kind() != xml::NodeKind::kElement) continue;
      const std::string name = child.TagName();
      for (int c = 0; c < kRuleRowSize; ++c) {
        if (name == kRuleColumns[c]) RuleText(row, c) = child.Text();
      }
    }
    AppendRule(text, row);
  }
  return text;
}

void Put(store::Connection& db, const char* key, const std::string& value) {
  db.Exec(fmt::format("create table if not exists [{}] ([key] TEXT PRIMARY KEY, [value] TEXT)",
                      kWorkingOriginTable));
  store::Statement put = db.Prepare(fmt::format("insert or replace into [{}] ([key], [value]) values (?, ?)",
                                                kWorkingOriginTable));
  put.BindText(1, key);
  put.BindText(2, value);
  put.Run();
}

// One transaction: a run killed here leaves either the record or nothing, never the
// table without it.
void Put(const std::string& db_path, const char* key, const std::string& value) {
  store::Connection db(db_path);
  store::Transaction transaction(db);
  Put(db, key, value);
  transaction.Commit();
}

std::optional<std::string> Get(const std::string& db_path, const char* key) {
  if (!FileExists(db_path) || !store::TableExists(db_path, kWorkingOriginTable)) return std::nullopt;
  store::Connection db(db_path);
  store::Statement get = db.Prepare(fmt::format("select [value] from [{}] where [key] = ?", kWorkingOriginTable));
  get.BindText(1, key);
  if (!get.Step()) return std::nullopt;
  return get.Text(0);
}

}  // namespace

void RecordSourceFolder(const std::string& db_path, const std::string& source_folder) {
  Put(db_path, kSourceKey, source_folder);
}

std::optional<std::string> RecordedSourceFolder(const std::string& db_path) { return Get(db_path, kSourceKey); }

void RecordFreshRules(const std::string& db_path) { Put(db_path, kRulesKey, RulesText(db_path)); }

void RecordFreshRules(store::Connection& db) { Put(db, kRulesKey, RulesText(db)); }

void ForgetFreshRules(const std::string& db_path) {
  if (!FileExists(db_path) || !store::TableExists(db_path, kWorkingOriginTable)) return;
  store::Connection db(db_path);
  store::Statement forget =
      db.Prepare(fmt::format("delete from [{}] where [key] = ?", kWorkingOriginTable));
  forget.BindText(1, kRulesKey);
  forget.Run();
}

bool RulesDifferFromFresh(const std::string& db_path, const std::string& xsl_exchange) {
  if (!FileExists(db_path) || !store::TableExists(db_path, "xsl")) return false;
  const std::string rules = RulesText(db_path);
  // Rules as the run that made them loaded them are nobody's edit, even when the rules
  // file changed since: a fresh run takes the new file on purpose.
  if (const std::optional<std::string> made = Get(db_path, kRulesKey); made && *made == rules) return false;
  // Edited rules that the rules file already holds lose nothing either.
  return !FileExists(xsl_exchange) || FileRulesText(xsl_exchange) != rules;
}

}  // namespace tavex
