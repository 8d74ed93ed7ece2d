// Tag and character statistics over the entry table. When no prepared rule file is at
// hand, the tag rule table `xsl` gets one row per tag key found in the entries and the
// character table `char` one row per UTF-16 code unit of their text, in order of first
// appearance, with counts and the record index where each was first met.
#pragma once

#include <string>
#include <string_view>

#include "analysis/entry_walk.h"
#include "platform/progress.h"
#include "store/database.h"

namespace tavex::analysis {

// Where a pass reads its entries: the table, its record-index column and its XML column.
struct EntrySource {
  std::string table = "fs_skn";
  std::string key_column = "index";
  std::string xml_column = "CONTENT_text";
};

// Runs the element walk over every record of the source. The progress range is the
// record count; it advances ("[tag解析中] n/N") only for records whose XML parses.
// A record whose index is null is walked with -1.
TagTally TagPass(store::Connection& db, const EntrySource& source, Progress& progress);

// Runs the text walk over every record, reporting as "[char解析中] n/N".
CharTally CharPass(store::Connection& db, const EntrySource& source, Progress& progress);

// Runs the tag pass over `fs_skn` and appends one `xsl` row per tag key: `tag`,
// `total_count`, `first_index` (decimal text) and `apply_templates` "1"; the other
// columns stay null. The table must exist and should be empty. Runs inside the
// caller's transaction, so that creating and filling the table is one step.
void BuildTagTableFromStatistics(store::Connection& db, Progress& progress);
// The same on the database file, in a transaction of its own.
void BuildTagTableFromStatistics(const std::string& db_path, Progress& progress);

// Runs the character pass over `fs_skn` and appends one `char` row per code unit:
// `ws`, `ws_code`, `ws_hex`, `utf8_hex`, `total_count`, `first_index` and `char_ref`
// ("1" when the unit does not survive code page 932, else "0"). Inside the caller's
// transaction.
void BuildCharTableFromStatistics(store::Connection& db, Progress& progress);
// The same on the database file, in a transaction of its own.
void BuildCharTableFromStatistics(const std::string& db_path, Progress& progress);

}  // namespace tavex::analysis
