#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "platform/error.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

using testing::TempDir;
using testing::WriteTestFile;

TEST(FilesTest, JoinPathUsesOneSlash) {
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("a/", "/b"), "a/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(JoinPath("a", ""), "a");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
}

TEST(FilesTest, AtomicWriteReplacesAndReadsBack) {
  TempDir dir;
  std::string path = dir / "out.bin";
  std::string data("a\0b\r\n", 5);
  WriteFileAtomic(path, data);
  EXPECT_EQ(ReadFile(path), data);
  EXPECT_EQ(FileSize(path), 5u);
  WriteFileAtomic(path, "new");
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(FolderExists(path));
  // No temporary file is left beside it.
  auto entries = std::distance(std::filesystem::directory_iterator(dir.path()),
                               std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 1);
}

TEST(FilesTest, AtomicWriteTakesOverATemporaryLeftByAKilledWrite) {
  TempDir dir;
  const std::string path = dir / "TAVEX.ebs";
  WriteTestFile(path + ".tmp", std::string(5000, 'x'));
  WriteFileAtomic(path, "whole");
  EXPECT_EQ(ReadFile(path), "whole");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(FilesTest, ErrorsNameTheFile) {
  TempDir dir;
  std::string missing = dir / "missing.txt";
  try {
    ReadFile(missing);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot read " + missing + ": No such file or directory");
  }
  std::string target = dir / "no/such/folder/file";
  try {
    WriteFileAtomic(target, "x");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cannot write " + target + ": ", 0), 0u) << e.what();
  }
  EXPECT_THROW(FileSize(missing), Error);
  EXPECT_THROW(WriteFileInPlace(target, "x"), Error);
}

TEST(FilesTest, InPlaceWriteReplacesTheWholeFile) {
  TempDir dir;
  const std::string path = dir / "out.wav";
  WriteFileInPlace(path, std::string(1000, 'a'));
  WriteFileInPlace(path, std::string("b\0c", 3));
  EXPECT_EQ(ReadFile(path), std::string("b\0c", 3));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(FilesTest, CaseInsensitiveLookupPrefersTheExactName) {
  TempDir dir;
  WriteTestFile(dir / "Index.IDX", "1");
  EXPECT_EQ(ResolveCaseInsensitive(dir.path(), "index.idx"), dir / "Index.IDX");
  EXPECT_EQ(ResolveCaseInsensitive(dir.path(), "absent.dat"), dir / "absent.dat");
  WriteTestFile(dir / "index.idx", "2");
  EXPECT_EQ(ResolveCaseInsensitive(dir.path(), "index.idx"), dir / "index.idx");
  EXPECT_EQ(ResolveCaseInsensitive(dir / "nofolder", "X"), dir / "nofolder/X");
}

TEST(FilesTest, CreateFoldersAndRename) {
  TempDir dir;
  CreateFolders(dir / "a/b/c");
  EXPECT_TRUE(FolderExists(dir / "a/b/c"));
  CreateFolder(dir / "a");  // existing: no error
  EXPECT_THROW(CreateFolder(dir / "x/y"), Error);
  WriteTestFile(dir / "f", "1");
  WriteTestFile(dir / "g", "2");
  RenamePath(dir / "f", dir / "g");
  EXPECT_EQ(ReadFile(dir / "g"), "1");
  EXPECT_FALSE(FileExists(dir / "f"));
  EXPECT_THROW(RenamePath(dir / "f", dir / "h"), Error);
}

TEST(FilesTest, DeleteFolderTreeRemovesEverythingButFollowsNoLinks) {
  TempDir dir;
  WriteTestFile(dir / "keep/precious.txt", "x");
  WriteTestFile(dir / "tree/a.txt", "a");
  WriteTestFile(dir / "tree/.hidden", "h");
  WriteTestFile(dir / "tree/sub/deeper/b.txt", "b");
  ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "tree/link").c_str()), 0);
  chmod((dir / "tree/a.txt").c_str(), 0444);

  DeleteFolderTree(dir / "tree");
  EXPECT_FALSE(FolderExists(dir / "tree"));
  EXPECT_TRUE(FileExists(dir / "keep/precious.txt"));

  ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "alias").c_str()), 0);
  DeleteFolderTree(dir / "alias");
  EXPECT_TRUE(FileExists(dir / "keep/precious.txt"));

  DeleteFolderTree("");  // nothing to do
  try {
    DeleteFolderTree(dir / "tree");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "tree"), std::string::npos) << e.what();
  }
  try {
    DeleteFolderTree(dir / "keep/precious.txt");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot delete folder " + (dir / "keep/precious.txt") + ": Not a directory");
  }
}

TEST(FilesTest, DeleteFolderTreeReportsAFileItCannotRemove) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  TempDir dir;
  WriteTestFile(dir / "tree/locked/f.txt", "x");
  chmod((dir / "tree/locked").c_str(), 0555);
  try {
    DeleteFolderTree(dir / "tree");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot delete " + (dir / "tree/locked/f.txt") + ": Permission denied");
  }
  chmod((dir / "tree/locked").c_str(), 0755);
}

}  // namespace
}  // namespace tavex
