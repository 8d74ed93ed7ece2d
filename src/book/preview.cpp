// The texts of the entry preview.
#include "book/preview.h"

#include <fmt/format.h>

#include "analysis/topic_index.h"
#include "book/entry_block.h"
#include "book/gaiji_table.h"
#include "text/cp932.h"
#include "text/error.h"
#include "text/regex.h"
#include "xml/xml.h"
#include "store/database.h"

namespace tavex::book {

namespace {

constexpr std::string_view kWriterDeclaration = R"(<?xml version="1.0" encoding="UTF-16" standalone="no"?>)";
constexpr std::string_view kShownDeclaration = R"(<?xml version="1.0" encoding="utf-8" ?>)";

// Replaces every occurrence of `from` ignoring ASCII letter case.
std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view from, std::string_view to) {
  const std::string lower = AsciiLower(text);
  const std::string lower_from = AsciiLower(from);
  std::string result;
  std::size_t done = 0;
  for (std::size_t at; (at = lower.find(lower_from, done)) != std::string::npos; done = at + from.size()) {
    result.append(text.substr(done, at - done));
    result.append(to);
  }
  result.append(text.substr(done));
  return result;
}

std::string Colour(std::string_view text, const char* colour) {
  return fmt::format("<font color=\"{}\">{}</font>", colour, text);
}

// Why there is no entry `index`: how many entries the book has, and their indexes.
std::string MissingEntryMessage(const std::string& db_path, std::int64_t index) {
  store::Connection db(db_path);
  store::Statement range = db.Prepare("SELECT count(*), min([index]), max([index]) FROM [fs_skn]");
  range.Step();
  const std::int64_t count = range.Int(0);
  if (count == 0) return fmt::format("no entry {} (the book has none)", index);
  return fmt::format("no entry {} (the book has {}, indexes {} to {})", index, count, range.Int(1), range.Int(2));
}

}  // namespace

std::optional<EntryRow> LoadEntryRow(const std::string& db_path, std::int64_t index) {
  store::Connection db(db_path);
  store::Statement query =
      db.Prepare("SELECT [index],[CONTENT_text],[TEXTTITLE] FROM [fs_skn] where [index] = ? order by [index] limit 1");
  query.BindInt(1, index);
  if (!query.Step()) return std::nullopt;
  return EntryRow{query.Int(0), query.Text(1), query.Text(2)};
}

std::string LoadEntryXml(const std::string& db_path, std::int64_t index) {
  if (db_path.empty()) return {};
  std::optional<EntryRow> row = LoadEntryRow(db_path, index);
  return row ? row->xml : std::string();
}

std::string PrettyPrintXml(std::string_view xml_text) {
  return ReplaceAllIgnoreCase(xml::PrettyPrint(xml_text), kWriterDeclaration, kShownDeclaration);
}

std::string EscapeForDisplay(std::string_view text) {
  std::string escaped = ReplaceAll(text, "<", "&lt;");
  escaped = ReplaceAll(escaped, ">", "&gt;");
  escaped = ReplaceAll(escaped, "\r", "<br/>");
  return ReplaceAll(escaped, "\t", "&nbsp;&nbsp;&nbsp;&nbsp;");
}

std::string HighlightTag(std::string_view escaped, std::string_view tag) {
  std::vector<RegexMatch> matches;
  try {
    // The tag goes in as the user typed it, so a name may use pattern syntax on purpose.
    matches = FindAll(fmt::format("(&lt;/?{}(?:\\s.*?)?/?&gt;)", tag), escaped);
  } catch (const Error&) {
    return std::string(escaped);
  }
  // Each tag is wrapped where it stands, once.
  std::string result;
  std::size_t done = 0;
  for (const RegexMatch& match : matches) {
    result.append(escaped.substr(done, match.offset - done));
    result += Colour(match.groups[0], kTagColour);
    done = match.offset + match.text.size();
  }
  result.append(escaped.substr(done));
  return result;
}

std::string HighlightWord(std::string_view html, std::string_view word) {
  if (word.empty()) return std::string(html);
  const std::string coloured = Colour(word, kWordColour);
  std::string result;
  std::size_t i = 0;
  while (i < html.size()) {
    // Text up to the next markup is searched; the markup itself is copied as it is.
    const std::size_t tag_start = html.find('<', i);
    const std::size_t text_end = tag_start == std::string_view::npos ? html.size() : tag_start;
    result += ReplaceAll(html.substr(i, text_end - i), word, coloured);
    if (tag_start == std::string_view::npos) break;
    const std::size_t tag_end = html.find('>', tag_start);
    const std::size_t next = tag_end == std::string_view::npos ? html.size() : tag_end + 1;
    result.append(html.substr(tag_start, next - tag_start));
    i = next;
  }
  return result;
}

std::string XmlSourceView(std::string_view xml_text, std::string_view tag, std::string_view word) {
  std::string source = PrettyPrintXml(xml_text);
  if (source.empty()) {
    // Source that does not parse is shown as it stands, so the user can see why.
    source = ReplaceAll(ReplaceAll(xml_text, "\r\n", "\n"), "\n", "\r\n");
  }
  std::string text = EscapeForDisplay(source);
  if (!tag.empty()) text = HighlightTag(text, tag);
  if (!word.empty()) text = HighlightWord(text, word);
  return "<font size=\"3\">" + text + "</font>";
}

Sjis RenderEntryBlock(std::int64_t index, const TransformedEntry& entry) {
  std::string text;
  for (const Sjis& line : EntryBlockLines(index, entry.title, entry.keywords, entry.body, true, "<br></p></dd>")) {
    text += "\r\n";
    text += WithCrLf(line).bytes;
  }
  return Sjis(std::move(text));
}

EntryPreview ShowEntryPreview(const PreviewOptions& options, std::int64_t index, std::string_view tag,
                              std::string_view word) {
  EntryPreview preview;
  if (options.database_file.empty()) return preview;
  const std::optional<EntryRow> row = LoadEntryRow(options.database_file, index);
  if (!row && options.require_entry) throw Error(MissingEntryMessage(options.database_file, index));
  if (!row) return preview;

  const GaijiTable table = LoadGaijiTable(options.database_file);
  const std::string& db_path = options.database_file;
  EntryTransformer transformer(
      options.main_stylesheet, table, [&db_path](std::string_view id) { return analysis::LookupTopic(db_path, id); },
      options.mode);

  std::string document;
  if (transformer.TransformDocument(row->xml, document)) {
    const std::u16string cleaned =
        SubstituteGaiji(Utf8ToUtf16(CollapseBlankRuns(std::string_view(document))), table);
    preview.original = ToSjis(document);
    preview.final = ToSjis(cleaned);
    preview.wb = Utf16ToUtf8(cleaned);
  }
  preview.xml = XmlSourceView(row->xml, tag, word);
  preview.epw = RenderEntryBlock(index, transformer.TransformEntry(row->xml, row->title));
  return preview;
}

}  // namespace tavex::book
