// The table preparation routines.
#include "exchange/prepare.h"

#include "analysis/statistics.h"
#include "exchange/table_import.h"
#include "fs/files.h"
#include "store/database.h"
#include "store/tables.h"

namespace tavex::exchange {

namespace {

// Creates the (missing) table and fills it; inside the caller's transaction.
void CreateAndFill(store::Connection& db, ExchangeTable table, const std::string& exchange_path,
                   Progress& progress, const AfterStatistics& after_statistics) {
  const bool from_file = FileExists(exchange_path);
  switch (table) {
    case ExchangeTable::kXsl:
      store::CreateXslTable(db);
      if (from_file) return ImportXslXml(db, exchange_path);
      analysis::BuildTagTableFromStatistics(db, progress);
      if (after_statistics) after_statistics(db);
      break;
    case ExchangeTable::kChar:
      store::CreateCharTable(db);
      if (from_file) return ImportCharXml(db, exchange_path);
      analysis::BuildCharTableFromStatistics(db, progress);
      break;
    case ExchangeTable::kAlt:
      store::CreateAltTable(db);
      if (from_file) return ImportAltXml(db, exchange_path);
      break;
  }
}

// One transaction: optionally drop, then create and fill. Commits only a table that
// was filled completely.
bool BuildTable(ExchangeTable table, const std::string& db_path, const std::string& exchange_path,
                bool replace, Progress& progress, Prompter&, const AfterStatistics& after_statistics = {},
                const AfterStatistics& before_commit = {}) {
  const std::string name(TableName(table));
  store::Connection db(db_path);
  store::Transaction transaction(db);
  if (db.TableExists(name)) {
    if (!replace) return false;
    db.Exec("DROP TABLE [" + name + "]");
  }
  CreateAndFill(db, table, exchange_path, progress, after_statistics);  // an error rolls the transaction back
  if (before_commit) before_commit(db);
  transaction.Commit();
  return true;
}

}  // namespace

std::string_view TableName(ExchangeTable table) {
  switch (table) {
    case ExchangeTable::kXsl: return "xsl";
    case ExchangeTable::kChar: return "char";
    case ExchangeTable::kAlt: return "alt";
  }
  return {};
}

bool PrepareXslTable(const std::string& db_path, const std::string& exchange_path, Progress& progress,
                     Prompter& prompter, const AfterStatistics& after_statistics,
                     const AfterStatistics& before_commit) {
  if (!FileExists(db_path)) return false;
  return BuildTable(ExchangeTable::kXsl, db_path, exchange_path, false, progress, prompter, after_statistics,
                    before_commit);
}

bool PrepareCharTable(const std::string& db_path, const std::string& exchange_path, Progress& progress,
                      Prompter& prompter) {
  return BuildTable(ExchangeTable::kChar, db_path, exchange_path, false, progress, prompter);
}

bool PrepareAltTable(const std::string& db_path, const std::string& exchange_path, Progress& progress,
                     Prompter& prompter) {
  return BuildTable(ExchangeTable::kAlt, db_path, exchange_path, false, progress, prompter);
}

bool ReplaceTable(ExchangeTable table, const std::string& db_path, const std::string& exchange_path,
                  Progress& progress, Prompter& prompter) {
  return BuildTable(table, db_path, exchange_path, true, progress, prompter);
}

}  // namespace tavex::exchange
