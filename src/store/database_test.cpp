#include "store/database.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/error.h"
#include "platform/files.h"
#include "testing/test_util.h"

namespace tavex::store {
namespace {

using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;

// A fresh database with one bundle-like table.
class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabase(path_);
    ExecSql(path_,
            "CREATE TABLE [fs_skn]([index] int NOT NULL, [TEXTTITLE] varchar(255), [CONTENT] "
            "longbinary, [CONTENT_text] longtext, CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]));");
  }

  TempDir dir_;
  std::string path_ = dir_ / "TAVEX_data";
};

TEST_F(DatabaseTest, BlobsComeBackByteForByteAndEmptyOnesStayNull) {
  std::string exact(16384, '\0');
  std::string one_more(16385, '\0');
  for (std::size_t i = 0; i < one_more.size(); ++i) one_more[i] = static_cast<char>(i * 7 + 1);
  for (std::size_t i = 0; i < exact.size(); ++i) exact[i] = static_cast<char>(255 - i % 256);
  {
    Connection db(path_);
    Transaction tx(db);
    Appender append(db, "fs_skn");
    const std::string* blobs[] = {nullptr, &exact, &one_more};
    for (int i = 0; i < 3; ++i) {
      append.AddNew();
      append.SetInt("index", i);
      append.SetBlob("CONTENT", blobs[i] ? *blobs[i] : std::string());
      append.Update();
    }
    tx.Commit();
  }
  Connection db(path_);
  Statement query = db.Prepare("SELECT [CONTENT] FROM [fs_skn] ORDER BY [index];");
  ASSERT_TRUE(query.Step());
  EXPECT_TRUE(query.IsNull(0));
  EXPECT_EQ(query.Blob(0), "");
  ASSERT_TRUE(query.Step());
  EXPECT_EQ(query.Blob(0), exact);
  ASSERT_TRUE(query.Step());
  EXPECT_EQ(query.Blob(0), one_more);
  EXPECT_FALSE(query.Step());
}

TEST_F(DatabaseTest, AppenderSetsOnlyGivenColumnsAndRejectsUnknownOnes) {
  Connection db(path_);
  Appender append(db, "fs_skn");
  EXPECT_TRUE(append.HasColumn("content_text"));
  EXPECT_FALSE(append.HasColumn("NAME"));

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
    EXPECT_NE(std::string(e.what()).find("fs_skn"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("NAME"), std::string::npos) << e.what();
  }

  Statement query =
      db.Prepare("SELECT [TEXTTITLE], [CONTENT_text] FROM [fs_skn] ORDER BY [index];");
  ASSERT_TRUE(query.Step());
  EXPECT_TRUE(query.IsNull(0));
  EXPECT_EQ(query.Text(1), "<entry/>");
  ASSERT_TRUE(query.Step());
  EXPECT_EQ(query.Text(0), "run");
  EXPECT_TRUE(query.IsNull(1));
}

TEST_F(DatabaseTest, DuplicateKeyNamesTheTableAndLeavesTheAppenderUsable) {
  Connection db(path_);
  Appender append(db, "fs_skn");
  append.AddNew();
  append.SetInt("index", 5);
  append.Update();
  append.AddNew();
  append.SetInt("index", 5);
  try {
    append.Update();
    FAIL() << "a duplicate key was accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("fs_skn"), std::string::npos) << e.what();
  }
  append.AddNew();
  append.SetInt("index", 6);
  EXPECT_NO_THROW(append.Update());
  EXPECT_THROW(Appender(db, "us_pron_skn"), Error);
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

TEST_F(DatabaseTest, ErrorsCarryTheMessageAndTheSql) {
  Connection db(path_);
  try {
    db.Prepare("SELECT [nothing] FROM [fs_skn];");
    FAIL();
  } catch (const Error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find("no such column"), std::string::npos) << message;
    EXPECT_NE(message.find("SELECT [nothing]"), std::string::npos) << message;
  }
}

TEST_F(DatabaseTest, TransactionRollsBackUnlessCommitted) {
  Connection db(path_);
  {
    Transaction tx(db);
    db.Exec("INSERT INTO [fs_skn] ([index]) VALUES (1);");
  }
  Statement count = db.Prepare("SELECT count(*) FROM [fs_skn];");
  ASSERT_TRUE(count.Step());
  EXPECT_EQ(count.Int(0), 0);
}

TEST_F(DatabaseTest, TableLookupIsExactAndDroppingAMissingTableFails) {
  EXPECT_TRUE(TableExists(path_, "fs_skn"));
  EXPECT_FALSE(TableExists(path_, "FS_SKN"));
  EXPECT_FALSE(TableExists(path_, "fs"));
  DropTable(path_, "fs_skn");
  EXPECT_FALSE(TableExists(path_, "fs_skn"));
  EXPECT_THROW(DropTable(path_, "fs_skn"), Error);
  EXPECT_EQ(BundleTableName("us_pron.skn"), "us_pron_skn");
}

TEST_F(DatabaseTest, BulkAppendIsFast) {
  Connection db(path_);
  auto start = std::chrono::steady_clock::now();
  {
    Transaction tx(db);
    Appender append(db, "fs_skn");
    for (int i = 0; i < 50000; ++i) {
      append.AddNew();
      append.SetInt("index", i);
      append.SetText("TEXTTITLE", "headword");
      append.SetText("CONTENT_text", "<entry id=\"x\">text of an entry</entry>");
      append.Update();
    }
    tx.Commit();
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 3000);
  Statement count = db.Prepare("SELECT count(*) FROM [fs_skn];");
  ASSERT_TRUE(count.Step());
  EXPECT_EQ(count.Int(0), 50000);
}

TEST(DatabaseFileTest, OpeningNeverCreatesAndRejectsNonDatabases) {
  TempDir dir;
  std::string missing = dir / "missing";
  EXPECT_THROW(Connection{missing}, Error);
  EXPECT_FALSE(FileExists(missing));

  std::string text = dir / "notes.txt";
  WriteTestFile(text, std::string(2048, 'x'));
  try {
    Connection db(text);
    FAIL() << "a text file was opened as a database";
  } catch (const Error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find(text + " is not a working database"), std::string::npos) << message;
  }
}

TEST(DatabaseFileTest, EnsureDatabaseCreatesOnceAndLeavesExistingFilesAlone) {
  TempDir dir;
  std::string path = dir / "TAVEX_data";
  EnsureDatabase(path);
  ASSERT_TRUE(FileExists(path));
  EXPECT_FALSE(TableExists(path, "xsl"));

  std::string other = dir / "other";
  WriteTestFile(other, "not a database");
  EnsureDatabase(other);
  EXPECT_EQ(ReadFile(other), "not a database");

  // Errors are swallowed: the first connection reports them.
  EXPECT_NO_THROW(CreateDatabase(dir / "no/such/folder/db"));
}

}  // namespace
}  // namespace tavex::store
