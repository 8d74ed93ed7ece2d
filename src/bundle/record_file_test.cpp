#include "bundle/record_file.h"

#include <gtest/gtest.h>

#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex::bundle {
namespace {

// A file of a few read-ahead windows whose bytes all differ from their neighbours'.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t k = 0; k < size; ++k) bytes[k] = static_cast<char>((k * 7 + k / 251) & 0xFF);
  return bytes;
}

TEST(RecordFileTest, ReadsInAnyOrderAcrossWindowsMatchTheFile) {
  testing::TempDir dir;
  const std::string data = Pattern((3 << 20) + 12345);
  testing::WriteTestFile(dir / "data", data);
  RecordFile file(dir / "data");
  ASSERT_EQ(file.size(), data.size());

  const std::size_t window = 1 << 20;
  // Forward records, a record across a window's end, a step back, one larger than a
  // window, the file's last byte and an empty read.
  const std::pair<std::size_t, std::size_t> reads[] = {
      {0, 10},          {10, 500},      {window - 3, 7}, {100, 20},      {window + 1, window + 9},
      {data.size() - 1, 1}, {5, 0},     {2 * window, 4096}, {0, data.size()},
  };
  for (const auto& [offset, length] : reads) {
    EXPECT_EQ(file.ReadAt(offset, length), data.substr(offset, length)) << offset << "+" << length;
  }
  EXPECT_THROW(file.ReadAt(data.size() - 1, 2), Error);
}

TEST(RecordFileTest, WriterKeepsEveryByteInOrderAndOnlyCommitsWholeFiles) {
  testing::TempDir dir;
  const std::string big = Pattern((2 << 20) + 3);
  std::string expected;
  {
    TempFileWriter writer(dir / "out");
    for (int k = 0; k < 3000; ++k) {
      const std::string piece = Pattern(static_cast<std::size_t>(k % 700)).substr(0, k % 700);
      writer.Write(piece);
      expected += piece;
      if (k == 1500) {
        writer.Write(big);
        expected += big;
      }
    }
    EXPECT_FALSE(FileExists(dir / "out"));
    writer.Commit();
  }
  EXPECT_EQ(ReadFile(dir / "out"), expected);

  {
    TempFileWriter writer(dir / "dropped");
    writer.Write(big);
  }
  EXPECT_FALSE(FileExists(dir / "dropped"));
  EXPECT_FALSE(FileExists(dir / "dropped.tmp"));
}

}  // namespace
}  // namespace tavex::bundle
