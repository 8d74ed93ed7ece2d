#include "stylesheet/rule_row.h"

#include "fs/files.h"
#include "store/database.h"

namespace tavex {

const char* const kRuleColumns[kRuleRowSize] = {
    "tag",     "apply_templates", "leave_tag", "bold",     "italic",     "sup",
    "sub",     "pre_br",          "post_br",   "pre_sp",   "post_sp",    "pre_text",
    "post_text", "upper_case",    "lower_case", "indent",  "custom_xsl"};

namespace {

// Member pointers in column order, so a row can be filled by column number.
constexpr std::string RuleRow::*kMembers[kRuleRowSize] = {
    &RuleRow::tag,       &RuleRow::apply_templates, &RuleRow::leave_tag, &RuleRow::bold,
    &RuleRow::italic,    &RuleRow::sup,             &RuleRow::sub,       &RuleRow::pre_br,
    &RuleRow::post_br,   &RuleRow::pre_sp,          &RuleRow::post_sp,   &RuleRow::pre_text,
    &RuleRow::post_text, &RuleRow::upper_case,      &RuleRow::lower_case, &RuleRow::indent,
    &RuleRow::custom_xsl};

}  // namespace

std::string& RuleText(RuleRow& row, int column) { return row.*kMembers[column]; }
const std::string& RuleText(const RuleRow& row, int column) { return row.*kMembers[column]; }

std::vector<RuleRow> LoadRuleRows(const std::string& db_path) {
  std::vector<RuleRow> rows;
  if (db_path.empty() || !FileExists(db_path)) return rows;
  store::Connection db(db_path);
  return LoadRuleRows(db);
}

std::vector<RuleRow> LoadRuleRows(store::Connection& db) {
  std::vector<RuleRow> rows;
  if (!db.TableExists("xsl")) return rows;

  store::Statement select = db.Prepare("select * from [xsl]");
  // Map each result column to its place in a rule row once; the rest (index,
  // total_count, first_index) are not options.
  std::vector<int> place(select.ColumnCount(), -1);
  for (int c = 0; c < select.ColumnCount(); ++c) {
    const std::string name = select.ColumnName(c);
    for (int k = 0; k < kRuleRowSize; ++k) {
      if (name == kRuleColumns[k]) place[c] = k;
    }
  }
  while (select.Step()) {
    RuleRow row;
    for (int c = 0; c < select.ColumnCount(); ++c) {
      if (place[c] >= 0) RuleText(row, place[c]) = select.Text(c);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace tavex
