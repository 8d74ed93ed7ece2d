#include "exchange/prepare.h"

#include <gtest/gtest.h>

#include "analysis/entry_table_fixture.h"
#include "exchange/import_command.h"
#include "text/error.h"
#include "fs/files.h"
#include "store/tables.h"
#include "testing/test_util.h"

namespace tavex::exchange {
namespace {

using analysis::testing::QueryRows;
using Rows = std::vector<std::vector<std::string>>;

class PrepareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    analysis::testing::WriteEntryTable(db_path(), {{0, "<entry><hw>a</hw></entry>"}});
  }
  std::string db_path() const { return dir_ / "TAVEX_data"; }
  std::string File(const std::string& name, const std::string& text) {
    tavex::testing::WriteTestFile(dir_ / name, text);
    return dir_ / name;
  }
  Rows Tags() { return QueryRows(db_path(), "select [tag],[leave_tag] from [xsl] order by [index]"); }
  tavex::testing::TempDir dir_;
  tavex::testing::RecordingProgress progress_;
  tavex::testing::ScriptedPrompter prompter_;
};

TEST_F(PrepareTest, BuildsMissingTablesOnceFromFileOrStatistics) {
  const std::string missing = dir_ / "none.xml";
  EXPECT_TRUE(PrepareXslTable(db_path(), missing, progress_, prompter_));
  EXPECT_EQ(progress_.last_status(), "[tag解析中] 1/1");
  EXPECT_FALSE(PrepareXslTable(db_path(), missing, progress_, prompter_));
  EXPECT_EQ(Tags(), (Rows{{"hw", "<null>"}}));

  EXPECT_TRUE(PrepareCharTable(db_path(), missing, progress_, prompter_));
  EXPECT_EQ(QueryRows(db_path(), "select [ws] from [char]"), (Rows{{"a"}}));

  EXPECT_TRUE(PrepareAltTable(db_path(), missing, progress_, prompter_));
  EXPECT_TRUE(QueryRows(db_path(), "select * from [alt]").empty());

  std::string alt = File("alt_data.xml", "<root><record><uni>00E9</uni><alt>e</alt></record></root>");
  EXPECT_FALSE(PrepareAltTable(db_path(), alt, progress_, prompter_));
  EXPECT_TRUE(QueryRows(db_path(), "select * from [alt]").empty());
}

TEST_F(PrepareTest, XslPreparationWaitsForTheDatabase) {
  const std::string absent = dir_ / "other_data";
  EXPECT_FALSE(PrepareXslTable(absent, "", progress_, prompter_));
  EXPECT_FALSE(FileExists(absent));
}

class ImportCommandTest : public PrepareTest {
 protected:
  void SetUp() override {
    PrepareTest::SetUp();
    PrepareXslTable(db_path(), "", progress_, prompter_);
    good_ = File("rules.xml", "<root><tags><index>1</index><tag>b</tag><leave_tag>1</leave_tag></tags></root>");
  }
  ImportOutcome Import(const std::optional<std::string>& file) {
    return ImportCommand(ExchangeTable::kXsl, db_path(), file, dir_ / "xsl_data.xml", progress_, prompter_);
  }
  std::string good_;
};

TEST_F(ImportCommandTest, DecliningOrCancellingKeepsTheTable) {
  prompter_.yes_no = {false};
  EXPECT_FALSE(Import(good_).exchange_path);
  EXPECT_EQ(prompter_.questions,
            std::vector<std::string>{"テーブル\"xsl\"を削除し、外部ファイルデータで置き換え新規作成しようとしています。"
                                     "\r\n続行しますか？"});
  prompter_.yes_no = {true};
  prompter_.open_files = {std::nullopt};
  ImportOutcome outcome = Import(std::nullopt);
  EXPECT_FALSE(outcome.exchange_path);
  EXPECT_FALSE(outcome.rebuilt);
  EXPECT_EQ(prompter_.messages, (std::vector<std::string>{"中止されました。", "中止されました。"}));
  EXPECT_EQ(Tags(), (Rows{{"hw", "<null>"}}));
}

TEST_F(ImportCommandTest, YesReplacesTheTableFromTheChosenFile) {
  prompter_.yes_no = {true};
  prompter_.open_files = {good_};
  ImportOutcome outcome = Import(std::nullopt);
  EXPECT_EQ(outcome.exchange_path, good_);
  EXPECT_TRUE(outcome.rebuilt);
  EXPECT_EQ(Tags(), (Rows{{"b", "1"}}));
  EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(ImportCommandTest, FailedImportLeavesTheOldTable) {
  std::string bad = File("bad.xml", "<root><tags><tag>b</tag><colour>red</colour></tags></root>");
  prompter_.yes_no = {true};
  EXPECT_THROW(Import(bad), Error);
  // A truncated file, an empty one, and the character export picked by mistake: each is
  // an error naming the file, and the rules stay.
  const std::vector<std::pair<std::string, std::string>> refused = {
      {File("broken.xml", "<root>\n<tags>"), "broken.xml: line 2: "},
      {File("empty.xml", ""), "empty.xml: "},
      {File("chars.xml", "<root><chars><ws>a</ws><ws_code>97</ws_code></chars></root>"),
       "chars.xml: it holds no <tags> element, so no row of table xsl"}};
  for (const auto& [file, message] : refused) {
    prompter_.yes_no = {true};
    try {
      Import(file);
      ADD_FAILURE() << file << " was imported";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(prompter_.messages.empty());
  prompter_.yes_no = {true};
  EXPECT_THROW(Import(dir_ / "missing.xml"), Error);
  EXPECT_EQ(Tags(), (Rows{{"hw", "<null>"}}));
}

TEST_F(ImportCommandTest, MissingTableAsksNothing) {
  store::DropTable(db_path(), "xsl");
  EXPECT_TRUE(Import(good_).rebuilt);
  EXPECT_TRUE(prompter_.questions.empty());
  EXPECT_EQ(Tags(), (Rows{{"b", "1"}}));
}

}  // namespace
}  // namespace tavex::exchange
