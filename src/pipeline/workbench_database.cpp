// The one way in to the working database for every command of the Workbench: the
// workspace's folders are checked as every writing command checks them, the database's
// folder is opened once and held, and the file must carry this program's application id.
// Every table a command reads or writes is reached through the name these give, which
// opens the file inside the held folder, so no command can skip the checks.
#include <fmt/format.h>

#include <filesystem>

#include "fs/files.h"
#include "fs/manifest.h"
#include "pipeline/workbench.h"
#include "store/database.h"
#include "text/error.h"

namespace tavex {

std::optional<std::string> Workbench::ExistingDatabase() const {
  if (!options_.reader) CheckWorkingFolders(layout_);
  if (!db_) {
    const std::string folder = std::filesystem::path(layout_.database_file).parent_path().string();
    if (!FolderExists(folder)) return std::nullopt;
    store::DatabaseFile held(layout_.database_file);
    // A writer takes the working folder's database only from a folder this program made,
    // the one checked above unless it was replaced since.
    if (!options_.reader && folder == layout_.working_folder && !ReadManifest(held.folder().fd(), folder)) {
      throw Error(fmt::format("cannot use the working database in {}: this program did not make that folder (it "
                              "has no {}), so it may hold somebody's files; move it away or choose another workspace",
                              folder, kManifestName));
    }
    db_.emplace(std::move(held));
  }
  if (!db_->Exists()) return std::nullopt;
  db_->RequireOurs();
  return db_->open_path();
}

std::string Workbench::Database() {
  CreateWorkingFolders(layout_);
  if (!ExistingDatabase()) {
    if (!db_) throw Error(fmt::format("cannot open working database {}: its folder does not exist", layout_.database_file));
    db_->Create();
    db_->RequireOurs();
  }
  return db_->open_path();
}

void Workbench::ForgetDatabase() { db_.reset(); }

bool Workbench::HasTable(std::string_view table) const {
  const std::optional<std::string> db = ExistingDatabase();
  return db && store::TableExists(*db, table);
}

std::string Workbench::RequireTable(std::string_view table) const {
  const std::optional<std::string> db = ExistingDatabase();
  if (!db || !store::TableExists(*db, table)) {
    throw Error(MissingTableMessage(options_.front_end, layout_.database_file, table));
  }
  return *db;
}

}  // namespace tavex
