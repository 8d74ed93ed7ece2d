#include "fs/write_layer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "text/error.h"
#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/manifest.h"
#include "fs/stand_in.h"
#include "fs/handles.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

using testing::TempDir;
using testing::WriteTestFile;

std::size_t CountEntries(const std::string& folder) {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

// The error `action` throws, or "" when it throws none.
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

TEST(WriteLayerTest, WritesReplaceWholeFilesAndLeaveNothingBeside) {
  TempDir dir;
  const std::string path = dir / "out.bin";
  WriteFileAtomic(path, std::string("a\0b\r\n", 5));
  WriteFileAtomic(path, "new");
  EXPECT_EQ(ReadFile(path), "new");
  WriteFileInPlace(dir / "in_place", std::string(1000, 'a'));
  WriteFileInPlace(dir / "in_place", "b");
  EXPECT_EQ(ReadFile(dir / "in_place"), "b");
  EXPECT_EQ(CountEntries(dir.path()), 2u);  // no temporary file, no manifest in a user's folder
  const std::string missing = dir / "no/such/folder/file";
  EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(missing, "x"); }).rfind("cannot write " + missing, 0), 0u);
}

// Every way a planted name could make a write land in a user's file: a link at the file,
// a hard link, a special file, a folder, and a link in place of a folder below the anchor.
TEST(WriteLayerTest, NeverWritesThroughAFileItDidNotMake) {
  TempDir dir;
  const WriteAnchor anchor(dir / "ws");
  WriteTestFile(dir / "victim.txt", "mine");
  CreateFolders(dir / "ws/base_folder");
  const std::string base = dir / "ws/base_folder";
  ASSERT_EQ(symlink((dir / "victim.txt").c_str(), (base + "/html_EPW").c_str()), 0);
  ASSERT_EQ(link((dir / "victim.txt").c_str(), (base + "/Gaiji.xml").c_str()), 0);
  ASSERT_EQ(mkfifo((base + "/TAVEX.ebs").c_str(), 0644), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), (base + "/us_pron").c_str()), 0);
  for (const char* name : {"html_EPW", "Gaiji.xml", "TAVEX.ebs"}) {
    for (bool atomic : {true, false}) {
      const std::string path = JoinPath(base, name);
      const std::string error =
          ErrorOf([&] { atomic ? WriteFileAtomic(path, "book") : WriteFileInPlace(path, "book"); });
      EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0u) << error;
      EXPECT_NE(error.find("move it away"), std::string::npos) << error;
    }
  }
  // Writing many files through one folder handle keeps the same rules.
  FolderFiles files(base);
  for (const char* name : {"html_EPW", "Gaiji.xml", "TAVEX.ebs", "../escaped.txt"}) {
    EXPECT_THROW(files.WriteInPlace(name, "book"), Error) << name;
  }
  EXPECT_THROW(FolderFiles(base + "/us_pron"), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "ws/escaped.txt"));
  EXPECT_THROW(WriteFileAtomic(base + "/us_pron/a.wav", "wav"), Error);
  EXPECT_THROW(CreateFolders(base + "/us_pron/deeper"), Error);
  EXPECT_THROW(RenamePath(base + "/TAVEX.ebs", base + "/Gaiji.xml"), Error);
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "mine");
  EXPECT_FALSE(std::filesystem::exists(dir / "a.wav"));
  EXPECT_FALSE(std::filesystem::exists(dir / "deeper"));
  // A link at a temporary-looking name is not used: the temporary name is new each time.
  ASSERT_EQ(symlink((dir / "victim.txt").c_str(), (base + "/copyright.html.tmp").c_str()), 0);
  WriteFileAtomic(base + "/copyright.html", "page");
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "mine");
}

TEST(WriteLayerTest, DeletesOnlyWhatItsManifestsList) {
  TempDir dir;
  const WriteAnchor anchor(dir.path());
  WriteTestFile(dir / "keep/precious.txt", "x");
  CreateFolders(dir / "tree/sub/deeper");
  WriteFileAtomic(dir / "tree/a.txt", "a");
  WriteFileInPlace(dir / "tree/sub/deeper/b.txt", "b");
  ASSERT_TRUE(HasManifest(dir / "tree/sub"));
  chmod((dir / "tree/a.txt").c_str(), 0444);

  // A user's file anywhere in the tree stops the delete before anything goes.
  WriteTestFile(dir / "tree/sub/mine.txt", "mine");
  const std::string error = ErrorOf([&] { DeleteFolderTree(dir / "tree"); });
  EXPECT_NE(error.find("this program did not write " + (dir / "tree/sub/mine.txt")), std::string::npos)
      << error;
  EXPECT_TRUE(FileExists(dir / "tree/sub/deeper/b.txt"));
  std::filesystem::remove(dir / "tree/sub/mine.txt");

  // A listed folder swapped for a link goes as a link; its target stays.
  std::filesystem::rename(dir / "tree/sub/deeper", dir / "moved");
  ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "tree/sub/deeper").c_str()), 0);
  DeleteFolderTree(dir / "tree");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "tree")));
  EXPECT_TRUE(FileExists(dir / "keep/precious.txt"));

  // A folder without a manifest, or a file, is never deleted.
  EXPECT_NE(
      ErrorOf([&] { DeleteFolderTree(dir / "keep"); }).find("did not write " + (dir / "keep/precious.txt")),
      std::string::npos);
  EXPECT_THROW(DeleteFolderTree(dir / "keep/precious.txt"), Error);
  EXPECT_TRUE(FileExists(dir / "keep/precious.txt"));
  DeleteFolderTree(dir / "absent");
  DeleteFolderTree("");
}

// A run killed right after it made a folder's manifest, before the manifest's first line,
// leaves it empty: the next run takes it as listing nothing and goes on.
TEST(WriteLayerTest, AnEmptyManifestLeftByAKillListsNothing) {
  TempDir dir;
  const WriteAnchor anchor(dir.path());
  CreateFolders(dir / "killed");
  const std::string manifest = dir / "killed/.tavex2epwing-manifest";
  const std::string header = ReadFile(manifest);
  ASSERT_FALSE(header.empty());
  ASSERT_EQ(truncate(manifest.c_str(), 0), 0);
  WriteFileAtomic(dir / "killed/a.txt", "a");
  EXPECT_TRUE(ReadFile(manifest).starts_with(header + "a.txt\n"));
  DeleteFolderTree(dir / "killed");
  EXPECT_FALSE(FolderExists(dir / "killed"));
}

// A run killed between making a listed folder and writing its manifest: the next run
// takes the empty folder up and writes into it; once something unlisted is in it, it is
// somebody's and refused.
TEST(WriteLayerTest, AListedFolderKilledBeforeItsManifestIsTakenUp) {
  TempDir dir;
  const WriteAnchor anchor(dir.path());
  CreateFolders(dir / "work/unzip");
  std::filesystem::remove(dir / "work/unzip/.tavex2epwing-manifest");
  EXPECT_NO_THROW(RequireOwnFolder(dir / "work/unzip"));
  CreateFolders(dir / "work/unzip");
  WriteFileAtomic(dir / "work/unzip/a.dat", "a");
  EXPECT_TRUE(UnlistedIn(dir / "work").empty());

  std::filesystem::remove(dir / "work/unzip/a.dat");
  std::filesystem::remove(dir / "work/unzip/.tavex2epwing-manifest");
  WriteTestFile(dir / "work/unzip/theirs.txt", "x");
  EXPECT_THROW(RequireOwnFolder(dir / "work/unzip"), Error);
  std::filesystem::create_directory(dir / "mine");
  EXPECT_THROW(RequireOwnFolder(dir / "mine"), Error);  // empty, but listed by no parent
  // Empty inside a folder of ours, but not listed there: somebody's, never written into.
  std::filesystem::create_directory(dir / "work/theirs");
  CreateFolder(dir / "work/theirs");
  EXPECT_FALSE(std::filesystem::exists(dir / "work/theirs/.tavex2epwing-manifest"));
  EXPECT_THROW(RequireOwnFolder(dir / "work/theirs"), Error);
}

// A folder of many files (a pronunciation folder), written through one handle, lists
// each, also past the names the process remembers; rewriting one lists it again, which
// does no harm.
TEST(WriteLayerTest, AFolderOfManyFilesListsEveryOne) {
  TempDir dir;
  const WriteAnchor anchor(dir.path());
  CreateFolders(dir / "many");
  constexpr int kFiles = 5000;
  FolderFiles files(dir / "many");
  for (int i = 0; i < kFiles; ++i) files.WriteInPlace(std::to_string(i) + ".wav", "w");
  WriteFileInPlace(dir / "many/4999.wav", "again");
  EXPECT_TRUE(UnlistedIn(dir / "many").empty());
  DeleteFolderTree(dir / "many");
  EXPECT_FALSE(FolderExists(dir / "many"));
}

// A folder written beside the one it replaces takes a file of the same bytes as a second
// name of the previous one; a changed file, one with another name elsewhere and one its
// manifest does not list are written anew, and the previous folder keeps its content.
TEST(WriteLayerTest, AFolderTakesUnchangedFilesFromTheOneItReplaces) {
  TempDir dir;
  const WriteAnchor anchor(dir.path());
  CreateFolders(dir / "old");
  {
    FolderFiles old(dir / "old");
    for (const char* name : {"same.mp3", "changed.mp3", "shared.mp3"}) old.WriteInPlace(name, "sound");
  }
  WriteTestFile(dir / "old/unlisted.mp3", "sound");
  std::filesystem::create_hard_link(dir / "old/shared.mp3", dir / "elsewhere.mp3");
  const auto inode = [](const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  };

  CreateFolders(dir / "new");
  FolderFiles files(dir / "new");
  files.ReuseFrom(dir / "old");
  for (const char* name : {"same.mp3", "shared.mp3", "unlisted.mp3", "added.mp3"}) files.WriteInPlace(name, "sound");
  files.WriteInPlace("changed.mp3", "other");
  EXPECT_EQ(inode(dir / "new/same.mp3"), inode(dir / "old/same.mp3"));
  for (const char* name : {"changed.mp3", "shared.mp3", "unlisted.mp3"}) {
    EXPECT_NE(inode(dir / "new/" + name), inode(dir / "old/" + name)) << name;
  }
  EXPECT_EQ(ReadFile(dir / "old/changed.mp3"), "sound");
  EXPECT_EQ(ReadFile(dir / "new/changed.mp3"), "other");
  EXPECT_TRUE(UnlistedIn(dir / "new").empty());
  std::filesystem::remove(dir / "old/unlisted.mp3");
  DeleteFolderTree(dir / "old");  // the taken file stays, under its one new name
  EXPECT_EQ(ReadFile(dir / "new/same.mp3"), "sound");
}

// A file put into the output folder while the new one is written stops the swap.
TEST(WriteLayerTest, TheSwapLooksAgainRightBeforeItsRenames) {
  TempDir dir;
  const std::string out = dir / "dest";
  CreateFolders(out);  // as the user made it: empty
  std::filesystem::remove(out + "/" + kManifestName);
  CheckOutputFolder(out, {});
  const std::string staging = CreateStagingFolder(out);
  WriteFileAtomic(staging + "/CATALOGS", "book");
  WriteTestFile(out + "/precious.txt", "mine");
  EXPECT_NE(ErrorOf([&] { SwapInFolder(staging, out); }).find("cannot replace " + out), std::string::npos);
  EXPECT_EQ(ReadFile(out + "/precious.txt"), "mine");
  std::filesystem::remove(out + "/precious.txt");
  SwapInFolder(staging, out);
  EXPECT_EQ(ReadFile(out + "/CATALOGS"), "book");
  EXPECT_EQ(CountEntries(dir.path()), 1u);  // no stand-in, no record left beside the book
}

// A run killed with a half-written book beside the folder, and another killed after it
// moved the previous folder aside: the next run removes the one and puts the other back,
// knowing both by their records. A user's copies under the old swap names, manifests
// and all, are nothing to it.
TEST(WriteLayerTest, AKilledRunsStandInsAreFinishedByTheirRecordsOnly) {
  TempDir dir;
  const std::string out = dir / "book";
  CreateFolders(out);
  WriteFileAtomic(out + "/CATALOGS", "previous");
  for (const char* copy : {".old", ".ready", ".staging", ".new"}) {
    std::filesystem::copy(out, out + copy, std::filesystem::copy_options::recursive);
  }
  const pid_t child = fork();
  if (child == 0) {
    const std::string staging = CreateStagingFolder(out);
    WriteFileAtomic(staging + "/CATALOGS", "half");
    CreateFolders(dir / "other");
    ParentHandle parent = OpenParentHandle(dir / "other");
    MoveToStandIn(parent.dir.get(), parent.folder, "other", StandInKind::kPrevious);
    _exit(0);  // killed: nothing cleaned up
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(CountEntries(dir.path()), 9u);  // book, four copies, two stand-ins, two records
  RecoverFolderSwap(out);
  RecoverFolderSwap(dir / "other");
  EXPECT_EQ(CountEntries(dir.path()), 6u);
  EXPECT_EQ(ReadFile(out + "/CATALOGS"), "previous");
  EXPECT_TRUE(FolderExists(dir / "other"));
  for (const char* copy : {".old", ".ready", ".staging", ".new"}) {
    EXPECT_EQ(ReadFile(out + copy + "/CATALOGS"), "previous") << copy;
  }
}

}  // namespace
}  // namespace tavex
