// Reading a table as text and writing the xsl and char exchange files.
#include "exchange/table_export.h"

#include <fmt/format.h>

#include <unordered_set>

#include "text/regex.h"
#include "text/text.h"
#include "xml/xml.h"

namespace tavex::exchange {

namespace {

// Builds <root><ROW><COLUMN>value</COLUMN>...</ROW>...</root> behind the declaration
// and saves it. `value_of` gives the text of one column of one row.
template <typename ValueOf>
void WriteExchangeFile(const TableText& table, const std::string& path, std::string_view declaration,
                       std::string_view row_name, ValueOf&& value_of) {
  xml::Document doc;
  doc.CreateProcessingInstruction("xml", declaration);
  xml::Node root = doc.CreateRootElement("root");
  for (const std::vector<std::string>& row : table.rows) {
    xml::Node row_element = root.AppendElement(row_name);
    for (std::size_t column = 0; column < table.columns.size(); ++column) {
      xml::Node cell = row_element.AppendElement(table.columns[column]);
      cell.SetText(value_of(table.columns[column], row[column]));
    }
  }
  doc.Save(path);
}

}  // namespace

TableText ReadTableAsText(store::Connection& db, std::string_view table) {
  TableText text;
  store::Statement rows = db.Prepare(fmt::format("SELECT * FROM [{}]", table));
  const int column_count = rows.ColumnCount();
  for (int column = 0; column < column_count; ++column) text.columns.push_back(rows.ColumnName(column));
  while (rows.Step()) {
    std::vector<std::string>& row = text.rows.emplace_back();
    row.reserve(static_cast<std::size_t>(column_count));
    for (int column = 0; column < column_count; ++column) row.push_back(rows.Text(column));
  }
  return text;
}

TableText ReadTableAsText(const std::string& db_path, std::string_view table) {
  store::Connection db(db_path);
  return ReadTableAsText(db, table);
}

void ExportXslXml(const std::string& db_path, const std::string& path) {
  WriteXslXml(ReadTableAsText(db_path, "xsl"), path);
}

void WriteXslXml(const TableText& table, const std::string& path) {
  WriteExchangeFile(table, path, "version=\"1.0\" encoding=\"Shift_JIS\"", "tags",
                    [](const std::string&, const std::string& value) { return CompactTagSpace(value); });
}

void ExportCharXml(const std::string& db_path, const std::string& path) {
  TableText table = ReadTableAsText(db_path, "char");
  WriteExchangeFile(table, path, "version=\"1.0\" encoding=\"UTF-8\"", "chars",
                    [](const std::string& column, const std::string& value) {
                      return column == "ws" ? std::string() : value;
                    });
}

std::string CompactTagSpace(std::string_view text) {
  std::string compact = TrimControl(text);
  if (compact.find('>') == std::string::npos) return compact;
  static const Regex kBetweenTags("(>\\s*?<)");
  std::unordered_set<std::string> replaced;
  for (const RegexMatch& match : kBetweenTags.FindAll(compact)) {
    // Every occurrence of a match's text is replaced at once, so a repeated match
    // has nothing left to do.
    if (!replaced.insert(match.text).second) continue;
    compact = ReplaceAll(compact, match.text, "><");
  }
  return compact;
}

}  // namespace tavex::exchange
