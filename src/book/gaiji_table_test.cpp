#include "book/gaiji_table.h"

#include <gtest/gtest.h>

#include "book/book_fixture.h"
#include "text/cp932.h"
#include "store/database.h"
#include "testing/test_util.h"

namespace tavex::book {
namespace {

GaijiChar Row(char16_t unit) {
  GaijiChar row;
  row.ws = unit;
  row.ws_code = unit;
  row.ws_hex = fmt::format("{:04X}", static_cast<unsigned>(unit));
  row.reference = "&#x" + row.ws_hex + ";";
  return row;
}

TEST(LoadGaijiTable, OnlyCharRefRowsInNumericCodeOrderWithAndWithoutAlt) {
  tavex::testing::TempDir dir;
  const std::string db = dir / "TAVEX_data";
  // Inserted out of order; as text "8194" < "233" < "603", as numbers 233 < 603 < 8194.
  testing::WriteBookDatabase(db, {}, {u'\u2002', u'\u00E9', u'\u025B'});
  GaijiTable table = LoadGaijiTable(db);  // no alt table: no failure
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.rows()[0].ws_code, 0xE9);
  EXPECT_EQ(table.rows()[1].ws_code, 0x25B);
  EXPECT_EQ(table.rows()[2].ws_code, 0x2002);
  EXPECT_EQ(table.rows()[0].reference, "&#x00E9;");
  EXPECT_EQ(table.Find(u'a'), nullptr);  // char_ref "0"
  ASSERT_NE(table.Find(u'\u025B'), nullptr);
  EXPECT_EQ(table.Find(u'\u025B')->ws_hex, "025B");

  // Two alt rows for one character must not list it twice.
  {
    store::Connection conn(db);
    store::CreateAltTable(conn);
    conn.Exec("INSERT INTO [alt]([index],[uni],[alt]) VALUES (1,'00e9','e'),(2,'00E9','e2'),(3,'025B','E')");
  }
  table = LoadGaijiTable(db);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table.rows()[0].alt, "e");
  EXPECT_EQ(table.rows()[1].alt, "E");
  EXPECT_EQ(table.rows()[2].alt, "");
}

TEST(SubstituteGaiji, ReferencesForTableCharactersAndEnSpaceAsSpace) {
  const GaijiTable table({Row(u'\u00E9'), Row(u'\u2002')});
  EXPECT_EQ(Utf16ToUtf8(SubstituteGaiji(u"caf\u00E9\u2002b\u00E9", table)), "caf&#x00E9; b&#x00E9;");
  EXPECT_EQ(Utf16ToUtf8(SubstituteGaiji(u"plain", GaijiTable())), "plain");
}

TEST(SubstituteGaiji, CharacterBeyondTheBmpBecomesTheGetaMark) {
  // Both halves are in the table, as the statistics list them; neither may reach the book.
  const GaijiTable table({Row(u'\xD834'), Row(u'\xDD1E')});
  EXPECT_EQ(Utf16ToUtf8(SubstituteGaiji(u"a\U0001D11Eb", table)), "a\u3013b");
  // A lone half is no character beyond U+FFFF: it keeps its reference.
  EXPECT_EQ(Utf16ToUtf8(SubstituteGaiji(std::u16string(1, u'\xD834'), table)), "&#xD834;");
}

TEST(PlainKeyword, TableCharactersBecomeStandInsAndBlanksAreTrimmed) {
  GaijiChar schwa = Row(u'\u0259');
  schwa.alt = "\u00E9";  // an alternative text that is itself in the table: its base letter
  GaijiChar sharp = Row(u'\u00DF');
  sharp.alt = "sz";
  const GaijiTable table({Row(u'\u00E7'), Row(u'\u00E9'), sharp, Row(u'\u025B'), schwa});
  EXPECT_EQ(PlainKeyword(u" fa\u00E7ades caf\u00E9 ", table).bytes, "facades cafe");
  EXPECT_EQ(PlainKeyword(u"Stra\u00DFe \u0259", table).bytes, "Strasze e");
  EXPECT_TRUE(PlainKeyword(u"\u025B \u025B\t", table).empty());  // no stand-in, blanks only
  EXPECT_EQ(PlainKeyword(u"\u65E5\u672C", table), ToSjis(std::string_view("日本")));
}

// The one-pass forms the book writer uses give the same bytes as the passes one after
// another, on random texts made of the pieces where they could differ: table
// characters, EN SPACE, pairs and lone halves (in and out of the table), broken UTF-8,
// characters the code page maps by best fit or not at all.
TEST(SubstituteGaijiSjis, SameBytesAsThePassesOneAfterAnother) {
  // "~" stands for an ASCII character the user marked as gaiji in the character table.
  const GaijiTable table({Row(u'~'), Row(u'\u00E9'), Row(u'\u2002'), Row(u'\xD834'), Row(u'\xDDFF')});
  const std::vector<std::string> pieces = {
      "a", "<br>", "\u00E9", "\u2002", "\u65E5", "\u301C", "\u2014", "\u0101", "\U0001D11E", "\U0001F600",
      "\xED\xA0\xB4" /* lone D834 */, "\xED\xB7\xBF" /* lone DDFF */, "\xED\xA0\x80" /* lone D800 */,
      "\xFF", "\xC3", "\xE6\x97", " ", "\t", "\u3013", "\\~", "\x7F"};
  std::uint32_t seed = 12345;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::uint32_t length = next() % 12;
    for (std::uint32_t i = 0; i < length; ++i) text += pieces[next() % pieces.size()];
    const std::u16string units = Utf8ToUtf16(text);
    ASSERT_EQ(SubstituteGaijiSjis(text, table), ToSjis(SubstituteGaiji(units, table))) << round;
    ASSERT_EQ(PlainKeyword(std::string_view(text), table), PlainKeyword(std::u16string_view(units), table)) << round;
  }
}

}  // namespace
}  // namespace tavex::book
