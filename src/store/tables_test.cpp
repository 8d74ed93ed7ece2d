#include "store/tables.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/files.h"
#include "testing/test_util.h"

namespace tavex::store {
namespace {

using tavex::testing::TempDir;

TEST(TablesTest, RuleTablesAreCreatedOnceAndFoundByName) {
  TempDir dir;
  std::string path = dir / "TAVEX_data";
  CreateDatabase(path);
  for (const char* name : {"xsl", "char", "alt", "topic", "fs_skn", "us_pron_skn"}) {
    EXPECT_FALSE(TableExists(path, name)) << name;
  }
  Connection db(path);
  EXPECT_TRUE(CreateXslTable(db));
  EXPECT_TRUE(CreateCharTable(db));
  EXPECT_TRUE(CreateAltTable(path));
  EXPECT_TRUE(CreateTopicTable(path));
  for (const char* name : {"xsl", "char", "alt", "topic"}) EXPECT_TRUE(db.TableExists(name)) << name;
  EXPECT_FALSE(CreateXslTable(db));
  EXPECT_FALSE(CreateCharTable(path));
  EXPECT_FALSE(CreateTopicTable(db));

  EXPECT_EQ(db.Columns("char"),
            (std::vector<std::string>{"index", "ws", "ws_code", "ws_hex", "utf8_hex",
                                      "total_count", "first_index", "char_ref"}));
  EXPECT_EQ(db.Columns("xsl").size(), 20u);
}

TEST(TablesTest, CountersStartAtOneAndTopicKeysAreGiven) {
  TempDir dir;
  std::string path = dir / "TAVEX_data";
  CreateDatabase(path);
  Connection db(path);
  CreateXslTable(db);
  CreateAltTable(db);
  CreateTopicTable(db);

  Appender xsl(db, "xsl");
  for (const char* tag : {"entry", "span class=\"x\""}) {
    xsl.AddNew();
    xsl.SetText("tag", tag);
    xsl.Update();
  }
  Appender alt(db, "alt");
  alt.AddNew();
  alt.SetText("uni", "00E9");
  alt.SetText("alt", "e");
  alt.Update();
  EXPECT_EQ(db.LastInsertRowId(), 1);

  Statement rows = db.Prepare("SELECT [index], [tag] FROM [xsl] ORDER BY [index];");
  ASSERT_TRUE(rows.Step());
  EXPECT_EQ(rows.Int(0), 1);
  EXPECT_EQ(rows.Text(1), "entry");
  ASSERT_TRUE(rows.Step());
  EXPECT_EQ(rows.Int(0), 2);

  // The topic index is keyed by the record index the writer gives, 0 included.
  Appender topic(db, "topic");
  topic.AddNew();
  topic.SetInt("index", 0);
  topic.SetText("topic", "a'b");
  topic.Update();
  topic.AddNew();
  topic.SetInt("index", 0);
  EXPECT_THROW(topic.Update(), Error);
}

TEST(TablesTest, WithoutADatabaseFileOnlyTheTopicTableFails) {
  TempDir dir;
  std::string path = dir / "TAVEX_data";
  EXPECT_FALSE(CreateXslTable(path));
  EXPECT_FALSE(CreateCharTable(path));
  EXPECT_FALSE(CreateAltTable(path));
  EXPECT_THROW(CreateTopicTable(path), Error);
  EXPECT_FALSE(FileExists(path));
}

TEST(TablesTest, BundleStatementTakesNameAndColumnList) {
  std::string sql = FormatTableSql(kBundleTableSql, "fs_skn",
                                   "[TEXTTITLE] varchar(255), [CONTENT] longbinary, "
                                   "[CONTENT_text] longtext,");
  EXPECT_EQ(sql,
            "CREATE TABLE [fs_skn]([index] int NOT NULL, [TEXTTITLE] varchar(255), [CONTENT] "
            "longbinary, [CONTENT_text] longtext, CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]));");
  TempDir dir;
  std::string path = dir / "TAVEX_data";
  CreateDatabase(path);
  ExecSql(path, sql);
  EXPECT_TRUE(TableExists(path, "fs_skn"));
}

}  // namespace
}  // namespace tavex::store
