#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "pipeline/workbench.h"
#include "text/error.h"
#include "fs/files.h"
#include "fs/manifest.h"
#include "fs/folder_swap.h"
#include "sample/sample_disc.h"
#include "sample/sample_rules.h"
#include "store/database.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

TEST(FormatElapsed, HoursMinutesAndSecondsWithinADay) {
  EXPECT_EQ(FormatElapsed(minutes(3) + seconds(7)), "00:03.07");
  EXPECT_EQ(FormatElapsed(hours(1) + minutes(2) + seconds(3)), "01:02.03");
  EXPECT_EQ(FormatElapsed(hours(25)), "01:00.00");  // only the time of day is shown
  EXPECT_EQ(FormatElapsed(seconds(0)), "00:00.00");
}

// A workspace with a small sample disc, converted by the Workbench as the front ends do.
class CreateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sample::WriteSampleDisc(dir_ / "disc", {.entries = 12, .recordings = 4, .seed = 3});
    CreateFolder(dir_ / "ws");
    sample::WriteSampleRules(dir_ / "ws/xsl_data.xml");
  }
  Workbench Start(int mode) {
    WorkbenchOptions options;
    options.workspace = dir_ / "ws";
    options.mode = mode;
    options.source_folder = dir_ / "disc";
    Workbench bench(progress_, prompter_, options);
    bench.Start();
    return bench;
  }
  testing::TempDir dir_;
  testing::RecordingProgress progress_;
  testing::ScriptedPrompter prompter_;
};

TEST_F(CreateRunTest, ModeZeroLeavesTheBookAndNoWorkingFolder) {
  Workbench bench = Start(0);
  int tag_reloads = 0;
  bench.on_tag_rows_changed = [&] { ++tag_reloads; };
  bench.Create({.ignore_mp3 = true});  // the EPWING book is built by default
  ASSERT_EQ(progress_.log.size(), 15u);
  EXPECT_EQ(progress_.log[4], "【Step 04】altの取得:完了");
  EXPECT_EQ(progress_.log[5], "【Step 05】us_pron.sknの抽出:スキップ");
  EXPECT_EQ(progress_.log[8], "【Step 08】uk_pron.mp3をwavに変換:スキップ");
  EXPECT_EQ(progress_.log[9], "【Step 09】htmlの出力:完了");
  EXPECT_EQ(progress_.log[12], "【Step 12】EPWINGの出力:完了");
  EXPECT_EQ(progress_.log[13], "***** 終了しました *****");
  EXPECT_EQ(progress_.log[14].rfind("所要時間：", 0), 0u);
  EXPECT_TRUE(FileExists(dir_ / "ws/epwing/CATALOGS"));
  EXPECT_EQ(tag_reloads, 1);
  EXPECT_FALSE(bench.tag_rows().empty());  // the sample rules were imported at Step 04
  EXPECT_FALSE(FolderExists(dir_ / "ws/working_folder"));
  for (const char* file : {"html_EPW", "copyright.html", "Gaiji.xml", "GaijiMap.xml", "TAVEX.map", "TAVEX.ebs"}) {
    EXPECT_TRUE(FileExists(dir_ / ("ws/base_folder/" + std::string(file)))) << file;
  }
  EXPECT_FALSE(FolderExists(dir_ / "ws/base_folder/us_pron"));
}

TEST_F(CreateRunTest, ModeOneResumesAndConvertsTheRecordings) {
  {
    Workbench bench = Start(1);
    bench.Create({.ignore_mp3 = false, .epwing = false});
    EXPECT_EQ(progress_.log.size(), 14u);
    EXPECT_EQ(progress_.log[8], "【Step 08】uk_pron.mp3をwavに変換:完了");
  }
  EXPECT_TRUE(FolderExists(dir_ / "ws/working_folder"));
  EXPECT_TRUE(FolderExists(dir_ / "ws/base_folder/us_pron"));
  // The second run finds every table and folder: the disc's bundles are not read again
  // (a source named must still be a disc, so an empty one stands in for it).
  std::filesystem::remove_all(dir_ / "disc");
  std::filesystem::create_directories(dir_ / "disc/fs.skn");
  progress_.log.clear();
  Workbench bench = Start(1);
  bench.Create({.ignore_mp3 = false, .epwing = false});
  EXPECT_EQ(progress_.log.size(), 14u);
  EXPECT_EQ(progress_.log[12], "***** 終了しました *****");
  EXPECT_FALSE(FolderExists(dir_ / "ws/epwing"));
}

TEST_F(CreateRunTest, ANonDiscSourceIsRefusedBeforeAnythingIsDeleted) {
  Start(0).Create({});
  ASSERT_TRUE(FileExists(dir_ / "ws/base_folder/html_EPW"));
  progress_.log.clear();
  WorkbenchOptions options;
  options.workspace = dir_ / "ws";
  options.source_folder = dir_.path();  // holds "disc", not the bundles
  Workbench bench(progress_, prompter_, options);
  bench.Start();
  EXPECT_THROW(bench.Create({}), Error);
  EXPECT_TRUE(progress_.log.empty());
  EXPECT_TRUE(FileExists(dir_ / "ws/base_folder/html_EPW"));
}

// Every file below `folder` with its bytes, by relative path.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), folder).string()] = ReadFile(entry.path().string());
    }
  }
  return files;
}

TEST_F(CreateRunTest, ModeZeroKeepsThePreviousBookUntilARunSucceeds) {
  Start(0).Create({});
  const auto book = Snapshot(dir_ / "ws/base_folder");
  ASSERT_TRUE(book.count("html_EPW"));

  // A damaged disc: the run fails at Step 01, and the book is the previous one.
  CreateFolders(dir_ / "damaged/tavex.data/fs.skn");
  WorkbenchOptions options;
  options.workspace = dir_ / "ws";
  options.source_folder = dir_ / "damaged";
  Workbench bench(progress_, prompter_, options);
  bench.Start();
  EXPECT_THROW(bench.Create({}), Error);
  EXPECT_EQ(Snapshot(dir_ / "ws/base_folder"), book);
  auto stand_ins = [&] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "ws")) {
      const std::string name = entry.path().filename().string();
      count += name.starts_with(".tavex2epwing-") && name != kManifestName;
    }
    return count;
  };
  EXPECT_EQ(stand_ins(), 0);

  // The user's copies of the book under the names a swap might have chosen are never
  // read, moved or deleted by the next run, manifests and all.
  for (const char* copy : {"base_folder.old", "base_folder.ready", "base_folder.new"}) {
    std::filesystem::copy(dir_ / "ws/base_folder", dir_ / (std::string("ws/") + copy), std::filesystem::copy_options::recursive);
  }
  Start(0).Create({});
  const auto again = Snapshot(dir_ / "ws/base_folder");  // the conversion time may differ
  EXPECT_TRUE(std::equal(again.begin(), again.end(), book.begin(), book.end(),
                         [](const auto& a, const auto& b) { return a.first == b.first; }));
  for (const char* copy : {"base_folder.old", "base_folder.ready", "base_folder.new"}) {
    EXPECT_EQ(Snapshot(dir_ / (std::string("ws/") + copy)), book) << copy;
  }
  EXPECT_EQ(stand_ins(), 0);
}

TEST_F(CreateRunTest, TagOptionsAreSavedToTheFirstRowOfTheirTag) {
  Workbench bench = Start(1);
  bench.Create({});
  const std::string tag = bench.tag_rows().front().tag;
  std::optional<RuleRow> row = bench.LoadTagOptions(tag);
  ASSERT_TRUE(row);
  row->bold = "1";
  row->pre_text = "  (  ";
  row->italic = "yes";  // anything but "1" is off
  ASSERT_TRUE(bench.SaveTagOptions(tag, *row));
  std::optional<RuleRow> saved = bench.LoadTagOptions(tag);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->bold, "1");
  EXPECT_EQ(saved->italic, "0");
  EXPECT_EQ(saved->pre_text, "(");
  EXPECT_FALSE(bench.SaveTagOptions("no such tag", *row));
}

}  // namespace
}  // namespace tavex
