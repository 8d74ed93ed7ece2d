// The tag rules as the stylesheet generator and the tag grid see them: one row of
// option texts per tag key, read from the working database's `xsl` table.
#pragma once

#include <string>
#include <vector>

namespace tavex::store {
class Connection;
}

namespace tavex {

// The option texts of one `xsl` row, in the table's column order from `tag` to
// `custom_xsl`. A flag option is on only when its text is exactly "1"; a text option
// counts when it is not empty. All texts are UTF-8.
struct RuleRow {
  std::string tag;  // the tag key (or what an imported rule file put there)
  std::string apply_templates;
  std::string leave_tag;
  std::string bold;
  std::string italic;
  std::string sup;
  std::string sub;
  std::string pre_br;
  std::string post_br;
  std::string pre_sp;
  std::string post_sp;
  std::string pre_text;
  std::string post_text;
  std::string upper_case;
  std::string lower_case;
  std::string indent;
  std::string custom_xsl;
};

// The number of texts in a rule row.
inline constexpr int kRuleRowSize = 17;

// The column names of a rule row, in order (`tag` first, `custom_xsl` last).
extern const char* const kRuleColumns[kRuleRowSize];

// The text of the rule row's `column`-th option (0 = `tag` … 16 = `custom_xsl`).
std::string& RuleText(RuleRow& row, int column);
const std::string& RuleText(const RuleRow& row, int column);

// True when a flag option's text is exactly "1".
inline bool IsOn(const std::string& flag) { return flag == "1"; }

// Every row of "select * from [xsl]" in the table's order: the tag grid's data.
// Nulls give empty texts. Empty when the database file or the table does not exist.
// Throws Error on a database fault.
std::vector<RuleRow> LoadRuleRows(const std::string& db_path);
// The same through an open connection, inside whatever transaction it holds.
std::vector<RuleRow> LoadRuleRows(store::Connection& db);

}  // namespace tavex
