// What the working database's tables were made from, kept in the database beside them:
// the disc its entries were read from, and the tag rules as the run that filled the
// table left them. A later run tells from these a disc other than the one its tables
// come from, and tag rules edited since, which a run in operating mode 0 would drop.
#pragma once

#include <optional>
#include <string>

namespace tavex::store {
class Connection;
}

namespace tavex {

// The table that holds these records; a mode 0 run drops it with the others.
inline constexpr const char* kWorkingOriginTable = "working_origin";

// Records `source_folder` as the disc the entries of `db_path` were read from.
void RecordSourceFolder(const std::string& db_path, const std::string& source_folder);
// The disc recorded by RecordSourceFolder, if any.
std::optional<std::string> RecordedSourceFolder(const std::string& db_path);

// Records the tag rules of `xsl` as they stand as the ones a fresh run gives.
void RecordFreshRules(const std::string& db_path);
// The same inside the transaction `db` holds, so that the record is made with the table.
void RecordFreshRules(store::Connection& db);
// Forgets them: the rules of `xsl` are no longer what a fresh run would give.
void ForgetFreshRules(const std::string& db_path);
// True when `db_path` has an `xsl` table whose rules were edited since the run that made
// them (they differ from the rules RecordFreshRules recorded; none recorded counts as
// edited) and that the rules file `xsl_exchange` does not hold either, so that a fresh run
// would lose them. Values compare by what they do: text options trimmed, flags on or off
// ("" and "0" are both off).
bool RulesDifferFromFresh(const std::string& db_path, const std::string& xsl_exchange);

}  // namespace tavex
