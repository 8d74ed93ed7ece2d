#include "pipeline/settings.h"

#include <gtest/gtest.h>

#include "pipeline/layout.h"
#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;

TEST(SettingsTest, NoFileGivesDefaultsAndABadNumberEndsTheReading) {
  TempDir dir;
  std::string path = dir / "TAVEX_to_EPWING.ini";
  EXPECT_EQ(LoadSettings(path).gaiji_font, "Lucida Sans Unicode");

  WriteTestFile(path,
                "[form]\r\nFormTop = 12\r\nformleft=34\r\nFormWidth=wide\r\nFormHeight=56\r\n"
                "[Data]\r\nsrc_folder=/media/disc\r\n");
  Settings s = LoadSettings(path);
  EXPECT_EQ(s.form_top, 12);
  EXPECT_EQ(s.form_left, 34);
  EXPECT_EQ(s.form_width, 0);
  EXPECT_EQ(s.form_height, 0);
  EXPECT_EQ(s.src_folder, "");

  WriteTestFile(path, "[Form]\nFormTop=99999999999\n");
  EXPECT_EQ(LoadSettings(path).form_top, 0);
}

TEST(SettingsTest, RoundTripKeepsFoldersWholeAndAGoneDatabaseIsReplaced) {
  TempDir dir;
  std::string path = dir / "TAVEX_to_EPWING.ini";
  Settings s;
  s.form_top = -5;
  s.form_left = 100;
  s.form_width = 800;
  s.form_height = 600;
  s.src_folder = "/media/辞書 ディスク/tavex.data ";  // a blank at the end is the folder's
  s.mdb_file = dir / "gone/TAVEX_data";
  s.ebs_base = "\"Z:\\home\\user\\base_folder\\\"";
  s.build_epwing = false;
  s.build_mdict = true;
  SaveSettings(path, s);
  Settings back = LoadSettings(path);
  EXPECT_EQ(back.form_top, -5);
  EXPECT_EQ(back.form_left, 100);
  EXPECT_EQ(back.form_width, 800);
  EXPECT_EQ(back.form_height, 600);
  EXPECT_EQ(back.src_folder, s.src_folder);
  EXPECT_EQ(back.mdb_file, s.mdb_file);
  EXPECT_EQ(back.gaiji_font, "Lucida Sans Unicode");
  EXPECT_EQ(back.ebs_base, s.ebs_base);
  EXPECT_FALSE(back.build_epwing);
  EXPECT_FALSE(back.build_stardict);
  EXPECT_TRUE(back.build_mdict);

  // The database named in the settings no longer exists: the default one is used.
  EXPECT_EQ(DeriveWorkingLayout(dir.path(), back.src_folder, back.mdb_file).database_file,
            dir / "working_folder/TAVEX_data");
}

TEST(SettingsTest, SaveFailuresNameTheFile) {
  TempDir dir;
  std::string path = dir / "no/folder/TAVEX_to_EPWING.ini";
  try {
    SaveSettings(path, Settings{});
    FAIL() << "saving into a missing folder succeeded";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  // A line break would smuggle a key of its own into the file.
  Settings s;
  s.src_folder = "a\nFormWidth=1";
  EXPECT_THROW(SaveSettings(dir / "x.ini", s), Error);
}

}  // namespace
}  // namespace tavex
