// The book check on a small book the writer built, sound and then with faults put into
// its source and its index, and the index walk on pages that would trap a reader.
#include "verify/verify.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "epwing/epwing_book.h"
#include "fs/files.h"
#include "testing/test_util.h"
#include "text/cp932.h"
#include "verify/book_index.h"

namespace tavex::verify {
namespace {

using tavex::testing::RecordingProgress;
using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;

std::string Le(std::uint32_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Wave(int samples) {
  return "RIFF" + Le(36 + samples, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) + Le(8000, 4) +
         Le(8000, 4) + Le(1, 2) + Le(8, 2) + "data" + Le(samples, 4) + std::string(samples, '\x80');
}

std::string GlyphRows(int every) {
  std::string rows = "\r\n";
  for (int row = 0; row < 16; ++row)
    rows += std::string(8, row % every == 0 ? '#' : '.') + std::string(8, '.') + "\r\n";
  return rows;
}

// A base_folder of three entries: a gaiji, a link, a sound, keys besides the titles.
void WriteSource(const std::string& base, int every = 3) {
  const std::string entries =
      "<dt id=\"1\">caf&#x00E9;</dt>\r\n<key title=\"cafe\" type=\"前方表記\">ＣＡＦＥＳ</key>\r\n<dd><p>\r\n"
      "a place <a href=\"#2\">tea</a> <a href=\"us_pron/cafe.wav\">US</a><br>\r\n</p></dd>\r\n"
      "<dt id=\"2\">tea</dt>\r\n<dd><p>\r\nleaves<br>\r\n</p></dd>\r\n"
      "<dt id=\"3\">Zebra Crossing</dt>\r\n<key title=\"z\" "
      "type=\"前方表記\">ＺＥＢＲＡＳ</key>\r\n<dd><p>\r\n"
      "stripes<br>\r\n</p></dd>\r\n";
  WriteTestFile(base + "/html_EPW",
                ToSjis("<html>\r\n<head>\r\n<title>TAVEX</title>\r\n</head>\r\n<body>\r\n<dl>\r\n" + entries +
                       "</dl>\r\n</body>\r\n</html>\r\n")
                    .bytes);
  WriteTestFile(base + "/copyright.html",
                "<html>\r\n<body>\r\n<b>[COPYRIGHT]</b><br>owner<br>\r\n</body>\r\n</html>\r\n");
  WriteTestFile(base + "/GaijiMap.xml",
                "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiSet>\r\n"
                "<gaijiMap unicode=\"#x00E9\" ebcode=\"A121\" />\r\n</gaijiSet>\r\n");
  WriteTestFile(base + "/Gaiji.xml",
                "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiData xml:space=\"preserve\">\r\n"
                "<fontSet size=\"16X16\" start=\"A121\">\r\n<fontData ebcode=\"A121\" unicode=\"00E9\">" +
                    GlyphRows(every) + "</fontData>\r\n</fontSet>\r\n</gaijiData>\r\n");
  WriteTestFile(base + "/TAVEX.map", "# TAVEX unicode\r\nzA121\tu00E9\t\r\n");
  WriteTestFile(base + "/us_pron/cafe.wav", Wave(2000));
}

std::vector<std::string> Kinds(const VerifyReport& report) {
  std::vector<std::string> kinds;
  for (const FindingGroup& group : report.groups) kinds.push_back(group.kind);
  return kinds;
}

TEST(VerifyTest, WrittenBookVerifiesCleanAndFaultsAreNamed) {
  TempDir dir;
  const std::string base = dir / "base_folder";
  const std::string book = dir / "epwing";
  WriteSource(base);
  RecordingProgress progress;
  epwing::BuildEpwingBook({base, book}, progress);

  const VerifyReport clean = VerifyBook({.book = book, .base_folder = base}, progress);
  EXPECT_TRUE(clean.groups.empty()) << FormatVerifyReport(clean, true);
  EXPECT_EQ(clean.entries, 3u);
  EXPECT_EQ(clean.keys, clean.keys_found);
  EXPECT_EQ(clean.keys, 10u);  // five distinct keys, each forward and backward
  EXPECT_EQ(clean.sounds, 1u);
  EXPECT_EQ(clean.gaiji, 1u);
  EXPECT_EQ(FormatVerifySummary(clean), "verify: 3 entries, 10 keys found, 0 errors");
  // The book compressed with ebzip (eb-utils) in slices of 8 KiB, its gaiji maps copied
  // along: libeb shares one decompression cache between its readers, and the check still
  // finds what it finds in the plain book. (At level 5 ebzip makes of a text file under
  // 64 KiB one that libeb cannot read, and verify says so.)
  const std::string zipped = dir / "zipped";
  ASSERT_EQ(std::system(("mkdir '" + zipped + "' && ebzip --level 2 --keep --quiet --output-directory '" +
                         zipped + "' '" + book + "' >/dev/null 2>&1 && cp -r '" + book + "/afonts_0' '" +
                         book + "/TAVEX.map' '" + book + "/appendix' '" + zipped + "/'")
                            .c_str()),
            0);
  const VerifyReport compressed = VerifyBook({.book = zipped, .base_folder = base}, progress);
  EXPECT_TRUE(compressed.groups.empty()) << FormatVerifyReport(compressed, true);
  EXPECT_EQ(FormatVerifySummary(compressed), FormatVerifySummary(clean));
  // The time bound holds for the whole book: spent at once, the check stops naming it.
  const VerifyReport late = VerifyBook({.book = book, .time_bound = std::chrono::seconds(0)}, progress);
  EXPECT_EQ(Kinds(late),
            std::vector<std::string>{"the check of the book ran past its time bound, so it stopped"})
      << FormatVerifyReport(late, true);

  // A glyph changed in the source after the build, and a key swapped in the forward
  // index so that its page is out of order and the key is no longer found.
  WriteSource(base, 4);
  const std::string honmon = book + "/TAVEX/DATA/HONMON";
  std::string bytes = ReadFile(honmon);
  const std::vector<BookRegion> regions = ParseIndexPage(bytes.substr(0, 2048));
  for (const BookRegion& region : regions) {
    if (region.id != 0x91) continue;
    const std::size_t at = (region.start_page - 1) * 2048 + 4;  // the first key's length byte
    bytes[at + 1] = 0x7E;                                       // its first character made the last
  }
  WriteTestFile(honmon, bytes);
  const VerifyReport damaged = VerifyBook({.book = book, .base_folder = base}, progress);
  const std::vector<std::string> kinds = Kinds(damaged);
  auto has = [&](const std::string& kind) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
  };
  EXPECT_TRUE(has("an index page holds its keys out of order, so readers miss some of them"))
      << FormatVerifyReport(damaged, true);
  EXPECT_TRUE(has("a search key does not find the entry its index points at"));
  EXPECT_TRUE(has("a gaiji of Gaiji.xml is not the book's"));
  EXPECT_TRUE(has("a title or key of html_EPW is not found at its entry"));
  EXPECT_GT(damaged.errors(), 0);
  // Grouped lines name the place and the headword of the first findings.
  EXPECT_NE(FormatVerifyReport(damaged, false).find("TAVEX "), std::string::npos);

  // A recording deleted before the build: the writer keeps its link as text, and the
  // check beside the source names the entry and the file the book lacks.
  WriteSource(base);
  std::filesystem::remove(base + "/us_pron/cafe.wav");
  const std::string mute = dir / "mute";
  epwing::BuildEpwingBook({base, mute}, progress);
  const VerifyReport lacking = VerifyBook({.book = mute, .base_folder = base}, progress);
  ASSERT_EQ(Kinds(lacking), std::vector<std::string>{"the source links a sound the book lacks"})
      << FormatVerifyReport(lacking, true);
  const VerifyFinding& finding = lacking.groups[0].examples.at(0);
  EXPECT_EQ(finding.detail, "us_pron/cafe.wav: base_folder has no WAV file of that name");
  EXPECT_NE(FormatVerifyReport(lacking, false).find("caf"), std::string::npos)
      << FormatVerifyReport(lacking, false);
}

// An upper index page pointing at `children`, each under the key "ZZ", or a leaf of `keys`.
std::string Branch(std::vector<std::uint32_t> children) {
  std::string page(4, '\0');
  page[1] = 2;
  page[2] = 0;
  page[3] = static_cast<char>(children.size());
  for (std::uint32_t child : children) {
    page += "ZZ";
    for (int i = 3; i >= 0; --i) page += static_cast<char>((child >> (8 * i)) & 0xFF);
  }
  page.resize(2048, '\0');
  return page;
}

std::string Leaf(const std::vector<std::string>& keys) {
  std::string page = {'\xE0', '\0', '\0', static_cast<char>(keys.size())};
  for (const std::string& key : keys) {
    page += static_cast<char>(key.size());
    page += key;
    page += std::string("\0\0\0\x02\0\0\0\0\0\x02\0\x04", 12);
  }
  page.resize(2048, '\0');
  return page;
}

TEST(VerifyTest, IndexWalkEndsOnHostilePages) {
  const BookRegion region{0x91, 10, 3};
  auto walk = [&](std::vector<std::string> pages) {
    return ReadIndex(
        region,
        [&](std::uint32_t page) {
          return page >= 10 && page - 10 < pages.size() ? pages[page - 10] : std::string();
        },
        [](const IndexKey&) {});
  };
  // A page that points back at the root: met twice, never followed again.
  IndexContents cycle = walk({Branch({11, 10}), Leaf({"AB"}), Leaf({"CD"})});
  ASSERT_EQ(cycle.faults.size(), 1u);
  EXPECT_EQ(cycle.faults[0].what, "a page of the index is reached twice");
  // A child outside the region, and a count whose entries run past the page.
  EXPECT_EQ(walk({Branch({99})}).faults.at(0).what, "a page of the index points outside the index");
  std::string overfull = Branch({11});
  overfull[2] = '\x7F';
  EXPECT_NE(walk({overfull}).faults.at(0).what.find("do not fit"), std::string::npos);
  // Keys out of order across two leaves: the later page is named.
  IndexContents disorder = walk({Branch({11, 12}), Leaf({"AB", "CD"}), Leaf({"BB"})});
  EXPECT_TRUE(disorder.faults.empty());
  ASSERT_EQ(disorder.disorder.size(), 1u);
  EXPECT_EQ(disorder.disorder[0].page, 12u);
  EXPECT_EQ(disorder.keys, 3u);
}

}  // namespace
}  // namespace tavex::verify
