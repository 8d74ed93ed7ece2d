#include "bundle/bundle_config.h"

#include <gtest/gtest.h>

#include "text/error.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex::bundle {
namespace {

constexpr const char* kDatExample =
    "[DAT]\n"
    "PATH = index.dat\n"
    "$A = USHORT\n"
    "$B = DATA\n"
    "$B,OFFSET = ULONG\n"
    "$C = UBYTE\n"
    "\n"
    "[$B]\n"
    "PATH = b.dat\n"
    "CATALOG = b.cat\n"
    "\n";

TEST(BundleConfigTest, DatSectionGivesFieldsWithoutTheLastDeclaration) {
  BundleConfig config = ParseBundleConfigText(kDatExample, "x.skn");
  EXPECT_EQ(config.index_path, "index.dat");
  ASSERT_EQ(config.dat_declarations.size(), 3u);
  ASSERT_EQ(config.fields.size(), 2u);
  EXPECT_EQ(config.record_size, 6);

  const FieldDeclaration& a = config.fields[0];
  EXPECT_EQ(a.name, "$A");
  EXPECT_EQ(a.value, "");
  EXPECT_EQ(a.type, "USHORT");
  EXPECT_EQ(a.width, 2);

  const FieldDeclaration& b = config.fields[1];
  EXPECT_EQ(b.value, "DATA");
  EXPECT_EQ(b.type, "ULONG");
  EXPECT_EQ(b.width, 4);
  EXPECT_EQ(b.data_path, "b.dat");
  ASSERT_EQ(b.settings.size(), 1u);
  EXPECT_EQ(b.settings[0].name, "CATALOG");
  EXPECT_EQ(b.settings[0].value, "b.cat");
  EXPECT_EQ(b.settings[0].width, 0);
  EXPECT_EQ(b.settings[0].type, "0");
}

TEST(BundleConfigTest, TypeNamesAreComparedExactly) {
  EXPECT_EQ(TypeWidth("UBYTE"), 1);
  EXPECT_EQ(TypeWidth("USHORT"), 2);
  EXPECT_EQ(TypeWidth("U24"), 3);
  EXPECT_EQ(TypeWidth("ULONG"), 4);
  EXPECT_EQ(TypeWidth("LONG"), -1);
  EXPECT_EQ(TypeWidth("ushort"), -1);

  auto declarations = ParseDeclarations("$N = U24\n$M = LONG\n$L = ushort\nPAGESIZE = 4096\n");
  ASSERT_EQ(declarations.size(), 4u);
  EXPECT_EQ(declarations[0].width, 3);
  EXPECT_EQ(declarations[1].width, -1);
  EXPECT_EQ(declarations[2].width, -1);
  EXPECT_EQ(declarations[3].value, "4096");
  EXPECT_EQ(declarations[3].width, 0);
}

TEST(BundleConfigTest, KeyWordsAreRecognisedInAnyCase) {
  BundleConfig config = ParseBundleConfigText(
      "[DAT]\npath = i.dat\nPAGESIZE = 512\n$T = DATA\n$t,offset = U24\nEND = 0\n\n[$T]\nPath = t.dat\n\n", "x.skn");
  EXPECT_EQ(config.index_path, "i.dat");
  EXPECT_EQ(config.page_size, "512");
  ASSERT_EQ(config.fields.size(), 2u);
  EXPECT_EQ(config.fields[1].type, "U24");
  EXPECT_EQ(config.record_size, 3);
  EXPECT_EQ(config.fields[1].data_path, "t.dat");
}

TEST(BundleConfigTest, LastSectionWithoutEmptyLineIsLost) {
  std::string text = kDatExample;
  text.pop_back();  // the empty line after [$B]
  BundleConfig config = ParseBundleConfigText(text, "x.skn");
  ASSERT_EQ(config.fields.size(), 2u);
  EXPECT_EQ(config.fields[1].data_path, "");
  EXPECT_TRUE(config.fields[1].settings.empty());

  // Carriage returns keep the header from being recognised at all.
  EXPECT_TRUE(ParseBundleConfigText("[DAT]\r\nPATH = i.dat\r\n$A = UBYTE\r\nX = 1\r\n\r\n", "x.skn").fields.empty());
}

TEST(BundleConfigTest, FindsTheConfigurationIgnoringLetterCase) {
  testing::TempDir dir;
  testing::WriteTestFile(dir / "data/FS.SKN/Files.skn/CONFIG.CFT", kDatExample);
  BundleConfig config = ParseBundleConfig({dir / "data", dir / "work/unzip"}, "fs.skn");
  EXPECT_EQ(config.config_path, dir / "data/FS.SKN/Files.skn/CONFIG.CFT");
  EXPECT_EQ(config.unpacked_path, dir / "work/unzip/fs.skn.dat");
  EXPECT_TRUE(FolderExists(dir / "work/unzip"));
  EXPECT_EQ(config.fields.size(), 2u);

  testing::WriteTestFile(dir / "data/FS.SKN/Files.skn/Sub/B.Dat", "");
  EXPECT_EQ(BundleFilePath(config, "sub\\b.dat"), dir / "data/FS.SKN/Files.skn/Sub/B.Dat");
  EXPECT_EQ(BundleFilePath(config, "none.dat"), dir / "data/FS.SKN/Files.skn/none.dat");
}

TEST(BundleConfigTest, MissingFolderOrConfigurationNamesThePath) {
  testing::TempDir dir;
  try {
    ParseBundleConfig({dir / "data", dir / "unzip"}, "fs.skn");
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "bundle fs.skn: no bundle folder " + dir / "data/fs.skn");
  }
  CreateFolders(dir / "data/fs.skn/files.skn");
  try {
    ParseBundleConfig({dir / "data", dir / "unzip"}, "fs.skn");
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()),
              "bundle fs.skn: no configuration file " + dir / "data/fs.skn/files.skn/config.cft");
  }
}

}  // namespace
}  // namespace tavex::bundle
