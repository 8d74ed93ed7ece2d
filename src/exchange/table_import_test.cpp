#include "exchange/table_import.h"

#include <gtest/gtest.h>

#include "analysis/entry_table_fixture.h"
#include "exchange/prepare.h"
#include "text/error.h"
#include "store/tables.h"
#include "testing/test_util.h"

namespace tavex::exchange {
namespace {

using analysis::testing::QueryRows;
using Rows = std::vector<std::vector<std::string>>;

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override { store::CreateDatabase(db_path()); }
  std::string db_path() const { return dir_ / "TAVEX_data"; }
  // Writes an exchange file and returns its path.
  std::string File(const std::string& name, const std::string& text) {
    tavex::testing::WriteTestFile(dir_ / name, text);
    return dir_ / name;
  }
  // Prepares the alt table from `path` and returns the error message it raised.
  std::string AltImportError(const std::string& path) {
    try {
      PrepareAltTable(db_path(), path, progress_, prompter_);
    } catch (const Error& e) {
      return e.what();
    }
    return "no error";
  }
  std::string CharImportError(const std::string& path) {
    try {
      PrepareCharTable(db_path(), path, progress_, prompter_);
    } catch (const Error& e) {
      return e.what();
    }
    return "no error";
  }
  tavex::testing::TempDir dir_;
  tavex::testing::RecordingProgress progress_;
  tavex::testing::ScriptedPrompter prompter_;
};

TEST_F(ImportTest, AltRecordsAtAnyDepthUnderAnyRoot) {
  std::string path = File("alt_data.xml",
                          "<?xml version='1.0' encoding='Shift_JIS'?>\n<anything>\n"
                          "  <group><record><index>7</index><uni>00E9</uni><alt>e</alt></record></group>\n"
                          "  <record>\n    <alt>a</alt>\n    <uni>0101</uni>\n  </record>\n"
                          "  <record/>\n</anything>\n");
  EXPECT_TRUE(PrepareAltTable(db_path(), path, progress_, prompter_));
  EXPECT_EQ(QueryRows(db_path(), "select * from [alt]"),
            (Rows{{"1", "00E9", "e"}, {"2", "0101", "a"}, {"3", "<null>", "<null>"}}));
}

TEST_F(ImportTest, UnknownColumnFailsNamingFileAndRowAndLeavesNoTable) {
  std::string path = File("alt_data.xml",
                          "<root><record><uni>00E9</uni></record>"
                          "<record><uni>0101</uni><colour>red</colour></record></root>");
  std::string message = AltImportError(path);
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_NE(message.find("row 2"), std::string::npos) << message;
  EXPECT_NE(message.find("colour"), std::string::npos) << message;
  EXPECT_FALSE(store::TableExists(db_path(), "alt"));
}

TEST_F(ImportTest, TextWhereAColumnBelongsIsAnError) {
  std::string path = File("alt_data.xml", "<root><record>stray<uni>00E9</uni></record></root>");
  std::string message = AltImportError(path);
  EXPECT_NE(message.find("row 1"), std::string::npos) << message;
  EXPECT_NE(message.find("stray"), std::string::npos) << message;
}

TEST_F(ImportTest, BadCharacterCodesAreErrors) {
  for (const char* code : {"abc", "65536", "-1", "12.5", ""}) {
    std::string path = File("char_data.xml", std::string("<root><chars><ws_code>97</ws_code></chars><chars><ws_code>") +
                                                 code + "</ws_code></chars></root>");
    std::string message = CharImportError(path);
    EXPECT_NE(message.find("row 2"), std::string::npos) << code << ": " << message;
    EXPECT_NE(message.find(std::string("\"") + code + "\""), std::string::npos) << message;
    EXPECT_FALSE(store::TableExists(db_path(), "char"));
  }
  std::string path = File("char_data.xml", "<root><chars><ws_hex>0061</ws_hex></chars></root>");
  EXPECT_NE(CharImportError(path).find("ws_code"), std::string::npos);
}

TEST_F(ImportTest, FileThatDoesNotParseIsAnErrorAndLeavesNoTable) {
  std::string path = File("char_data.xml", "<root><chars>");
  EXPECT_NE(CharImportError(path).find("cannot import " + path + ": "), std::string::npos);
  EXPECT_TRUE(prompter_.messages.empty());
  EXPECT_FALSE(store::TableExists(db_path(), "char"));
}

// An exchange file is edited by hand and may come from anywhere: entity declarations in
// it must neither read other files nor expand without bound.
TEST_F(ImportTest, EntitiesReadNoFilesAndCannotExhaustMemory) {
  tavex::testing::WriteTestFile(dir_ / "secret.txt", "secret-marker");
  const std::string external = "<!DOCTYPE root [<!ENTITY s SYSTEM \"file://" + (dir_ / "secret.txt") +
                               "\"><!ENTITY p SYSTEM \"file:///etc/passwd\">]>";
  std::string laughs = "<!DOCTYPE root [<!ENTITY l0 \"lol\">";
  for (int level = 1; level <= 9; ++level) {
    laughs += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(level - 1) + ";";
    laughs += "\">";
  }
  laughs += "]>";
  std::string quadratic = "<!DOCTYPE root [<!ENTITY x \"" + std::string(100000, 'x') + "\">]>";
  std::string many_refs;
  for (int k = 0; k < 2000; ++k) many_refs += "&x;";

  struct Case {
    void (*import)(store::Connection&, const std::string&);
    const char* table;
    const char* row;
    const char* column;
  };
  for (const Case& c : {Case{ImportXslXml, "xsl", "tags", "tag"}, Case{ImportCharXml, "char", "chars", "ws_code"},
                        Case{ImportAltXml, "alt", "record", "alt"}}) {
    SCOPED_TRACE(c.table);
    const std::string row = std::string("<") + c.row + "><" + c.column + ">";
    const std::string end = std::string("</") + c.column + "></" + c.row + ">";
    store::Connection db(db_path());
    store::CreateXslTable(db);
    store::CreateCharTable(db);
    store::CreateAltTable(db);

    // External entities stay unread: the row is refused or keeps no file text.
    const std::string stolen = File("external.xml", external + "<root>" + row + "&s;&p;" + end + "</root>");
    try {
      c.import(db, stolen);
    } catch (const Error& error) {
      EXPECT_EQ(std::string(error.what()).find("secret-marker"), std::string::npos);
    }
    for (const auto& cells : QueryRows(db_path(), std::string("select * from [") + c.table + "]")) {
      for (const std::string& cell : cells) {
        EXPECT_EQ(cell.find("secret-marker"), std::string::npos);
        EXPECT_EQ(cell.find("root:"), std::string::npos);
      }
    }

    // Expansions to gigabytes are refused before any text is read.
    for (const std::string& text : {laughs + "<root>" + row + "&l9;" + end + "</root>",
                                    quadratic + "<root>" + row + many_refs + end + "</root>"}) {
      EXPECT_THROW(c.import(db, File("expand.xml", text)), Error);
    }
  }
}

}  // namespace
}  // namespace tavex::exchange
