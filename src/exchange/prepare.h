// Getting the rule tables ready for a conversion run. A missing table is created and
// filled from its exchange file when that file exists, else from the entry statistics
// (`alt` stays empty). Creating and filling is one transaction: a file that fails to
// import leaves no table behind, so the next run simply prepares it again.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/progress.h"
#include "platform/prompter.h"

namespace tavex::store {
class Connection;
}

namespace tavex::exchange {

// Work done on a table just filled from the statistics, inside the same transaction.
using AfterStatistics = std::function<void(store::Connection&)>;

// The three tables that have exchange files.
enum class ExchangeTable { kXsl, kChar, kAlt };

// "xsl", "char" or "alt".
std::string_view TableName(ExchangeTable table);

// Creates and fills `xsl` when it is missing (from `exchange_path` if that file exists,
// else from the tag statistics). Does nothing while the database file does not exist.
// True when the table was built, so the tag editor should reload; false when it
// already existed. An exchange file that does not import (it does not parse, or holds
// no row of the table) throws Error naming the file, and no table is kept. When the
// rows come from the statistics, `after_statistics` (if set) runs on them before the
// table is committed, so that a failure leaves no table. `before_commit` (if set) runs on
// the filled table whichever way it was filled, in the same transaction, so that what it
// records stands or falls with the table.
bool PrepareXslTable(const std::string& db_path, const std::string& exchange_path, Progress& progress,
                     Prompter& prompter, const AfterStatistics& after_statistics = {},
                     const AfterStatistics& before_commit = {});

// The same for `char`, from the character statistics when there is no file.
bool PrepareCharTable(const std::string& db_path, const std::string& exchange_path, Progress& progress,
                      Prompter& prompter);

// The same for `alt`, which stays empty when there is no file.
bool PrepareAltTable(const std::string& db_path, const std::string& exchange_path, Progress& progress,
                     Prompter& prompter);

// Drops the table when present, creates it and fills it as the preparation does, all
// in one transaction: when the import fails (Error naming the file), the old table stays
// as it was. True when the table was replaced.
bool ReplaceTable(ExchangeTable table, const std::string& db_path, const std::string& exchange_path,
                  Progress& progress, Prompter& prompter);

}  // namespace tavex::exchange
