#include "fs/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "text/error.h"
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

TEST(FilesTest, ErrorsNameTheFile) {
  TempDir dir;
  std::string missing = dir / "missing.txt";
  try {
    ReadFile(missing);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot read " + missing + ": No such file or directory");
  }
  EXPECT_THROW(FileSize(missing), Error);
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

}  // namespace
}  // namespace tavex
