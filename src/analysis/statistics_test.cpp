#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include "analysis/entry_table_fixture.h"
#include "store/tables.h"
#include "testing/test_util.h"

namespace tavex::analysis {
namespace {

using testing::QueryRows;
using testing::WriteEntryTable;
using Rows = std::vector<std::vector<std::string>>;

class StatisticsTest : public ::testing::Test {
 protected:
  std::string db_path() const { return dir_ / "TAVEX_data"; }
  tavex::testing::TempDir dir_;
  tavex::testing::RecordingProgress progress_;
};

TEST_F(StatisticsTest, TagTableRowsAndProgressSkipBrokenRecord) {
  WriteEntryTable(db_path(), {{0, "<entry><hw>a</hw><span class='pos'>n</span></entry>"},
                              {1, "<entry><hw>broken"},
                              {17, "<entry><hw>b</hw><sense_with_a_very_long_name/><hw/></entry>"}});
  store::CreateXslTable(db_path());
  BuildTagTableFromStatistics(db_path(), progress_);

  EXPECT_EQ(progress_.ranges, std::vector<int>{3});
  EXPECT_EQ(progress_.statuses, (std::vector<std::string>{"[tag解析中] 1/3", "[tag解析中] 2/3"}));
  Rows rows = QueryRows(db_path(), "select * from [xsl] order by [index]");
  ASSERT_EQ(rows.size(), 3u);
  // index, tag, apply_templates, 14 rule columns left null, custom_xsl, total_count, first_index
  std::vector<std::string> first = {"1", "hw", "1"};
  first.insert(first.end(), 15, "<null>");
  first.insert(first.end(), {"3", "0"});
  EXPECT_EQ(rows[0], first);
  EXPECT_EQ(rows[1][1], "span class=\"pos\"");
  // A key longer than the column's declared 20 characters is kept whole.
  EXPECT_EQ(rows[2][1], "sense_with_a_very_long_name");
  EXPECT_EQ(rows[2][19], "17");
}

TEST_F(StatisticsTest, CharTableRows) {
  std::string many_a(1000, 'a');
  WriteEntryTable(db_path(), {{5, "<entry>" + many_a + "</entry>"},
                              {6, "<entry>\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80?</entry>"}});
  store::CreateCharTable(db_path());
  BuildCharTableFromStatistics(db_path(), progress_);

  EXPECT_EQ(progress_.last_status(), "[char解析中] 2/2");
  Rows rows = QueryRows(db_path(), "select [ws],[ws_code],[ws_hex],[utf8_hex],[total_count],[first_index],"
                                   "[char_ref] from [char] order by [index]");
  Rows expected = {{"a", "97", "0061", "61", "1000", "5", "0"},
                   {"\xC3\xA9", "233", "00E9", "C3A9", "1", "6", "1"},
                   {"\xE3\x81\x82", "12354", "3042", "E38182", "1", "6", "0"},
                   {"\xED\xA0\xBD", "55357", "D83D", "EDA0BD", "1", "6", "1"},
                   {"\xED\xB8\x80", "56832", "DE00", "EDB880", "1", "6", "1"},
                   {"?", "63", "003F", "3F", "1", "6", "0"}};
  EXPECT_EQ(rows, expected);
}

TEST_F(StatisticsTest, NullIndexIsWalkedAsMinusOne) {
  WriteEntryTable(db_path(), {{std::nullopt, "<entry><hw>x</hw></entry>"}}, "entries", true);
  store::Connection db(db_path());
  TagTally tags = TagPass(db, EntrySource{"entries", "index", "CONTENT_text"}, progress_);
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags.entries()[0].first_index, -1);
  CharTally chars = CharPass(db, EntrySource{"entries", "index", "CONTENT_text"}, progress_);
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars.entries()[0].first_index, -1);
}

}  // namespace
}  // namespace tavex::analysis
