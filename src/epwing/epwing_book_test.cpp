// The written book read back through libeb, the readers' own library: a small hand-made
// book source with every kind of markup, the sample disc's whole book with audio, and
// the failures that must keep the previous book.
#include "epwing/epwing_book.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <cstdlib>
#include <map>
#include <regex>
#include <vector>

#include "text/cp932.h"
#include "text/error.h"
#include "fs/files.h"
#include "fs/folder_swap.h"
#include "testing/test_util.h"
#include "verify/libeb_reader.h"

namespace tavex::epwing {
namespace {

using tavex::testing::RecordingProgress;
using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;
using verify::BookHit;
using verify::BookPosition;
using verify::LibebReader;
using verify::TextLinks;

std::string Cp932(const std::string& utf8) { return ToSjis(utf8).bytes; }
std::string FromCp932(const std::string& bytes) { return SjisToUtf8(Sjis(bytes)); }

std::string Convert(const std::string& text, const char* to, const char* from) {
  return tavex::testing::IconvText(text, to, from);
}

std::string Utf8Of(char32_t c) {
  return Convert(std::string{char(c >> 24), char(c >> 16), char(c >> 8), char(c)}, "UTF-8", "UTF-32BE");
}

// A short PCM WAVE file.
std::string PcmWave(int samples) {
  std::string data;
  for (int i = 0; i < samples; ++i) data += static_cast<char>(i * 7);
  auto le = [](std::uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
  };
  return "RIFF" + le(36 + samples, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(11025, 4) +
         le(11025, 4) + le(1, 2) + le(8, 2) + "data" + le(samples, 4) + data;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string Glyph(const std::string& row_pattern, int width) {
  std::string text = "\r\n";
  for (int row = 0; row < 16; ++row) {
    std::string line(width, '.');
    for (int x = 0; x < width; ++x) {
      if (row_pattern[(row + x) % row_pattern.size()] == '#') line[x] = '#';
    }
    text += line + "\r\n";
  }
  return text;
}

// A small book source with every kind of markup the writer maps.
void WriteHandMadeSource(const std::string& base) {
  WriteTestFile(
      base + "/html_EPW",
      Cp932(Lines({"<html>",
                   "<head>",
                   "<title>TAVEX</title>",
                   "</head>",
                   "<body>",
                   "<dl>",
                   "<dt id=\"1\">caf&#x00E9;</dt>",
                   "<key title=\"cafe\" type=\"前方表記\">ＣＡＦＥ</key>",
                   "<key title=\"cafes\" type=\"前方表記\">ＣＡＦＥＳ</key>",
                   "<dd><p>",
                   "<b>caf&#x00E9;</b> <a href=\"us_pron/caf%C3%A9_1.wav\">US</a><br><i>noun <b>bold</b> "
                   "x</i><p><indent val=\"2\"></indent>H<sub>2</sub>O 10<sup>3</sup> &amp; 漢字 ①<br>→ "
                   "<a href=\"#2\">zebra</a> <A href=\"#9\">gone</A> <span>kept</span> &#x0259;<br>",
                   "</p></dd>",
                   "<dt id=\"2\">Zebra Crossing</dt>",
                   "<key title=\"zebras\" type=\"前方表記\">ＺＥＢＲＡＳ</key>",
                   "<key title=\"シマウマ\" type=\"前方表記\">シマウマ</key>",
                   "<key title=\"おうだんほどう\" type=\"前方表記\">おうだんほどう</key>",
                   "<key title=\"ヴェール\" type=\"前方表記\">ヴェール</key>",
                   "<key title=\"zebra<img src=\"z.png\">ed\" type=\"前方表記\">ＺＥＢＲＡＥＤ</key>",
                   "<dd><p>",
                   "stripes<br>",
                   "</p></dd>",
                   "</dl>",
                   "</body>",
                   "</html>"})));
  WriteTestFile(base + "/copyright.html",
                Lines({"<html>", "<head>", "<title>copyright</title>", "</head>", "<body>",
                       "<b>[COPYRIGHT]</b><br>owner<br>", "</body>", "</html>"}));
  WriteTestFile(base + "/GaijiMap.xml",
                Lines({"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "<gaijiSet>", "", "<!-- zenkaku -->",
                       "<gaijiMap unicode=\"#x00E9\" ebcode=\"A121\" />", "", "<!-- hankaku -->",
                       "<gaijiMap unicode=\"#x0259\" ebcode=\"A122\" />", "</gaijiSet>"}));
  WriteTestFile(base + "/Gaiji.xml",
                "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiData xml:space=\"preserve\">\r\n\r\n"
                "<fontSet size=\"16X16\" start=\"A121\">\r\n<fontData ebcode=\"A121\" unicode=\"00E9\">" +
                    Glyph("#..#.", 16) +
                    "</fontData>\r\n</fontSet>\r\n\r\n<fontSet size=\"8X16\" start=\"A122\">\r\n" +
                    "<fontData ebcode=\"A122\" unicode=\"0259\">" + Glyph("##...", 8) +
                    "</fontData>\r\n</fontSet>\r\n</gaijiData>\r\n");
  WriteTestFile(base + "/TAVEX.map",
                "# TAVEX unicode\r\n\r\n# 16X16\r\nzA121\tu00E9\t\r\n\r\n# 8X16\r\nhA122\tu0259\t\r\n");
  WriteTestFile(base + "/us_pron/café_1.wav", PcmWave(3000));
}

// The hit among `hits` whose heading reads `title`, or none.
std::optional<BookHit> HitWithHeading(LibebReader& reader, const std::vector<BookHit>& hits,
                                      const std::string& title) {
  for (const BookHit& hit : hits) {
    if (reader.Heading(hit.heading) == title) return hit;
  }
  return std::nullopt;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string Mixed(std::string s) {
  bool up = true;
  for (char& c : s) {
    if (std::isalpha(static_cast<unsigned char>(c))) {
      c = static_cast<char>(up ? std::toupper(static_cast<unsigned char>(c))
                               : std::tolower(static_cast<unsigned char>(c)));
      up = !up;
    }
  }
  return s;
}

TEST(EpwingBookTest, HandMadeBookReadsBackThroughLibeb) {
  TempDir dir;
  const std::string base = dir / "base_folder";
  WriteHandMadeSource(base);
  RecordingProgress progress;
  const EpwingSummary summary =
      BuildEpwingBook({.base_folder = base, .out_folder = dir / "epwing"}, progress);
  EXPECT_EQ(summary.entries, 2u);
  EXPECT_EQ(summary.sounds, 1u);
  EXPECT_EQ(summary.narrow_gaiji, 1u);
  EXPECT_EQ(summary.wide_gaiji, 1u);
  ASSERT_EQ(progress.warnings.size(), 3u);
  std::string warnings;
  for (const std::string& w : progress.warnings) warnings += w + "\n";
  EXPECT_NE(warnings.find("geta mark: 1 time, first ①"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("missing entry kept as plain text: 1 time, first 9"), std::string::npos)
      << warnings;
  EXPECT_NE(warnings.find("tag <span>"), std::string::npos) << warnings;

  LibebReader reader(dir / "epwing");
  reader.SetGaijiMap({{0xA122, "ə"}}, {{0xA121, "é"}});
  EXPECT_EQ(reader.Title(), "ＴＡＶＥＸ");
  for (const std::string word : {"cafe", "CAFE", "Cafe", "cafes"}) {
    for (bool backward : {false, true}) {
      EXPECT_TRUE(HitWithHeading(reader, reader.Search(word, backward), "café")) << word << backward;
    }
  }
  const auto zebra = HitWithHeading(reader, reader.Search("zebra crossing", false), "Zebra Crossing");
  ASSERT_TRUE(zebra);
  EXPECT_EQ(reader.Text(zebra->text), "<key>Zebra Crossing</key>\nstripes\n");
  EXPECT_TRUE(HitWithHeading(reader, reader.Search("CROSSING", true), "Zebra Crossing"));
  // A key whose title holds markup is found by its key text.
  EXPECT_TRUE(HitWithHeading(reader, reader.Search("zebraed", false), "Zebra Crossing"));
  EXPECT_TRUE(HitWithHeading(reader, reader.Search("braed", true), "Zebra Crossing"));
  // Kana keys are found by either script.
  for (const std::string kana : {"シマウマ", "しまうま", "オウダンホドウ", "おうだんほどう", "ヴェール", "ヴぇーる"}) {
    const std::string euc = Convert(kana, "EUC-JP", "UTF-8");
    for (bool backward : {false, true}) {
      EXPECT_TRUE(HitWithHeading(reader, reader.Search(euc, backward), "Zebra Crossing")) << kana << backward;
    }
  }

  const auto cafe = HitWithHeading(reader, reader.Search("cafe", false), "café");
  ASSERT_TRUE(cafe);
  TextLinks links;
  // The body begins with the headword: that is the heading, the rest of its line follows.
  EXPECT_EQ(reader.Text(cafe->text, &links),
            "<key><b>café</b></key>\n<snd>US</snd>\n<i>noun </i><b>bold</b><i> x</i>\n"
            "<indent=2>H<sub>2</sub>O 10<sup>3</sup> & 漢字 〓\n→ <ref>zebra</ref> gone kept ə\n");
  ASSERT_EQ(links.references.size(), 1u);
  EXPECT_EQ(links.references[0], zebra->text);
  ASSERT_EQ(links.sounds.size(), 1u);
  EXPECT_EQ(reader.Wave(links.sounds[0].first, links.sounds[0].second),
            ReadFile(base + "/us_pron/café_1.wav"));

  const auto wide = reader.Glyph(0xA121, false);
  const auto narrow = reader.Glyph(0xA122, true);
  for (int row = 0; row < 16; ++row) {
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ((wide[row] >> (15 - x)) & 1, "#..#."[(row + x) % 5] == '#' ? 1 : 0) << row << "," << x;
      if (x < 8) {
        EXPECT_EQ((narrow[row] >> (15 - x)) & 1, "##..."[(row + x) % 5] == '#' ? 1 : 0) << row << "," << x;
      }
    }
  }
  EXPECT_EQ(reader.Text(reader.Copyright()), "<b>[COPYRIGHT]</b>\nowner\n");
  EXPECT_EQ(ReadFile(dir / "epwing/afonts_0"), "na122 ə\nwa121 é\n");
}

TEST(EpwingBookTest, FailedBuildKeepsThePreviousBook) {
  TempDir dir;
  const std::string base = dir / "base_folder";
  WriteHandMadeSource(base);
  NullProgress progress;
  const std::string out = dir / "epwing";
  BuildEpwingBook({.base_folder = base, .out_folder = out}, progress);
  const std::string honmon = ReadFile(out + "/TAVEX/DATA/HONMON");

  // A user's folder under the name an earlier version staged its book in is the user's.
  WriteTestFile(out + ".staging/leftover", "x");
  const std::string html = ReadFile(base + "/html_EPW");
  WriteTestFile(base + "/html_EPW", html.substr(0, html.find("stripes")));
  try {
    BuildEpwingBook({.base_folder = base, .out_folder = out}, progress);
    FAIL() << "an incomplete book source was taken";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("html_EPW"), std::string::npos) << e.what();
  }
  WriteTestFile(base + "/html_EPW", html);
  std::remove((base + "/Gaiji.xml").c_str());
  try {
    BuildEpwingBook({.base_folder = base, .out_folder = out}, progress);
    FAIL() << "a book source without Gaiji.xml was taken";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Gaiji.xml"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(out + "/TAVEX/DATA/HONMON"), honmon);
  EXPECT_EQ(ReadFile(out + ".staging/leftover"), "x");
  std::vector<std::string> names;  // and the failed builds left nothing beside the book
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"base_folder", "epwing", "epwing.staging"}));
  EXPECT_THROW(BuildEpwingBook({.base_folder = dir / "nowhere", .out_folder = out}, progress), Error);
  EXPECT_EQ(ReadFile(out + "/TAVEX/DATA/HONMON"), honmon);
}

// A second wide set far from the first once made the font writer write past its buffer
// (the sanitizer build catches a relapse); now the file and line are named.
TEST(EpwingBookTest, GaijiFontSetGivenTwiceIsRefused) {
  TempDir dir;
  const std::string base = dir / "base_folder";
  WriteHandMadeSource(base);
  std::string fonts = ReadFile(base + "/Gaiji.xml");
  fonts.insert(fonts.find("</gaijiData>"),
               "<fontSet size=\"16X16\" start=\"FE21\">\r\n<fontData ebcode=\"FE21\" "
               "unicode=\"00E0\">" +
                   Glyph("#....", 16) + "</fontData>\r\n</fontSet>\r\n");
  WriteTestFile(base + "/Gaiji.xml", fonts);
  NullProgress progress;
  try {
    BuildEpwingBook({.base_folder = base, .out_folder = dir / "epwing"}, progress);
    FAIL() << "a font set given twice was taken";
  } catch (const Error& e) {
    EXPECT_NE(
        std::string(e.what()).find("Gaiji.xml: line 45: a second 16X16 fontSet (the first is on line 4)"),
        std::string::npos)
        << e.what();
  }
}

// The sample disc converted with audio, its book written once for the tests below.
class SampleBookTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    const std::string command = std::string(TAVEX_BINARY_DIR "/src/cli/tavex2epwing -q -w ") + dir_->path() +
                                " create --sample --with-audio > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Base() { return *dir_ / "base_folder"; }
  static std::string Book() { return *dir_ / "epwing"; }
  static TempDir* dir_;
};
TempDir* SampleBookTest::dir_ = nullptr;

// The book source's entries, read independently of the writer.
struct Entry {
  std::string id, title, body;
  std::vector<std::string> keys;  // code page 932 key texts
};

std::vector<Entry> ReadEntries(const std::string& html_path) {
  std::vector<Entry> entries;
  const std::string text = ReadFile(html_path);
  std::size_t at = 0;
  bool body = false;
  const std::regex dt("<dt id=\"([^\"]*)\">(.*)</dt>");
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    std::smatch m;
    const std::string utf8 = FromCp932(line);
    if (std::regex_match(utf8, m, dt)) {
      entries.push_back({m[1], m[2], "", {}});
    } else if (line.starts_with("<key ")) {
      // The title can hold markup; the key text starts after the type attribute.
      const std::size_t open = line.rfind("\">");
      entries.back().keys.push_back(line.substr(open + 2, line.size() - open - 2 - 6));
    } else if (line == "<dd><p>") {
      body = true;
    } else if (line == "</p></dd>") {
      body = false;
    } else if (body) {
      entries.back().body += utf8;
    }
  }
  return entries;
}

// The characters of book markup as a reader shows them: tags gone, entities decoded,
// characters the book cannot hold as the geta mark.
std::string PlainText(const std::string& markup, const std::map<char32_t, std::string>& gaiji) {
  std::string plain;
  std::size_t i = 0;
  while (i < markup.size()) {
    if (markup[i] == '<') {
      i = markup.find('>', i) + 1;
      continue;
    }
    if (markup[i] == '&') {
      const std::size_t semicolon = markup.find(';', i);
      const std::string name = markup.substr(i + 1, semicolon - i - 1);
      i = semicolon + 1;
      if (name == "nbsp")
        plain += ' ';
      else if (name == "amp")
        plain += '&';
      else if (name == "lt")
        plain += '<';
      else if (name == "gt")
        plain += '>';
      else if (name == "quot")
        plain += '"';
      else if (name[0] == '#') {
        const char32_t c =
            name[1] == 'x' ? std::stoul(name.substr(2), nullptr, 16) : std::stoul(name.substr(1));
        auto it = gaiji.find(c);
        if (it != gaiji.end())
          plain += it->second;
        else
          plain += Convert(Utf8Of(c), "EUC-JP", "UTF-8").size() == 2 ? Utf8Of(c) : "〓";
      }
      continue;
    }
    std::size_t length = 1;
    const auto b = static_cast<unsigned char>(markup[i]);
    if (b >= 0xF0)
      length = 4;
    else if (b >= 0xE0)
      length = 3;
    else if (b >= 0xC0)
      length = 2;
    const std::string c = markup.substr(i, length);
    i += length;
    if (c == "\r" || c == "\n") continue;
    plain += (length == 1 || Convert(c, "EUC-JP", "UTF-8").size() == 2) ? c : "〓";
  }
  return plain;
}

std::string WithoutNewlines(std::string text) {
  std::erase(text, '\n');
  return text;
}

TEST_F(SampleBookTest, EveryEntryReadsBackThroughLibeb) {
  const std::vector<Entry> entries = ReadEntries(Base() + "/html_EPW");
  ASSERT_GT(entries.size(), 20u);

  // The gaiji of the book source: codes, characters and glyphs.
  const std::string map_text = FromCp932(ReadFile(Base() + "/GaijiMap.xml"));
  const std::size_t narrow_from = map_text.find("<!-- hankaku -->");
  std::map<std::uint16_t, std::string> narrow_map, wide_map;
  std::map<char32_t, std::string> by_unicode;
  const std::regex map_line("<gaijiMap unicode=\"#x([0-9A-F]+)\" ebcode=\"([0-9A-F]+)\"");
  for (auto it = std::sregex_iterator(map_text.begin(), map_text.end(), map_line);
       it != std::sregex_iterator(); ++it) {
    const char32_t c = std::stoul((*it)[1], nullptr, 16);
    const auto code = static_cast<std::uint16_t>(std::stoul((*it)[2], nullptr, 16));
    const bool narrow = static_cast<std::size_t>(it->position()) > narrow_from;
    (narrow ? narrow_map : wide_map)[code] = Utf8Of(c);
    by_unicode[c] = Utf8Of(c);
  }
  ASSERT_FALSE(wide_map.empty());

  LibebReader reader(Book());
  reader.SetGaijiMap(narrow_map, wide_map);
  reader.SetMarkup(false);
  EXPECT_EQ(reader.Title(), "ＴＡＶＥＸ");

  // Headings: the title, and the homograph number that follows the bold headword
  // (set1, set2), so that entries sharing a headword are told apart.
  std::map<std::string, std::string> title_of, heading_of;
  std::vector<std::string> headings;
  const std::regex homograph("^<b>[^<]*</b>(?:&nbsp;| )*<sup>([0-9]{1,3})</sup>");
  for (const Entry& entry : entries) {
    title_of.emplace(entry.id, PlainText(entry.title, by_unicode));
    std::smatch number;
    std::string heading = PlainText(entry.title, by_unicode);
    if (std::regex_search(entry.body, number, homograph)) heading += number[1].str();
    heading_of.emplace(entry.id, heading);
    headings.push_back(heading);
  }
  EXPECT_EQ(reader.WalkHeadings(), headings);
  EXPECT_NE(std::find(headings.begin(), headings.end(), "set2"), headings.end());

  std::size_t searched_titles = 0, references = 0, sounds = 0, body_first = 0;
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.id + " " + entry.title);
    const std::string title = title_of[entry.id];
    // The title, typed as ASCII letters (accents dropped, as a user types them).
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    locale_t previous = uselocale(utf8);
    std::string typed = Convert(title, "ASCII//TRANSLIT", "UTF-8");
    uselocale(previous);
    freelocale(utf8);
    BookPosition text_at;
    bool found = false;
    if (!typed.empty() && typed.find('?') == std::string::npos) {
      ++searched_titles;
      for (const std::string& word : {Lower(typed), Upper(typed), Mixed(typed)}) {
        for (bool backward : {false, true}) {
          const auto hit = HitWithHeading(reader, reader.Search(word, backward), heading_of[entry.id]);
          ASSERT_TRUE(hit) << word << (backward ? " backward" : " forward");
          text_at = hit->text;
          found = true;
        }
      }
    }
    for (const std::string& key : entry.keys) {
      std::string euc = Convert(key, "EUC-JP", "CP932");
      if (euc.empty()) continue;
      std::string lower = euc, mixed = euc;
      for (std::size_t i = 0; i + 1 < euc.size(); i += 2) {
        const auto c1 = static_cast<unsigned char>(euc[i]), c2 = static_cast<unsigned char>(euc[i + 1]);
        if (c1 == 0xA3 && c2 >= 0xC1 && c2 <= 0xDA) {
          lower[i + 1] = static_cast<char>(c2 + 0x20);
          if ((i / 2) % 2 == 1) mixed[i + 1] = static_cast<char>(c2 + 0x20);
        }
      }
      for (const std::string& word : {euc, lower, mixed}) {
        for (bool backward : {false, true}) {
          const auto hit = HitWithHeading(reader, reader.Search(word, backward), heading_of[entry.id]);
          ASSERT_TRUE(hit) << FromCp932(key) << (backward ? " backward" : " forward");
          text_at = hit->text;
          found = true;
        }
      }
    }
    ASSERT_TRUE(found) << "no way to search the entry";

    // The headword once: when the body begins with the title in bold as a word, the text
    // is the body (its headword and homograph number the heading, the rest of the first
    // line on the next line). A body that merely begins with the word is text.
    TextLinks links;
    const std::string text = reader.Text(text_at, &links);
    const std::string plain_title = PlainText(entry.title, by_unicode);
    const std::string heading = heading_of[entry.id];
    const std::string plain_body = PlainText(entry.body, by_unicode);
    std::string rest = plain_body.substr(std::min(heading.size(), plain_body.size()));
    const bool headword_first =
        entry.body.starts_with("<b>") && plain_body.starts_with(heading) && (rest.empty() || rest[0] == ' ');
    rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size() : rest.find_first_not_of(' '));
    EXPECT_EQ(WithoutNewlines(text), headword_first ? heading + rest : plain_title + plain_body);
    if (headword_first) ++body_first;

    // Links: the existing targets in body order, then the recordings.
    std::vector<std::string> targets, recordings;
    const std::regex href("<[aA] href=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(entry.body.begin(), entry.body.end(), href);
         it != std::sregex_iterator(); ++it) {
      const std::string value = (*it)[1];
      if (value[0] == '#') {
        if (title_of.count(value.substr(1))) targets.push_back(value.substr(1));
      } else {
        std::string name;
        for (std::size_t i = 0; i < value.size(); ++i) {
          if (value[i] == '%') {
            name += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
            i += 2;
          } else {
            name += value[i];
          }
        }
        if (FileExists(Base() + "/" + name)) recordings.push_back(Base() + "/" + name);
      }
    }
    ASSERT_EQ(links.references.size(), targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
      EXPECT_EQ(reader.Heading(links.references[i]), heading_of[targets[i]]) << targets[i];
      ++references;
    }
    ASSERT_EQ(links.sounds.size(), recordings.size());
    for (std::size_t i = 0; i < recordings.size(); ++i) {
      EXPECT_EQ(reader.Wave(links.sounds[i].first, links.sounds[i].second), ReadFile(recordings[i]))
          << recordings[i];
      ++sounds;
    }
  }
  // Inflections found under their natural spelling: accents folded, markup in the title
  // of the key left out; kana keys found in either script.
  const std::vector<std::pair<std::string, std::string>> typed = {
      {"coloured", "colour"}, {"cafes", "café"}, {"facades", "façade"}, {"deja vus", "déjà vu"},
      {"からおけ", "karaoke"}, {"カラオケ", "karaoke"}, {"ツナミ", "tsunami"}, {"つなみ", "tsunami"}};
  for (const auto& [word, title] : typed) {
    for (bool backward : {false, true}) {
      EXPECT_TRUE(HitWithHeading(reader, reader.Search(Convert(word, "EUC-JP", "UTF-8"), backward), title))
          << word << (backward ? " backward" : " forward");
    }
  }
  EXPECT_GT(searched_titles, entries.size() * 9 / 10);
  EXPECT_GT(body_first, entries.size() * 3 / 4);
  EXPECT_GT(references, 10u);
  EXPECT_GT(sounds, 20u);

  // Every glyph of Gaiji.xml, from libeb's font API.
  const std::string fonts = FromCp932(ReadFile(Base() + "/Gaiji.xml"));
  const std::regex font_data(
      "<fontData ebcode=\"([0-9A-F]+)\" unicode=\"[0-9A-F]+\">\\s*([#.\\s]+?)\\s*</fontData>");
  std::size_t glyphs = 0;
  for (auto it = std::sregex_iterator(fonts.begin(), fonts.end(), font_data); it != std::sregex_iterator();
       ++it) {
    const auto code = static_cast<std::uint16_t>(std::stoul((*it)[1], nullptr, 16));
    const bool narrow = narrow_map.count(code) > 0;
    const auto rows = reader.Glyph(code, narrow);
    std::string picture;
    for (std::uint16_t row : rows) {
      for (int x = 0; x < (narrow ? 8 : 16); ++x) picture += (row >> (15 - x)) & 1 ? '#' : '.';
    }
    std::string expected = (*it)[2];
    std::erase_if(expected, [](char c) { return c != '#' && c != '.'; });
    EXPECT_EQ(picture, expected) << (*it)[1];
    ++glyphs;
  }
  EXPECT_EQ(glyphs, narrow_map.size() + wide_map.size());

  const std::string copyright = reader.Text(reader.Copyright());
  EXPECT_NE(copyright.find("[COPYRIGHT INFORMATION]"), std::string::npos) << copyright;
  EXPECT_NE(copyright.find("[OWNER INFORMATION]"), std::string::npos) << copyright;
}

}  // namespace
}  // namespace tavex::epwing
