// Writing the rule tables out as exchange files, so that tag rules and character
// statistics outlive the working database: `xsl` as xsl_data.xml (Shift_JIS) and
// `char` as char_data.xml (UTF-8). Each file is <root> with one row element per table
// row (`tags` or `chars`) holding one element per column, in column order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/database.h"

namespace tavex::exchange {

// A whole table as text: its column names in column order and its rows in the order
// the table returns them, each value as text (null as empty text).
struct TableText {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

// Reads every row of `table`.
TableText ReadTableAsText(store::Connection& db, std::string_view table);
// The same over a connection of its own.
TableText ReadTableAsText(const std::string& db_path, std::string_view table);

// Writes `xsl` to `path` (replacing the file), each value passed through
// CompactTagSpace. Throws Error naming the file when it cannot be written.
void ExportXslXml(const std::string& db_path, const std::string& path);

// Writes rows of the `xsl` table's columns to `path` as ExportXslXml does, for rows
// that are not (or not yet) in the table.
void WriteXslXml(const TableText& table, const std::string& path);

// Writes `char` to `path` (replacing the file), values as they stand except `ws`,
// which is written empty: the character is rebuilt from `ws_code` on import, so that
// lone surrogates and control characters never have to pass through the file.
void ExportCharXml(const std::string& db_path, const std::string& path);

// The text with leading and trailing characters of code 32 or below removed and the
// white space between a ">" and the next "<" taken out, so that a hand-written
// template is stored on one line without changing what it produces.
std::string CompactTagSpace(std::string_view text);

}  // namespace tavex::exchange
