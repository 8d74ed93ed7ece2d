#include "gaiji/gaiji_files.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "check/check.h"
#include "gaiji/glyph_picture.h"
#include "gaiji/render_glyph.h"
#include "text/error.h"
#include "fs/files.h"
#include "text/text.h"
#include "store/database.h"
#include "store/tables.h"
#include "testing/test_util.h"

namespace tavex::gaiji {
namespace {

using tavex::testing::RecordingProgress;
using tavex::testing::TempDir;

// The lines of a CR LF text; a bare LF anywhere fails the test.
std::vector<std::string> SplitCrLf(const std::string& text) {
  EXPECT_EQ(ReplaceAll(text, "\r\n", "").find('\n'), std::string::npos);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

// The CR LF line of `text` that holds `needle`, with the set letter (z or h) and the four
// digits after the first `marker` shown as "?" (the codes depend on the font's widths).
std::string MaskedLine(const std::string& text, const std::string& needle, const std::string& marker) {
  for (std::string line : SplitCrLf(text)) {
    if (line.find(needle) == std::string::npos) continue;
    if (line[0] == 'z' || line[0] == 'h') line[0] = '?';
    const std::size_t at = line.find(marker);
    if (at != std::string::npos && at + marker.size() + 4 <= line.size()) {
      line.replace(at + marker.size(), 4, "????");
    }
    return line;
  }
  return "(no line with " + needle + ")";
}

// A working database with a `char` table (and an `alt` table unless told otherwise).
class GaijiDatabase {
 public:
  explicit GaijiDatabase(const std::string& path, bool with_alt = true) : path_(path) {
    store::CreateDatabase(path);
    store::Connection db(path);
    store::CreateCharTable(db);
    if (with_alt) store::CreateAltTable(db);
  }
  // One `char` row, as the character statistics write it.
  void AddChar(char16_t unit, const std::string& char_ref = "1") {
    store::Connection db(path_);
    store::Statement insert = db.Prepare(
        "insert into [char] (ws, ws_code, ws_hex, utf8_hex, total_count, first_index, char_ref) "
        "values (?, ?, ?, ?, ?, ?, ?)");
    insert.BindText(1, EncodeUnitUtf8(unit))
        .BindText(2, std::to_string(static_cast<int>(unit)))
        .BindText(3, fmt::format("{:04X}", static_cast<int>(unit)))
        .BindText(4, "")
        .BindText(5, "1")
        .BindText(6, "0")
        .BindText(7, char_ref);
    insert.Run();
  }
  void AddAlt(const std::string& uni, const std::string& alt) {
    store::Connection db(path_);
    store::Statement insert = db.Prepare("insert into [alt] (uni, alt) values (?, ?)");
    insert.BindText(1, uni).BindText(2, alt);
    insert.Run();
  }

 private:
  std::string path_;
};

GaijiEntry Entry(std::uint32_t code, int width_class) {
  GaijiEntry entry;
  entry.ws_code = code;
  entry.glyph.width_class = width_class;
  entry.glyph.glyph_text = "#";
  return entry;
}

const char* const kEmptyMap =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiSet>\r\n\r\n<!-- zenkaku -->\r\n\r\n"
    "<!-- hankaku -->\r\n</gaijiSet>";
const char* const kEmptyFont =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiData xml:space=\"preserve\">\r\n\r\n"
    "<fontSet size=\"16X16\" start=\"A121\">\r\n</fontSet>\r\n\r\n"
    "<fontSet size=\"8X16\" start=\"A121\">\r\n</fontSet>\r\n</gaijiData>";
const char* const kEmptyCharMap = "# TAVEX unicode\r\n\r\n# 16X16\r\n\r\n# 8X16";

TEST(GaijiCodeTest, RowsHoldNinetyFourCodes) {
  EXPECT_EQ(GaijiCode(0), 0xA121u);
  EXPECT_EQ(GaijiCode(93), 0xA17Eu);
  EXPECT_EQ(GaijiCode(94), 0xA221u);
  EXPECT_EQ(GaijiCode(94 * 2 + 5), 0xA326u);
  EXPECT_EQ(GaijiCode(94 * 94 - 1), 0xFE7Eu);
  EXPECT_THROW(GaijiCode(94 * 94), Error);
}

TEST(AssignGaijiCodesTest, HalfWidthSetContinuesAfterTheRowEnd) {
  GaijiSets sets;
  for (std::uint32_t i = 0; i < 95; ++i) sets.full_width.push_back(Entry(0x0100 + i, 16));
  sets.half_width.push_back(Entry(0x00E9, 8));
  sets.half_width.push_back(Entry(0x00EF, 8));
  AssignGaijiCodes(sets);
  EXPECT_EQ(sets.full_width[93].gaiji_code, 0xA17Eu);
  EXPECT_EQ(sets.full_width[94].gaiji_code, 0xA221u);
  EXPECT_EQ(sets.half_width_start, 0xA222u);
  EXPECT_EQ(sets.half_width[0].gaiji_code, 0xA222u);
  EXPECT_EQ(sets.half_width[1].gaiji_code, 0xA223u);

  GaijiFiles files = FormatGaijiFiles(sets);
  EXPECT_NE(files.gaiji_font.find("<fontSet size=\"8X16\" start=\"A222\">"), std::string::npos);
  EXPECT_NE(files.gaiji_map.find("<gaijiMap unicode=\"#x015E\" ebcode=\"A221\" />"), std::string::npos);
  EXPECT_NE(files.char_map.find("\r\nh" "A223\tu00EF\t"), std::string::npos);
  EXPECT_EQ(files.gaiji_map.find("A17F"), std::string::npos);
}

TEST(FormatGaijiFilesTest, EmptySetsGiveTheBareLayouts) {
  GaijiSets sets;
  AssignGaijiCodes(sets);
  GaijiFiles files = FormatGaijiFiles(sets);
  EXPECT_EQ(files.gaiji_map, kEmptyMap);
  EXPECT_EQ(files.gaiji_font, kEmptyFont);
  EXPECT_EQ(files.char_map, kEmptyCharMap);
}

TEST(FormatGaijiFilesTest, AltTextInBothMapsAndEscapedInTheXmlAttribute) {
  GaijiSets sets;
  sets.full_width.push_back(Entry(0x0259, 16));
  sets.full_width.back().alt = "@";
  sets.half_width.push_back(Entry(0x00E9, 8));
  sets.half_width.push_back(Entry(0x00EF, 8));
  sets.half_width.back().alt = "i\"";
  AssignGaijiCodes(sets);
  GaijiFiles files = FormatGaijiFiles(sets);
  std::vector<std::string> map = SplitCrLf(files.gaiji_map);
  ASSERT_EQ(map.size(), 10u);
  EXPECT_EQ(map[4], "<gaijiMap unicode=\"#x0259\" ebcode=\"A121\" alt=\"@\" />");
  EXPECT_EQ(map[7], "<gaijiMap unicode=\"#x00E9\" ebcode=\"A122\" />");
  EXPECT_EQ(map[8], "<gaijiMap unicode=\"#x00EF\" ebcode=\"A123\" alt=\"i&quot;\" />");
  std::vector<std::string> chars = SplitCrLf(files.char_map);
  ASSERT_EQ(chars.size(), 8u);
  EXPECT_EQ(chars[3], "zA121\tu0259\t@");
  EXPECT_EQ(chars[6], "hA122\tu00E9\t");
  EXPECT_EQ(chars[7], "hA123\tu00EF\ti\"");
  std::vector<std::string> font = SplitCrLf(files.gaiji_font);
  EXPECT_EQ(font[4], "<fontData ebcode=\"A121\" unicode=\"0259\">");
  EXPECT_EQ(font[5], "#");
  EXPECT_EQ(font[6], "</fontData>");
}

TEST(LoadGaijiSourcesTest, NumericOrderFirstAltRowAndMissingAltTable) {
  TempDir dir;
  {
    GaijiDatabase db(dir / "with_alt");
    for (char16_t unit : {u'\u2014', u'\u0259', u'\u00e9', u'a'}) db.AddChar(unit, unit == u'a' ? "" : "1");
    db.AddAlt("00e9", "e");  // letter case of the code does not matter
    db.AddAlt("00E9", "E");  // a second row for the same character is ignored
    std::vector<GaijiSource> sources = LoadGaijiSources(dir / "with_alt");
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources[0].ws_code, 0xE9u);  // "233" < "601" < "8212" as numbers, not as text
    EXPECT_EQ(sources[0].alt, "e");
    EXPECT_EQ(sources[1].ws_code, 0x259u);
    EXPECT_EQ(sources[1].alt, "");
    EXPECT_EQ(sources[2].ws_code, 0x2014u);
  }
  GaijiDatabase no_alt(dir / "no_alt", false);
  no_alt.AddChar(u'\u0259');
  std::vector<GaijiSource> sources = LoadGaijiSources(dir / "no_alt");
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(sources[0].alt, "");
  EXPECT_TRUE(LoadGaijiSources(dir / "missing").empty());
}

TEST(WriteGaijiFilesTest, NoDatabaseGivesThreeFilesOfOneLineEnd) {
  TempDir dir;
  RecordingProgress progress;
  WriteGaijiFiles(dir / "missing", dir.path(), kDefaultGaijiFace, progress);
  for (const char* name : {"GaijiMap.xml", "Gaiji.xml", "TAVEX.map"}) EXPECT_EQ(ReadFile(dir / name), "\r\n");
}

TEST(WriteGaijiFilesTest, EmptyCharTableGivesTheBareLayouts) {
  TempDir dir;
  GaijiDatabase db(dir / "db");
  db.AddChar(u'a', "");  // not a gaiji
  RecordingProgress progress;
  WriteGaijiFiles(dir / "db", dir.path(), kDefaultGaijiFace, progress);
  EXPECT_EQ(ReadFile(dir / "GaijiMap.xml"), std::string(kEmptyMap) + "\r\n");
  EXPECT_EQ(ReadFile(dir / "Gaiji.xml"), std::string(kEmptyFont) + "\r\n");
  EXPECT_EQ(ReadFile(dir / "TAVEX.map"), std::string(kEmptyCharMap) + "\r\n");
  EXPECT_TRUE(progress.warnings.empty());
}

// Checks every fontData block of a Gaiji.xml text: 16 rows of 16 in the first set,
// 16 rows of 8 in the second. Returns the number of glyphs seen.
int CheckGlyphBlocks(const std::string& font_text) {
  std::vector<std::string> lines = SplitCrLf(font_text);
  int glyphs = 0;
  std::size_t width = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("<fontSet size=\"16X16\"", 0) == 0) width = 16;
    if (lines[i].rfind("<fontSet size=\"8X16\"", 0) == 0) width = 8;
    if (lines[i].rfind("<fontData ", 0) != 0) continue;
    ++glyphs;
    EXPECT_GT(lines.size(), i + 17);
    if (lines.size() <= i + 17) break;
    for (std::size_t row = 1; row <= 16; ++row) {
      EXPECT_EQ(lines[i + row].size(), width) << lines[i];
      EXPECT_EQ(lines[i + row].find_first_not_of("#."), std::string::npos) << lines[i];
    }
    EXPECT_EQ(lines[i + 17], "</fontData>");
  }
  return glyphs;
}

bool XmllintAvailable() { return std::system("xmllint --version > /dev/null 2>&1") == 0; }

TEST(WriteGaijiFilesTest, DictionaryCharactersGiveValidShiftJisFiles) {
  TempDir dir;
  GaijiDatabase db(dir / "db");
  const std::u16string characters = u"\u00e9\u00ef\u0259\u0283\u014b\u02c8\u2014\u2010\ue000";
  for (char16_t unit : characters) db.AddChar(unit);
  db.AddAlt("00E9", "\u3042");  // a Japanese alternative text: two bytes in Shift_JIS
  db.AddAlt("E000", "x");
  RecordingProgress progress;
  WriteGaijiFiles(dir / "db", dir.path(), kDefaultGaijiFace, progress);

  const std::string map = ReadFile(dir / "GaijiMap.xml");
  const std::string font = ReadFile(dir / "Gaiji.xml");
  const std::string chars = ReadFile(dir / "TAVEX.map");
  EXPECT_NE(map.find("alt=\"\x82\xa0\" />"), std::string::npos);  // U+3042 in Shift_JIS
  EXPECT_EQ(MaskedLine(map, "#x0259", "ebcode=\""), "<gaijiMap unicode=\"#x0259\" ebcode=\"????\" />");
  EXPECT_EQ(MaskedLine(chars, "\tu0259", "?"), "?????\tu0259\t");
  EXPECT_EQ(MaskedLine(chars, "\tu00E9", "?"), "?????\tu00E9\t\x82\xa0");

  // The private-use character has no font here: left out everywhere, and reported.
  if (Renderer().FontFileFor(u'\ue000', kDefaultGaijiFace).empty()) {
    for (const std::string* text : {&map, &font, &chars}) EXPECT_EQ(text->find("E000"), std::string::npos);
    ASSERT_EQ(progress.warnings.size(), 1u);
    EXPECT_NE(progress.warnings[0].find("1 character"), std::string::npos);
    EXPECT_NE(progress.warnings[0].find("U+E000"), std::string::npos);
    EXPECT_EQ(CheckGlyphBlocks(font), static_cast<int>(characters.size()) - 1);
  }
  for (const std::string* text : {&map, &font, &chars}) {
    ASSERT_GE(text->size(), 4u);
    EXPECT_EQ(text->substr(text->size() - 2), "\r\n");  // one closing line end, no more
    EXPECT_NE(text->substr(text->size() - 4), "\r\n\r\n");
  }

  if (!XmllintAvailable()) GTEST_SKIP() << "xmllint is not installed";
  for (const char* name : {"GaijiMap.xml", "Gaiji.xml"}) {
    const std::string command = "xmllint --noout '" + (dir / name) + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << name;
  }
}

TEST(WriteGaijiFilesTest, AccentedCapitalsAndTheSampleCharactersAllGetAGaijiTheCheckFinds) {
  TempDir dir;
  GaijiDatabase db(dir / "db");
  // Six letters whose glyphs overflow the cell in the gaiji face's stand-in, then the
  // gaiji candidates of the sample disc.
  const std::u16string characters =
      u"\u0104\u0128\u012a\u012c\u0134\u0286"
      u"\u00e6\u00e9\u00fc\u014b\u0251\u0252\u0259\u028a\u0292\u2014\u00e0\u00e7\u00ef\u026a\u0283\u028c\u02c8\u02d0";
  std::string body;
  for (char16_t unit : characters) {
    db.AddChar(unit);
    body += fmt::format("&#x{:04X};", static_cast<int>(unit));
  }
  RecordingProgress progress;
  WriteGaijiFiles(dir / "db", dir.path(), kDefaultGaijiFace, progress);
  EXPECT_TRUE(progress.warnings.empty()) << progress.warnings.front();
  EXPECT_EQ(CheckGlyphBlocks(ReadFile(dir / "Gaiji.xml")), static_cast<int>(characters.size()));

  WriteFileAtomic(dir / "html_EPW", "<dt id=\"0\">glyphs</dt>\r\n<dd><p>\r\n" + body + "<br>\r\n</p></dd>\r\n");
  const check::CheckReport report = check::CheckBookSource(dir.path());
  for (const check::Finding& finding : report.findings) {
    const bool about_gaiji = finding.file == "GaijiMap.xml" || finding.file == "Gaiji.xml" ||
                             finding.message.find("GaijiMap.xml") != std::string::npos;
    EXPECT_FALSE(about_gaiji) << finding.file << ":" << finding.line << ": " << finding.message;
  }
}

TEST(GlyphPictureTest, WritesTheRenderedGaijiAsAPng) {
  Renderer renderer;
  std::vector<GlyphBitmap> glyphs;
  for (char16_t unit : std::u16string(u"\u0259\u0283\u014b\u02c8\u02cc\u00e6\u0251\u0254\u028a\u028c\u03b8\u00f0"
                                      u"\u00e9\u00ef\u00e8\u00ea\u00e0\u00e7\u00f1\u00fc\u2014\u2013\u2010\u2019")) {
    glyphs.push_back(renderer.Render(unit, kGaijiCellHeight, kDefaultGaijiFace));
  }
  const std::string path = std::string(TAVEX_BINARY_DIR) + "/gaiji_glyphs.png";
  WriteGlyphPicture(path, glyphs, {6, 12, 2});
  const std::string png = ReadFile(path);
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

}  // namespace
}  // namespace tavex::gaiji
