// Filling the rule tables from exchange files.
#include "exchange/table_import.h"

#include <fmt/format.h>

#include <optional>

#include "text/error.h"
#include "text/text.h"
#include "xml/xml.h"

namespace tavex::exchange {

namespace {

// What distinguishes the three files.
struct RowFormat {
  const char* table;
  const char* row_element;
  bool rebuild_ws;  // char: `ws` is skipped and rebuilt from `ws_code`
};

bool IsXmlSpace(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string KindName(xml::NodeKind kind) {
  switch (kind) {
    case xml::NodeKind::kText: return "text";
    case xml::NodeKind::kCData: return "CDATA section";
    case xml::NodeKind::kComment: return "comment";
    case xml::NodeKind::kProcessingInstruction: return "processing instruction";
    default: return "node";
  }
}

// The code unit a `ws_code` value stands for.
char16_t ParseWsCode(std::string_view value, const std::string& path, int row) {
  std::int64_t code = 0;
  if (!ParseInt(value, code) || code < 0 || code > 0xFFFF) {
    throw Error(fmt::format("cannot import {}: row {}: ws_code \"{}\" is not a character code", path, row,
                            value));
  }
  return static_cast<char16_t>(code);
}

void ImportRows(store::Connection& db, const std::string& path, const RowFormat& format) {
  store::Appender rows(db, format.table);
  int row = 0;
  // Streamed one row at a time: a rule file may be hundreds of megabytes.
  const auto add_row = [&](const xml::Node& element) {
    ++row;
    rows.AddNew();
    std::optional<std::string> ws_code;
    for (xml::Node child = element.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
      if (child.Kind() != xml::NodeKind::kElement) {
        std::string text = child.Text();
        if (child.Kind() == xml::NodeKind::kText && IsXmlSpace(text)) continue;
        throw Error(fmt::format("cannot import {}: row {}: {} \"{}\" where a column element belongs", path,
                                row, KindName(child.Kind()), text));
      }
      std::string name = child.TagName();
      if (name == "index") continue;
      if (format.rebuild_ws && name == "ws") continue;
      if (!rows.HasColumn(name)) {
        throw Error(fmt::format("cannot import {}: row {}: \"{}\" is not a column of table {}", path, row,
                                name, format.table));
      }
      std::string value = child.Text();
      if (format.rebuild_ws && name == "ws_code") ws_code = value;
      rows.SetText(name, value);
    }
    if (format.rebuild_ws) {
      if (!ws_code) throw Error(fmt::format("cannot import {}: row {}: no ws_code", path, row));
      rows.SetText("ws", EncodeUnitUtf8(ParseWsCode(*ws_code, path, row)));
    }
    rows.Update();
  };
  std::string fault;
  if (!xml::ForEachElement(path, format.row_element, add_row, fault)) {
    // The parser says "PATH:LINE: message"; the path is already at the front.
    if (fault.rfind(path + ":", 0) == 0) fault = "line " + fault.substr(path.size() + 1);
    throw Error(fmt::format("cannot import {}: {}", path, fault));
  }
  if (row == 0) {
    throw Error(fmt::format("cannot import {}: it holds no <{}> element, so no row of table {}", path,
                            format.row_element, format.table));
  }
}

}  // namespace

void ImportXslXml(store::Connection& db, const std::string& path) {
  return ImportRows(db, path, RowFormat{"xsl", "tags", false});
}

void ImportCharXml(store::Connection& db, const std::string& path) {
  return ImportRows(db, path, RowFormat{"char", "chars", true});
}

void ImportAltXml(store::Connection& db, const std::string& path) {
  return ImportRows(db, path, RowFormat{"alt", "record", false});
}

}  // namespace tavex::exchange
