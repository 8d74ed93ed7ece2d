#include "pipeline/layout.h"

#include <gtest/gtest.h>

#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;

TEST(LayoutTest, SourceDataFolderFindsTheBundlesInAnyLetterCase) {
  TempDir dir;
  EXPECT_EQ(SourceDataFolder(""), "");
  // The disc's root gives its data folder, spelt as the disc spells it.
  CreateFolders(dir / "root/TAVEX.DATA/FS.SKN");
  EXPECT_EQ(SourceDataFolder(dir / "root/"), dir / "root/TAVEX.DATA");
  EXPECT_EQ(SourceDataFolder(dir / "root/TAVEX.DATA"), dir / "root/TAVEX.DATA");
  // Neither: the expected place, so that the first read names it. A file is no bundle.
  WriteTestFile(dir / "odd/fs.skn", "");
  EXPECT_EQ(SourceDataFolder(dir / "odd"), dir / "odd/tavex.data");
}

TEST(LayoutTest, DatabaseFieldCountsOnlyWhileItsFileExists) {
  TempDir dir;
  WorkingLayout l = DeriveWorkingLayout(dir.path() + "/", "", dir / "gone.db");
  EXPECT_EQ(l.workspace, dir.path());
  EXPECT_EQ(l.database_file, dir / "working_folder/TAVEX_data");
  EXPECT_EQ(l.unzip_folder, dir / "working_folder/unzip_folder");
  EXPECT_EQ(l.xsl_exchange, dir / "xsl_data.xml");
  EXPECT_FALSE(FolderExists(l.base_folder));  // deriving creates nothing

  WriteTestFile(dir / "mine.db", "");
  EXPECT_EQ(DeriveWorkingLayout(dir.path(), "", dir / "mine.db").database_file, dir / "mine.db");
}

TEST(LayoutTest, CreateWorkingFoldersMakesTheFoldersOnlyWhenMissing) {
  TempDir dir;
  WorkingLayout l = DeriveWorkingLayout(dir.path(), "", "");
  CreateWorkingFolders(l);
  EXPECT_TRUE(FolderExists(l.base_folder));
  EXPECT_TRUE(FolderExists(l.unzip_folder));
  EXPECT_FALSE(FolderExists(l.lib_folder));
  EXPECT_FALSE(FileExists(l.database_file));  // the Workbench makes it, through the checked folder

  WriteFileAtomic(JoinPath(l.working_folder, "kept.txt"), "kept");
  CreateWorkingFolders(l);
  EXPECT_EQ(ReadFile(JoinPath(l.working_folder, "kept.txt")), "kept");
}

}  // namespace
}  // namespace tavex
