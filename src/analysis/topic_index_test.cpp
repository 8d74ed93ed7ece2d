#include "analysis/topic_index.h"

#include <gtest/gtest.h>

#include "analysis/entry_table_fixture.h"
#include "testing/test_util.h"

namespace tavex::analysis {
namespace {

using testing::QueryRows;
using testing::WriteEntryTable;
using Rows = std::vector<std::vector<std::string>>;

class TopicIndexTest : public ::testing::Test {
 protected:
  std::string db_path() const { return dir_ / "TAVEX_data"; }
  tavex::testing::TempDir dir_;
  tavex::testing::RecordingProgress progress_;
};

TEST_F(TopicIndexTest, OneRowPerRecordInIndexOrderEvenWhenBuiltTwice) {
  // Stored out of order on purpose: the index is built in ascending record index.
  WriteEntryTable(db_path(), {{7, "<entry id='c_1'><hw>c</hw></entry>"},
                              {2, "<other id='a_1'/>"},
                              {3, "<entry id='b_1'/>"},
                              {5, "<entry/>"},
                              {6, "<entry id='x'"}});
  BuildTopicIndex(db_path(), progress_);
  BuildTopicIndex(db_path(), progress_);

  Rows expected = {{"2", ""}, {"3", "b_1"}, {"5", ""}, {"6", ""}, {"7", "c_1"}};
  EXPECT_EQ(QueryRows(db_path(), "select [index],[topic] from [topic]"), expected);
  EXPECT_EQ(progress_.last_status(), "[entry_id(=ref_topic) 抽出中] 5/5");
  EXPECT_EQ(progress_.ranges, (std::vector<int>{5, 5}));
}

TEST_F(TopicIndexTest, EmptyEntryTableGivesEmptyIndex) {
  WriteEntryTable(db_path(), {});
  BuildTopicIndex(db_path(), progress_);
  EXPECT_TRUE(QueryRows(db_path(), "select * from [topic]").empty());
  EXPECT_EQ(progress_.ranges, std::vector<int>{0});
}

TEST_F(TopicIndexTest, LookupIgnoresLetterCaseAndTakesTheFirstRow) {
  WriteEntryTable(db_path(), {{0, "<entry id='run'/>"},
                              {1, "<entry id=\"o'clock\"/>"},
                              {2, "<entry id='Run'/>"},
                              {3, "<entry id='b_1'/>"},
                              {4, "<entry id='&#xE9;t&#xE9;'/>"}});
  BuildTopicIndex(db_path(), progress_);
  TopicLookup lookup(db_path());
  for (const char* id : {"Run", "run", "RUN"}) {
    EXPECT_EQ(lookup.Lookup(id), 0) << id;
    EXPECT_EQ(LookupTopic(db_path(), id), 0) << id;
  }
  EXPECT_EQ(lookup.Lookup("o'clock"), 1);
  EXPECT_EQ(LookupTopic(db_path(), "o'clock"), 1);
  EXPECT_EQ(lookup.Lookup("b_1"), 3);
  EXPECT_EQ(lookup.Lookup("\xC3\xA9t\xC3\xA9"), 4);
  // Only ASCII letters fold, as in the database's comparison.
  EXPECT_EQ(lookup.Lookup("\xC3\x89t\xC3\x89"), -1);
  EXPECT_EQ(LookupTopic(db_path(), "\xC3\x89t\xC3\x89"), -1);
  EXPECT_EQ(lookup.Lookup("zz"), -1);
  EXPECT_EQ(LookupTopic(db_path(), "zz"), -1);
}

TEST(EntryIdOfTest, OnlyTheIdOfAnEntryRoot) {
  EXPECT_EQ(EntryIdOf("<entry id='b_1'><x id='no'/></entry>"), "b_1");
  EXPECT_EQ(EntryIdOf("<Entry id='b_1'/>"), "");
  EXPECT_EQ(EntryIdOf("<entry/>"), "");
  EXPECT_EQ(EntryIdOf("not xml"), "");
}

}  // namespace
}  // namespace tavex::analysis
