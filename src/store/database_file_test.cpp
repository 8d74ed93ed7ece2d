#include "store/database_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>

#include "fs/files.h"
#include "store/database.h"
#include "testing/test_util.h"
#include "text/error.h"

namespace tavex::store {
namespace {

using tavex::testing::TempDir;

std::string Refusal(const DatabaseFile& file) {
  try {
    file.RequireOurs();
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

// The folder is swapped for a link to another folder after it was checked and before the
// database is opened: the database written is the checked one, its journal beside it.
TEST(DatabaseFileTest, TheCheckedFolderIsTheOneWrittenWhateverTakesItsName) {
  TempDir dir;
  std::filesystem::create_directory(dir / "checked");
  std::filesystem::create_directory(dir / "other");
  CreateDatabase(dir / "checked/TAVEX_data");
  CreateDatabase(dir / "other/TAVEX_data");
  const std::string other_before = ReadFile(dir / "other/TAVEX_data");

  DatabaseFile file(dir / "checked/TAVEX_data");
  file.RequireOurs();
  ASSERT_EQ(std::rename((dir / "checked").c_str(), (dir / "moved").c_str()), 0);
  ASSERT_EQ(symlink((dir / "other").c_str(), (dir / "checked").c_str()), 0);

  ExecSql(file.open_path(), "create table [written](a); insert into [written] values (1);");
  EXPECT_TRUE(TableExists(dir / "moved/TAVEX_data", "written"));
  EXPECT_EQ(ReadFile(dir / "other/TAVEX_data"), other_before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "other"), {}), 1);  // no journal there
  // Messages name where the file is, not the handle's name.
  try {
    ExecSql(file.open_path(), "select * from [missing]");
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "moved/TAVEX_data"), std::string::npos) << e.what();
  }
}

// Only the application id makes a database the program's: a file with the program's table
// names (as one of a version from before the id has), a link, a second name and an empty
// file the user made are refused and left as they were.
TEST(DatabaseFileTest, OnlyTheProgramsIdMakesADatabaseItsAndTheRestIsLeftAlone) {
  TempDir dir;
  const std::string user = dir / "user.db";
  CreateDatabase(user);
  ExecSql(user, "pragma application_id = 0; create table [topic](t); insert into [topic] values ('my notes');"
                "create table [xsl](a); create table [char](b);");
  WriteFileAtomic(dir / "empty.db", "");
  CreateDatabase(dir / "ours.db");
  ASSERT_EQ(symlink((dir / "ours.db").c_str(), (dir / "soft.db").c_str()), 0);
  const std::string before = ReadFile(user);
  for (const char* name : {"user.db", "empty.db", "soft.db"}) {
    EXPECT_NE(Refusal(DatabaseFile(dir / name)).find(dir / name + " is not a working database of this program"),
              std::string::npos)
        << name;
  }
  ASSERT_EQ(link((dir / "ours.db").c_str(), (dir / "hard.db").c_str()), 0);
  EXPECT_NE(Refusal(DatabaseFile(dir / "hard.db")).find("it is a hard link"), std::string::npos);
  EXPECT_EQ(ReadFile(user), before);
  EXPECT_EQ(ReadFile(dir / "empty.db"), "");

  // An empty file listed in the manifest of a folder the program made is its creation that
  // a kill cut short: marked now.
  CreateFolder(dir / "made");
  WriteFileAtomic(dir / "made/TAVEX_data", "");
  DatabaseFile cut_short(dir / "made/TAVEX_data");
  EXPECT_EQ(Refusal(cut_short), "");
  EXPECT_EQ(Refusal(cut_short), "");
}

}  // namespace
}  // namespace tavex::store
