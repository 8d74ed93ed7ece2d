// The import commands ("xsl_import", "char_import", "alt_import"): replace a rule table
// by the content of an exchange file the user picks, after asking before an existing
// table is thrown away.
#pragma once

#include <optional>
#include <string>

#include "exchange/prepare.h"
#include "platform/progress.h"
#include "platform/prompter.h"

namespace tavex::exchange {

// The message shown when the user declines or cancels.
inline constexpr const char* kAbortedMessage = "中止されました。";

// The confirmation asked before an existing table is replaced.
std::string ReplaceQuestion(ExchangeTable table);

// How an import command ended.
struct ImportOutcome {
  // The file the user chose: it becomes the current exchange path of the table.
  // No value when the command stopped before a file was chosen.
  std::optional<std::string> exchange_path;
  // True when the table was replaced, so the views showing it should reload.
  bool rebuilt = false;
};

// Runs an import command on the database at `db_path`. When the table exists, asks
// ReplaceQuestion; anything but Yes shows "中止されました。" and stops. Then takes
// `file`, or asks for one to open (starting at `current_path`); a cancel shows
// "中止されました。" and stops. The drop, the new table and its import are one
// transaction, so a declined, cancelled or failed import leaves the old table as it
// was. A chosen file that does not exist throws Error.
ImportOutcome ImportCommand(ExchangeTable table, const std::string& db_path,
                            const std::optional<std::string>& file, const std::string& current_path,
                            Progress& progress, Prompter& prompter);

}  // namespace tavex::exchange
