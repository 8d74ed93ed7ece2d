// For tests only: a working database with an entry table holding given entry XML,
// so that the analysis and exchange tests start from what an extraction leaves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/database.h"

namespace tavex::analysis::testing {

// One record of the entry table: its index (null when absent) and its XML.
struct EntryRecord {
  std::optional<std::int64_t> index;
  std::string xml;
};

// Creates the database file at `db_path` with a table `table` shaped like the
// extracted `fs_skn` (whose `index` may be null when `nullable_index`) and the records,
// in the order given.
inline void WriteEntryTable(const std::string& db_path, const std::vector<EntryRecord>& records,
                            const std::string& table = "fs_skn", bool nullable_index = false) {
  store::EnsureDatabase(db_path);
  store::Connection db(db_path);
  db.Exec("CREATE TABLE [" + table + "]([index] int" + (nullable_index ? "" : " NOT NULL") +
          ", [TEXTTITLE] varchar(255), [CONTENT] longbinary, [CONTENT_text] longtext" +
          (nullable_index ? ");" : ", CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]));"));
  store::Transaction transaction(db);
  store::Statement insert = db.Prepare("INSERT INTO [" + table + "]([index],[CONTENT_text]) VALUES (?,?)");
  for (const EntryRecord& record : records) {
    insert.Reset();
    if (record.index) {
      insert.BindInt(1, *record.index);
    } else {
      insert.BindNull(1);
    }
    insert.BindText(2, record.xml);
    insert.Run();
  }
  transaction.Commit();
}

// Every row of a query, each value as text (null as "<null>").
inline std::vector<std::vector<std::string>> QueryRows(const std::string& db_path, const std::string& sql) {
  store::Connection db(db_path);
  store::Statement query = db.Prepare(sql);
  std::vector<std::vector<std::string>> rows;
  while (query.Step()) {
    std::vector<std::string>& row = rows.emplace_back();
    for (int column = 0; column < query.ColumnCount(); ++column) {
      row.push_back(query.IsNull(column) ? "<null>" : query.Text(column));
    }
  }
  return rows;
}

}  // namespace tavex::analysis::testing
