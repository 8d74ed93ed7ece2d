// The two statistics passes over the entry table and the rows they write.
#include "analysis/statistics.h"

#include <fmt/format.h>

#include "text/cp932.h"
#include "text/text.h"

namespace tavex::analysis {

namespace {

// Walks every record of `source` whose XML parses, handing `walk` the root element
// and the record index; the progress bar counts only those records.
template <typename Walk>
void RunPass(store::Connection& db, const EntrySource& source, Progress& progress,
             const char* label, Walk&& walk) {
  store::Statement count = db.Prepare(fmt::format("select count(*) from [{}]", source.table));
  count.Step();
  ProgressLoop loop(progress, static_cast<int>(count.Int(0)), label);

  store::Statement rows = db.Prepare(fmt::format("select [{}] as [index],[{}] as [xml] from [{}]",
                                                 source.key_column, source.xml_column, source.table));
  xml::Document doc;
  while (rows.Step()) {
    std::int32_t record_index = rows.IsNull(0) ? -1 : static_cast<std::int32_t>(rows.Int(0));
    if (!LoadEntryDocument(rows.Text(1), doc)) continue;
    walk(doc.DocumentElement(), record_index);
    loop.Step();
  }
}

}  // namespace

TagTally TagPass(store::Connection& db, const EntrySource& source, Progress& progress) {
  TagTally tally;
  RunPass(db, source, progress, "tag解析中", [&](const xml::Node& root, std::int32_t index) {
    ElementWalk(root, tally, index);
  });
  return tally;
}

CharTally CharPass(store::Connection& db, const EntrySource& source, Progress& progress) {
  CharTally tally;
  RunPass(db, source, progress, "char解析中", [&](const xml::Node& root, std::int32_t index) {
    TextWalk(root, tally, index);
  });
  return tally;
}

void BuildTagTableFromStatistics(store::Connection& db, Progress& progress) {
  TagTally tally = TagPass(db, EntrySource{}, progress);
  // Keys longer than the declared 20 characters of `tag` are kept whole: the
  // database does not cut them, and a cut key would no longer match its elements.
  store::Appender rows(db, "xsl");
  for (const TagCount& entry : tally.entries()) {
    rows.AddNew();
    rows.SetText("tag", entry.tag);
    rows.SetText("apply_templates", "1");
    rows.SetText("total_count", std::to_string(entry.total_count));
    rows.SetText("first_index", std::to_string(entry.first_index));
    rows.Update();
  }
}

void BuildTagTableFromStatistics(const std::string& db_path, Progress& progress) {
  store::Connection db(db_path);
  store::Transaction transaction(db);
  BuildTagTableFromStatistics(db, progress);
  transaction.Commit();
}

void BuildCharTableFromStatistics(store::Connection& db, Progress& progress) {
  CharTally tally = CharPass(db, EntrySource{}, progress);
  store::Appender rows(db, "char");
  for (const CharCount& entry : tally.entries()) {
    rows.AddNew();
    rows.SetText("ws", EncodeUnitUtf8(entry.code));
    rows.SetText("ws_code", std::to_string(static_cast<unsigned>(entry.code)));
    rows.SetText("ws_hex", entry.code_hex);
    rows.SetText("utf8_hex", entry.utf8_hex);
    rows.SetText("total_count", std::to_string(entry.total_count));
    rows.SetText("first_index", std::to_string(entry.first_index));
    rows.SetText("char_ref", NeedsCharRef(entry.code) ? "1" : "0");
    rows.Update();
  }
}

void BuildCharTableFromStatistics(const std::string& db_path, Progress& progress) {
  store::Connection db(db_path);
  store::Transaction transaction(db);
  BuildCharTableFromStatistics(db, progress);
  transaction.Commit();
}

}  // namespace tavex::analysis
