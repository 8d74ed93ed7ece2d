// The texts of the entry preview: one entry, chosen by record index, shown the ways a user
// who edits the tag rules needs to see it — the rendered result, the source XML with the
// chosen tag and word highlighted, the stylesheet's raw and cleaned output, and the block
// the book would carry. Drawing them is the front end's business.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "book/transform.h"
#include "platform/mode.h"
#include "text/text.h"

namespace tavex::book {

// Where the preview reads the entry and the stylesheet from.
struct PreviewOptions {
  std::string database_file;    // the database field; an empty path gives empty views
  std::string main_stylesheet;  // epwing_dic.xsl
  OperatingMode mode;           // decides whether id and pv elements are keyed
  bool require_entry = false;   // an index without an entry is an error, not empty views
};

// The five views of one entry. All are empty when the entry has no row.
struct EntryPreview {
  std::string wb;   // "WB": the whole transformed document after clean-up and gaiji (UTF-8)
  std::string xml;  // "xml": the escaped, indented, highlighted source in a size-3 font (UTF-8)
  Sjis original;    // "html (orininal shift_jis)": the stylesheet's result as it came
  Sjis final;       // "html (final)": that result after the blank-run collapse and the gaiji
  Sjis epw;         // "EPW output": the entry's block as the book carries it
};

// The highlight colours of the xml view.
inline constexpr const char* kTagColour = "#ff0000";
inline constexpr const char* kWordColour = "#0000ff";

// One row of `fs_skn`.
struct EntryRow {
  std::int64_t index = 0;
  std::string xml;    // CONTENT_text
  std::string title;  // TEXTTITLE
};

// The row of the entry with record index `index`, or nothing when there is none. Throws
// tavex::Error when the database cannot be read.
std::optional<EntryRow> LoadEntryRow(const std::string& db_path, std::int64_t index);

// The entry XML of record `index`; empty when `db_path` is empty or there is no such row.
std::string LoadEntryXml(const std::string& db_path, std::int64_t index);

// The XML indented one tab a level with CR LF line ends, under the declaration
// <?xml version="1.0" encoding="utf-8" ?>. Empty when the text does not parse.
std::string PrettyPrintXml(std::string_view xml_text);

// Markup shown as text: "<" and ">" escaped, each CR as a "<br/>" and each tab as four
// no-break spaces, in that order. Ampersands stay as they are.
std::string EscapeForDisplay(std::string_view text);

// Colours every escaped start, end and empty-element tag named `tag` (ignoring letter case)
// in `escaped` text. A tag name that makes no valid pattern highlights nothing.
std::string HighlightTag(std::string_view escaped, std::string_view tag);

// Colours every occurrence of `word` (case-sensitive) in the text of `html`, leaving the
// markup that earlier highlighting put in untouched.
std::string HighlightWord(std::string_view html, std::string_view word);

// The xml view of `xml_text`: pretty-printed (the source as it stands when it does not
// parse), escaped, highlighted for `tag` and `word` when they are not empty, and wrapped in
// <font size="3">.
std::string XmlSourceView(std::string_view xml_text, std::string_view tag, std::string_view word);

// The "EPW output" text of an entry: the block of the book, each line preceded by CR LF,
// always with both key types, ending in "<br></p></dd>".
Sjis RenderEntryBlock(std::int64_t index, const TransformedEntry& entry);

// The five views of record `index`. Throws tavex::Error naming the file when the main
// stylesheet does not load, on database and transformation faults, and for an index
// without an entry when the options require one; no view is returned half-made.
EntryPreview ShowEntryPreview(const PreviewOptions& options, std::int64_t index, std::string_view tag,
                              std::string_view word);

}  // namespace tavex::book

namespace tavex {
using book::EntryPreview;
}  // namespace tavex
