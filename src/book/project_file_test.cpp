#include "book/project_file.h"

#include <gtest/gtest.h>

#include "text/cp932.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex {
namespace {

TEST(ProjectFile, WholeFileForAKnownBase) {
  testing::TempDir dir;
  WriteProjectFile(dir / "TAVEX.ebs", "Z:\\work\\base_folder\\");
  const std::string expected =
      "InPath=Z:\\work\\base_folder\\\r\n"
      "OutPath=Z:\\work\\base_folder\\TAVEX\\\r\n"
      "Copyright=$(BASE)\\copyright.html\r\n"
      "GaijiFile=$(BASE)\\Gaiji.xml\r\n"
      "GaijiMapFile=$(BASE)\\GaijiMap.xml\r\n"
      "EBType=0\r\nMenuSearch=1\r\nWordSearchHyoki=1\r\nWordSearchKana=1\r\n"
      "EndWordSearchHyoki=1\r\nEndWordSearchKana=1\r\nKeywordSearch=0\r\nCrossSearch=0\r\n"
      "ComplexSearch=0\r\nsingleLine=0\r\nmakeFig=1\r\nleftMargin=1\r\nindent=0\r\nStopWord=\r\n"
      "delBlank=1\r\ndelSym=1\r\ndelChars=\r\nrefAuto=0\r\ntitleWord=1\r\nautoWord=0\r\n"
      "autoEWord=0\r\nHTagIndex=0\r\nDTTagIndex=1\r\naddKana=0\r\nautoKana=0\r\nkwordLen=1\r\n"
      "withHeader=1\r\noptMono=0\r\n"
      "Size=40000;30000;10;49000000;4000;50000;10;10;50000;10;500\r\n"
      "Book=TAVEX;TAVEX;\x88\xEA\x94\xCA\x8F\x91\x95\xA8;_;_;GAI16H00;GAI16F00;_;_;_;_;_;_;\r\n"
      "Source=$(BASE)\\html_EPW;_;_;HTML;\r\n";
  const std::string bytes = ReadFile(dir / "TAVEX.ebs");
  EXPECT_EQ(bytes, expected);

  // Writing again over the file gives the same bytes.
  WriteProjectFile(dir / "TAVEX.ebs", "Z:\\work\\base_folder\\");
  EXPECT_EQ(ReadFile(dir / "TAVEX.ebs"), bytes);
}

TEST(ProjectFile, SpacesAndJapaneseInThePathAreCarriedInShiftJis) {
  testing::TempDir dir;
  const std::string base = "Z:\\home\\user\\辞書 作業\\base_folder\\";
  WriteProjectFile(dir / "TAVEX.ebs", base);
  const std::string bytes = ReadFile(dir / "TAVEX.ebs");
  const std::string sjis_base = ToSjis(base).bytes;
  EXPECT_EQ(bytes.substr(0, 7 + sjis_base.size() + 2), "InPath=" + sjis_base + "\r\n");
  EXPECT_NE(bytes.find("\r\nOutPath=" + sjis_base + "TAVEX\\\r\n"), std::string::npos);
  EXPECT_EQ(SjisToUtf8(Sjis(bytes)).substr(7, base.size()), base);
}

TEST(ProjectFile, BaseWithoutTrailingBackslashStillNamesTheFolders) {
  EXPECT_EQ(ProjectFileText("D:\\book").substr(0, 41),
            "InPath=D:\\book\\\r\nOutPath=D:\\book\\TAVEX\\\r\n");
}

TEST(ProjectFile, EbsBaseIsTheWinePathOfTheFolder) {
  EXPECT_EQ(EbsBasePath("/work/ws/base_folder"), "Z:\\work\\ws\\base_folder\\");
  EXPECT_EQ(EbsBasePath("/work/ws/./x/../base_folder/"), "Z:\\work\\ws\\base_folder\\");
  const std::string relative = EbsBasePath("base_folder");
  EXPECT_EQ(relative.substr(0, 3), "Z:\\");
  EXPECT_EQ(relative.substr(relative.size() - 13), "\\base_folder\\");
  EXPECT_EQ(relative.find('/'), std::string::npos);
}

}  // namespace
}  // namespace tavex
