#include "store/tables.h"

#include <gtest/gtest.h>

#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex::store {
namespace {

using tavex::testing::TempDir;

TEST(TablesTest, RuleTablesAreCreatedOnceAndOnlyWithADatabaseFile) {
  TempDir dir;
  std::string path = dir / "TAVEX_data";
  EXPECT_FALSE(CreateXslTable(path));
  EXPECT_FALSE(CreateAltTable(path));
  EXPECT_THROW(CreateTopicTable(path), Error);  // the connection reports the missing file
  EXPECT_FALSE(FileExists(path));

  CreateDatabase(path);
  for (const char* name : {"xsl", "char", "alt", "topic", "fs_skn"}) {
    EXPECT_FALSE(TableExists(path, name)) << name;
  }
  Connection db(path);
  EXPECT_TRUE(CreateXslTable(db));
  EXPECT_TRUE(CreateCharTable(path));
  EXPECT_TRUE(CreateAltTable(path));
  EXPECT_TRUE(CreateTopicTable(db));
  for (const char* name : {"xsl", "char", "alt", "topic"}) {
    EXPECT_TRUE(db.TableExists(name)) << name;
  }
  EXPECT_FALSE(CreateXslTable(path));
  EXPECT_FALSE(CreateCharTable(db));
  EXPECT_EQ(db.Columns("xsl").size(), 20u);

  db.Exec(FormatTableSql(kBundleTableSql, "fs_skn", "[TEXTTITLE] varchar(255),"));
  EXPECT_EQ(db.Columns("fs_skn"), (std::vector<std::string>{"index", "TEXTTITLE"}));
}

TEST(TablesTest, CountersStartAtOneAndTopicKeysAreGiven) {
  TempDir dir;
  std::string path = dir / "TAVEX_data";
  CreateDatabase(path);
  Connection db(path);
  CreateXslTable(db);
  CreateTopicTable(db);

  Appender xsl(db, "xsl");
  for (const char* tag : {"entry", "span class=\"x\""}) {
    xsl.AddNew();
    xsl.SetText("tag", tag);
    xsl.Update();
  }
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
  topic.Update();
  Statement key = db.Prepare("SELECT [index] FROM [topic];");
  ASSERT_TRUE(key.Step());
  EXPECT_EQ(key.Int(0), 0);
  topic.AddNew();
  topic.SetInt("index", 0);
  EXPECT_THROW(topic.Update(), Error);
}

}  // namespace
}  // namespace tavex::store
