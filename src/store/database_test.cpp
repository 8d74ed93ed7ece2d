#include "store/database.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>

#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex::store {
namespace {

using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;

bool Mentions(const Error& e, const std::string& part) {
  return std::string(e.what()).find(part) != std::string::npos;
}

// A fresh database with one bundle table.
class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabase(path_);
    ExecSql(path_,
            "CREATE TABLE [fs_skn]([index] int NOT NULL, [TEXTTITLE] varchar(255), [CONTENT] "
            "longbinary, [CONTENT_text] longtext, CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]));");
  }
  std::int64_t Count(Connection& db) {
    Statement count = db.Prepare("SELECT count(*) FROM [fs_skn];");
    count.Step();
    return count.Int(0);
  }

  TempDir dir_;
  std::string path_ = dir_ / "TAVEX_data";
};

TEST_F(DatabaseTest, BlobsComeBackByteForByteAndEmptyOnesStayNull) {
  std::string exact(16384, '\0');
  std::string one_more(16385, '\0');
  for (std::size_t i = 0; i < one_more.size(); ++i) one_more[i] = static_cast<char>(i * 7 + 1);
  for (std::size_t i = 0; i < exact.size(); ++i) exact[i] = static_cast<char>(255 - i % 256);
  const std::string blobs[] = {"", exact, one_more};
  Connection db(path_);
  Appender append(db, "fs_skn");
  for (int i = 0; i < 3; ++i) {
    append.AddNew();
    append.SetInt("index", i);
    append.SetBlob("CONTENT", blobs[i]);
    append.Update();
  }
  Statement query = db.Prepare("SELECT [CONTENT] FROM [fs_skn] ORDER BY [index];");
  ASSERT_TRUE(query.Step());
  EXPECT_TRUE(query.IsNull(0));
  EXPECT_EQ(query.Blob(0), "");
  for (int i = 1; i < 3; ++i) {
    ASSERT_TRUE(query.Step());
    EXPECT_EQ(query.Blob(0), blobs[i]);
  }
}

TEST_F(DatabaseTest, AppenderWritesOnlyTheRowsColumnsAndReportsFaults) {
  Connection db(path_);
  Appender append(db, "fs_skn");
  append.AddNew();
  append.SetInt("index", 0);
  append.SetText("CONTENT_text", "<entry/>");
  append.Update();
  // A new row must not inherit the values of the previous one.
  append.AddNew();
  append.SetInt("index", 1);
  append.SetText("TEXTTITLE", "run");
  append.Update();

  append.AddNew();
  try {
    append.SetText("NAME", "x");
    FAIL() << "an unknown column was accepted";
  } catch (const Error& e) {
    EXPECT_TRUE(Mentions(e, "fs_skn") && Mentions(e, "NAME")) << e.what();
  }
  append.SetInt("index", 1);
  try {
    append.Update();
    FAIL() << "a duplicate key was accepted";
  } catch (const Error& e) {
    EXPECT_TRUE(Mentions(e, "fs_skn")) << e.what();
  }
  // The appender stays usable after a failed row.
  append.AddNew();
  append.SetInt("index", 2);
  EXPECT_NO_THROW(append.Update());
  EXPECT_THROW(Appender(db, "us_pron_skn"), Error);

  Statement query =
      db.Prepare("SELECT [TEXTTITLE], [CONTENT_text] FROM [fs_skn] ORDER BY [index];");
  ASSERT_TRUE(query.Step());
  EXPECT_TRUE(query.IsNull(0));
  EXPECT_EQ(query.Text(1), "<entry/>");
  ASSERT_TRUE(query.Step());
  EXPECT_EQ(query.Text(0), "run");
  EXPECT_TRUE(query.IsNull(1));
}

TEST_F(DatabaseTest, QuotesAreBoundAndTextEqualityIgnoresCase) {
  Connection db(path_);
  Statement insert = db.Prepare("INSERT INTO [fs_skn] ([index], [TEXTTITLE]) VALUES (?, ?);");
  insert.BindInt(1, 1).BindText(2, "o'clock").Run();
  insert.Reset();
  insert.BindInt(1, 2).BindText(2, "Run").Run();

  Statement find =
      db.Prepare("SELECT [index] FROM [fs_skn] WHERE [TEXTTITLE] = ? COLLATE NOCASE;");
  find.BindText(1, "o'clock");
  ASSERT_TRUE(find.Step());
  EXPECT_EQ(find.Int(0), 1);
  find.Reset();
  find.BindText(1, "run");
  ASSERT_TRUE(find.Step());
  EXPECT_EQ(find.Int(0), 2);
}

TEST_F(DatabaseTest, TableLookupIsExactAndDroppingAMissingTableFails) {
  EXPECT_TRUE(TableExists(path_, "fs_skn"));
  EXPECT_FALSE(TableExists(path_, "FS_SKN"));
  DropTable(path_, "fs_skn");
  EXPECT_FALSE(TableExists(path_, "fs_skn"));
  try {
    DropTable(path_, "fs_skn");
    FAIL() << "dropping a missing table succeeded";
  } catch (const Error& e) {
    EXPECT_TRUE(Mentions(e, "no such table") && Mentions(e, "Drop Table [fs_skn];")) << e.what();
  }
}

TEST_F(DatabaseTest, BulkAppendIsFastAndUncommittedWorkRollsBack) {
  Connection db(path_);
  auto append_rows = [&](int rows, bool commit) {
    Transaction tx(db);
    Appender append(db, "fs_skn");
    for (int i = 0; i < rows; ++i) {
      append.AddNew();
      append.SetInt("index", i);
      append.SetText("TEXTTITLE", "headword");
      append.SetText("CONTENT_text", "<entry id=\"x\">text of an entry</entry>");
      append.Update();
    }
    if (commit) tx.Commit();
  };
  append_rows(1000, false);
  EXPECT_EQ(Count(db), 0);
  auto start = std::chrono::steady_clock::now();
  append_rows(50000, true);
  auto elapsed = std::chrono::steady_clock::now() - start;
  // Well under a second in a normal build; the bound leaves room for sanitizers.
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 5000);
  EXPECT_EQ(Count(db), 50000);
}

TEST_F(DatabaseTest, AFullDiskIsReportedWithTheDatabaseFile) {
  Connection db(path_);
  // A file size limit stands in for a full disk: writes past it fail with EFBIG.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*saved_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string message;
  try {
    Transaction transaction(db);
    Statement insert = db.Prepare("INSERT INTO [fs_skn] ([index], [CONTENT]) VALUES (?, ?);");
    insert.BindInt(1, 1).BindBlob(2, std::string(1 << 20, 'x')).Run();
    transaction.Commit();
  } catch (const Error& e) {
    message = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, saved_handler);
  EXPECT_NE(message.find(path_), std::string::npos) << message;
  EXPECT_EQ(Count(db), 0);
}

TEST(DatabaseFileTest, OpeningNeverCreatesAndEnsureLeavesExistingFilesAlone) {
  TempDir dir;
  EXPECT_THROW(Connection{dir / "missing"}, Error);
  EXPECT_FALSE(FileExists(dir / "missing"));

  std::string text = dir / "notes.txt";
  WriteTestFile(text, std::string(2048, 'x'));
  EnsureDatabase(text);
  EXPECT_EQ(ReadFile(text), std::string(2048, 'x'));
  try {
    Connection db(text);
    FAIL() << "a text file was opened as a database";
  } catch (const Error& e) {
    EXPECT_TRUE(Mentions(e, text + " is not a working database")) << e.what();
  }

  EnsureDatabase(dir / "TAVEX_data");
  EXPECT_FALSE(TableExists(dir / "TAVEX_data", "xsl"));
  EXPECT_NO_THROW(CreateDatabase(dir / "no/such/folder/db"));  // reported by the first use
}

}  // namespace
}  // namespace tavex::store
