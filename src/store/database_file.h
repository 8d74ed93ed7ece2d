// The working database file as a command reaches it. Its folder is opened once and held
// while this object lives; the file is checked inside that folder, and SQLite opens it
// (and makes its journal beside it) through the held folder. So the file checked is the
// file written, however the folder's path changes meanwhile, and no name is taken as
// proof that a file is this program's: only the application id it carries is.
#pragma once

#include <string>

#include "fs/held_folder.h"

namespace tavex::store {

class DatabaseFile {
 public:
  // Holds the folder of `path` (an absolute path) as fs/held_folder.h opens it. Throws
  // Error naming the folder when it cannot be opened.
  explicit DatabaseFile(const std::string& path);

  // The path as the user knows it: for messages and the settings file.
  const std::string& path() const { return path_; }
  // The name every connection opens: the file inside the held folder. Valid while this
  // object lives.
  const std::string& open_path() const { return open_path_; }
  const HeldFolder& folder() const { return folder_; }

  // False when nothing is at the name. Throws Error naming the path when something other
  // than a regular file with one link is there (a symbolic link, a second name of a file,
  // a folder): SQLite would write through it into a file that is not the database.
  bool Exists() const;
  // Creates the database, marked as this program's, when nothing is at the name; the
  // file and its journal are listed in the folder's manifest first, when it has one.
  void Create() const;
  // Throws Error naming the file unless it carries this program's application id: any
  // other database is left as it is, whatever its tables. An empty file that the folder's
  // manifest lists is a creation cut short by a kill, and is marked now.
  void RequireOurs() const;

 private:
  std::string path_;
  std::string name_;
  HeldFolder folder_;
  std::string open_path_;
};

}  // namespace tavex::store
