#include "audio/pron_convert.h"

#include <filesystem>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "audio/test_recordings.h"
#include "text/error.h"
#include "fs/files.h"
#include "store/database.h"
#include "testing/test_util.h"

namespace tavex::audio {
namespace {

using tavex::testing::RecordingProgress;
using tavex::testing::TempDir;

struct Row {
  std::optional<std::string> name;
  std::string content;
};

// A working database holding the two pronunciation tables with the given rows.
class PronDb {
 public:
  PronDb() : path_(dir_ / "TAVEX_data") {
    store::CreateDatabase(path_);
    store::Connection db(path_);
    for (std::string_view table : {kUsPronTable, kUkPronTable}) {
      db.Exec("CREATE TABLE [" + std::string(table) +
              "]([index] int NOT NULL, [NAME] varchar(255), [CONTENT] longbinary, "
              "[CONTENT_text] longtext, CONSTRAINT [PrimaryKey] PRIMARY KEY ([index]));");
    }
  }
  void Fill(std::string_view table, const std::vector<Row>& rows) {
    store::Connection db(path_);
    store::Statement insert =
        db.Prepare("insert into " + std::string(table) + " ([index], NAME, CONTENT) values (?1, ?2, ?3)");
    for (std::size_t i = 0; i < rows.size(); ++i) {
      insert.BindInt(1, static_cast<std::int64_t>(i + next_index_++));
      if (rows[i].name) {
        insert.BindText(2, *rows[i].name);
      } else {
        insert.BindNull(2);
      }
      insert.BindBlob(3, rows[i].content);
      insert.Run();
      insert.Reset();
    }
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return dir_ / name; }

 private:
  TempDir dir_;
  std::string path_;
  std::int64_t next_index_ = 0;
};

TEST(PronConvertTest, FileNamesStayInsideTheFolder) {
  EXPECT_EQ(WavFileName("a_b_c.mp3"), "a_b_c.wav");
  EXPECT_EQ(WavFileName("word"), "word.wav");
  EXPECT_EQ(WavFileName("a.b.mp3"), "a.b.wav");
  EXPECT_EQ(WavFileName("../../evil.mp3"), "evil.wav");
  EXPECT_EQ(WavFileName("a\\b.mp3"), "b.wav");
  EXPECT_EQ(WavFileName("/etc/passwd"), "passwd.wav");
  for (const char* bad : {"", "dir/", "..", "a/.", "x\\.."}) EXPECT_EQ(WavFileName(bad), "") << bad;
  EXPECT_EQ(RecordingFileName(std::string_view("a\0b.mp3", 7)), "");
  EXPECT_EQ(RecordingFileName("a\nb.mp3"), "");
  EXPECT_EQ(WavFileName("sound/a\x7F.mp3"), "");
  EXPECT_EQ(RecordingFileName("sound\\Word.MP3"), "Word.MP3");
}

TEST(PronConvertTest, ConvertsEveryNamedRow) {
  PronDb db;
  const std::string mp3 = test_mp3::Mpeg1Frames(3);
  db.Fill(kUsPronTable, {{"a_b_c.mp3", mp3}, {std::nullopt, mp3}, {"../../evil.mp3", mp3}});
  RecordingProgress progress;
  const std::string folder = db / "us_pron/";
  ConvertPronToWav(db.path(), kUsPronTable, folder, progress);

  EXPECT_EQ(progress.last_status(), "[us_pron_skn mp3→wav変換中] 2/3");
  EXPECT_EQ(progress.statuses.size(), 2u);
  EXPECT_TRUE(progress.warnings.empty());
  EXPECT_EQ(ReadFile(folder + "a_b_c.wav").substr(70), mp3);
  EXPECT_TRUE(FileExists(folder + "evil.wav"));
  EXPECT_FALSE(FileExists(db / "evil.wav"));
  EXPECT_FALSE(FolderExists(db / "us_pron.tmp"));

  // Run again on the existing folder: files of the same names are replaced.
  db.Fill(kUsPronTable, {{"a_b_c.mp3", test_mp3::Mpeg1Frames(1)}});
  ConvertPronToWav(db.path(), kUsPronTable, folder, progress);
  EXPECT_EQ(ReadFile(folder + "a_b_c.wav").size(), 70u + 417);
  EXPECT_EQ(progress.last_status(), "[us_pron_skn mp3→wav変換中] 3/4");
}

TEST(PronConvertTest, NamesThatGiveNoFileNameAreSkippedInOneWarning) {
  PronDb db;
  const std::string mp3 = test_mp3::Mpeg1Frames(1);
  db.Fill(kUsPronTable, {{"ok.mp3", mp3}, {"bad\nname.mp3", mp3}, {"dir/", mp3}});
  RecordingProgress progress;
  ConvertPronToWav(db.path(), kUsPronTable, db / "us_pron", progress);
  EXPECT_EQ(progress.warnings,
            std::vector<std::string>{"us_pron_skn: 2 recordings got no WAV file (the name gives no file name): "
                                     "bad\\x0Aname.mp3, dir/"});
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(db / "us_pron"), {}), 2);  // and the manifest
}

TEST(PronConvertTest, EmptyTableStillCreatesTheFolder) {
  PronDb db;
  RecordingProgress progress;
  ConvertPronToWav(db.path(), kUkPronTable, db / "uk_pron", progress);
  EXPECT_TRUE(FolderExists(db / "uk_pron"));
  EXPECT_EQ(progress.ranges, std::vector<int>{0});
  EXPECT_TRUE(progress.statuses.empty());
}

TEST(PronConvertTest, RecordingsWithoutFrameSyncAreCountedNotWritten) {
  PronDb db;
  db.Fill(kUsPronTable, {{"good.mp3", test_mp3::Mpeg1Frames(2)},
                         {"zero.mp3", std::string(300, '\0')},
                         {"empty.mp3", ""},
                         {".", test_mp3::Mpeg1Frames(1)}});
  RecordingProgress progress;
  ConvertPronToWav(db.path(), kUsPronTable, db / "us_pron", progress);
  EXPECT_TRUE(FileExists(db / "us_pron/good.wav"));
  EXPECT_FALSE(FileExists(db / "us_pron/zero.wav"));
  EXPECT_FALSE(FileExists(db / "us_pron/empty.wav"));
  EXPECT_EQ(progress.last_status(), "[us_pron_skn mp3→wav変換中] 4/4");
  ASSERT_EQ(progress.warnings.size(), 2u);
  EXPECT_NE(progress.warnings[0].find("us_pron_skn: 2 recordings"), std::string::npos);
  EXPECT_NE(progress.warnings[0].find("zero.mp3, empty.mp3"), std::string::npos);
  EXPECT_NE(progress.warnings[1].find("1 recording "), std::string::npos);
}

TEST(PronConvertTest, FailedRunLeavesNoFolder) {
  PronDb db;
  // A folder under the name an earlier version wrote into is nothing to the writer.
  CreateFolder(db / "us_pron.tmp");
  WriteFileAtomic(db / "us_pron.tmp/stale.wav", "x");
  db.Fill(kUsPronTable, {{"first.mp3", test_mp3::Mpeg1Frames(1)},
                         {std::string(300, 'x') + ".mp3", test_mp3::Mpeg1Frames(1)}});
  RecordingProgress progress;
  EXPECT_THROW(ConvertPronToWav(db.path(), kUsPronTable, db / "us_pron", progress), Error);
  EXPECT_FALSE(FolderExists(db / "us_pron"));
  EXPECT_EQ(ReadFile(db / "us_pron.tmp/stale.wav"), "x");
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(db.path()).parent_path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".tavex2epwing-")) << entry.path();
  }

  db.Fill(kUkPronTable, {{"first.mp3", test_mp3::Mpeg1Frames(1)}});
  CreateFolder(db / "uk_pron.tmp");
  WriteFileAtomic(db / "uk_pron.tmp/stale.wav", "x");
  ConvertPronToWav(db.path(), kUkPronTable, db / "uk_pron", progress);
  EXPECT_TRUE(FileExists(db / "uk_pron/first.wav"));
  EXPECT_FALSE(FileExists(db / "uk_pron/stale.wav"));

  // Unknown tables never reach SQL; a missing database is an error too.
  EXPECT_THROW(ConvertPronToWav(db.path(), "xsl; drop table x", db / "x", progress), Error);
  EXPECT_THROW(ConvertPronToWav(db / "missing", kUsPronTable, db / "y", progress), Error);
  EXPECT_FALSE(FolderExists(db / "y"));
}

TEST(PronConvertTest, SaveOriginalMp3) {
  PronDb db;
  db.Fill(kUsPronTable, {{"it's.mp3", "US"}, {"a\\b.mp3", "AB"}});
  db.Fill(kUkPronTable, {{"it's.mp3", "UK"}, {"uk_only.mp3", "UKONLY"}, {"Run.mp3", "RUN"}});
  const std::string folder = db / "program";

  // A name in both tables leaves the US recording; quotes in names are harmless.
  EXPECT_TRUE(SaveOriginalMp3Both(db.path(), "it's.mp3", folder));
  EXPECT_EQ(ReadFile(folder + "/it's.mp3"), "US");
  EXPECT_TRUE(SaveOriginalMp3Both(db.path(), "uk_only.mp3", folder));
  EXPECT_EQ(ReadFile(folder + "/uk_only.mp3"), "UKONLY");
  // Names match ignoring case; the file takes the name as typed.
  EXPECT_TRUE(SaveOriginalMp3(db.path(), "run.mp3", kUkPronTable, folder));
  EXPECT_EQ(ReadFile(folder + "/run.mp3"), "RUN");
  // Folder parts of the name are dropped from the file's path.
  EXPECT_TRUE(SaveOriginalMp3(db.path(), "a\\b.mp3", kUsPronTable, folder));
  EXPECT_EQ(ReadFile(folder + "/b.mp3"), "AB");

  EXPECT_FALSE(SaveOriginalMp3Both(db.path(), "nothing.mp3", folder));
  EXPECT_FALSE(SaveOriginalMp3Both(db.path(), "", folder));
  EXPECT_FALSE(FileExists(folder + "/nothing.mp3"));
}

}  // namespace
}  // namespace tavex::audio
