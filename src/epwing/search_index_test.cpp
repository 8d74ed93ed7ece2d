// The search indexes searched back through libeb, key by key: books whose key sets
// stress the index tree (thousands of equal keys, runs sharing a long prefix, keys of
// the longest length, keys that differ only in their last character, kana and Latin
// mixed), at one, two and three layers of pages. Every distinct key must find every
// entry it belongs to, by an exact search and by a backward search, as a reader types
// it.
#include "epwing/search_index.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "epwing/epwing_book.h"
#include "text/cp932.h"
#include "testing/test_util.h"
#include "verify/libeb_reader.h"

namespace tavex::epwing {
namespace {

using tavex::testing::TempDir;
using tavex::testing::WriteTestFile;
using verify::BookPosition;
using verify::LibebReader;

// One entry of a generated book: its title and its other keys, as a reader types them
// (Latin letters or kana, UTF-8).
struct TestEntry {
  std::string title;
  std::vector<std::string> keys;
};

std::string Utf8ToEuc(const std::string& utf8) {
  const std::string euc = tavex::testing::IconvText(utf8, "EUC-JP", "UTF-8");
  EXPECT_FALSE(euc.empty()) << utf8;
  return euc;
}

// What a reader's query folds a typed key to: letters in one case, katakana as hiragana.
std::string Folded(const std::string& utf8) {
  std::string folded;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      folded += static_cast<char>(std::toupper(b));
    } else if (b == 0xE3 && i + 2 < utf8.size()) {
      // U+30A1…U+30F6 (katakana) lies 0x60 above U+3041…U+3096 (hiragana).
      char32_t c = ((b & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
      if (c >= 0x30A1 && c <= 0x30F6) c -= 0x60;
      folded += static_cast<char>(0xE0 | (c >> 12));
      folded += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      folded += static_cast<char>(0x80 | (c & 0x3F));
      i += 2;
    } else {
      folded += static_cast<char>(b);
    }
  }
  return folded;
}

// Writes the entries as a book source and builds the book in `dir`/epwing.
std::string BuildBook(const TempDir& dir, const std::vector<TestEntry>& entries) {
  const std::string base = dir / "base_folder";
  std::string html = "<html>\r\n<head>\r\n<title>TAVEX</title>\r\n</head>\r\n<body>\r\n<dl>\r\n";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    html += "<dt id=\"" + std::to_string(i + 1) + "\">" + entries[i].title + "</dt>\r\n";
    for (const std::string& key : entries[i].keys) {
      html += "<key title=\"" + key + "\" type=\"前方表記\">" + key + "</key>\r\n";
    }
    html += "<dd><p>\r\nentry " + std::to_string(i + 1) + "<br>\r\n</p></dd>\r\n";
  }
  html += "</dl>\r\n</body>\r\n</html>\r\n";
  WriteTestFile(base + "/html_EPW", ToSjis(html).bytes);
  WriteTestFile(base + "/copyright.html", "<html>\r\n<body>\r\nowner<br>\r\n</body>\r\n</html>\r\n");
  WriteTestFile(base + "/GaijiMap.xml",
                "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiSet>\r\n</gaijiSet>\r\n");
  WriteTestFile(base + "/Gaiji.xml",
                "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiData xml:space=\"preserve\">\r\n"
                "</gaijiData>\r\n");
  WriteTestFile(base + "/TAVEX.map", "# TAVEX unicode\r\n");
  NullProgress progress;
  BuildEpwingBook({.base_folder = base, .out_folder = dir / "epwing"}, progress);
  return dir / "epwing";
}

// The layers of the forward index's tree, counted down its first branch.
int ForwardIndexLayers(LibebReader& reader) {
  const std::string index_page = reader.RawBytes({1, 0}, 2048);
  auto big = [](const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  for (std::size_t at = 16; at + 16 <= index_page.size(); at += 16) {
    if (static_cast<unsigned char>(index_page[at]) != 0x91) continue;
    std::uint32_t page = big(index_page, at + 2, 4);
    for (int layers = 1; layers < 16; ++layers) {
      const std::string bytes = reader.RawBytes({static_cast<int>(page), 0}, 2048);
      if (static_cast<unsigned char>(bytes[0]) & 0x80) return layers;
      page = big(bytes, 4 + static_cast<unsigned char>(bytes[1]), 4);
    }
  }
  return 0;
}

// Searches every distinct key of `entries` whole through libeb and checks that each
// finds every entry it belongs to: an exact search finds exactly those entries, a
// backward search finds them among the entries whose key ends so.
void ExpectEveryKeyFound(const std::vector<TestEntry>& entries, int layers) {
  TempDir dir;
  LibebReader reader(BuildBook(dir, entries));
  EXPECT_EQ(ForwardIndexLayers(reader), layers);

  // Text position → entry; a key points at its entry's text, which may begin a few bytes
  // after the place the walk gives (past the region's opening control).
  std::map<std::int64_t, std::size_t> entry_at;
  std::optional<BookPosition> at = reader.TextStart();
  while (at) {
    entry_at[at->Byte()] = entry_at.size();
    at = reader.NextEntry(*at);
  }
  ASSERT_EQ(entry_at.size(), entries.size());
  auto entry_of = [&](const verify::BookHit& hit) {
    auto it = entry_at.upper_bound(hit.text.Byte());
    return it == entry_at.begin() ? SIZE_MAX : std::prev(it)->second;
  };

  std::map<std::string, std::pair<std::string, std::set<std::size_t>>> owners;  // folded key → typed, entries
  for (std::size_t i = 0; i < entries.size(); ++i) {
    owners[Folded(entries[i].title)] = {entries[i].title, {}};
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    owners[Folded(entries[i].title)].second.insert(i);
    for (const std::string& key : entries[i].keys) {
      auto& owner = owners[Folded(key)];
      owner.first = key;
      owner.second.insert(i);
    }
  }
  int failures = 0;
  for (const auto& [folded, owner] : owners) {
    const auto& [typed, expected] = owner;
    const std::string query = Utf8ToEuc(typed);
    std::set<std::size_t> exact, backward;
    for (const auto& hit : reader.SearchExact(query, expected.size() + 64)) exact.insert(entry_of(hit));
    // Keys that end in the query come after it; the entries of the whole key come first.
    for (const auto& hit : reader.Search(query, true, expected.size() + 64)) {
      backward.insert(entry_of(hit));
    }
    const bool backward_holds =
        std::includes(backward.begin(), backward.end(), expected.begin(), expected.end());
    if ((exact != expected || !backward_holds) && ++failures <= 10) {
      ADD_FAILURE() << "key " << typed << ": " << expected.size() << " entries, exact search found "
                    << exact.size() << ", backward search " << (backward_holds ? "all" : "not all");
    }
  }
  EXPECT_EQ(failures, 0) << "of " << owners.size() << " keys";
}

// A title of five letters a…m for entry `i` (distinct up to 13^5 entries).
std::string ShortTitle(std::size_t i) {
  std::string title(5, 'a');
  for (int p = 4; p >= 0; --p, i /= 13) title[p] = static_cast<char>('a' + i % 13);
  return title;
}

TEST(SearchIndexTest, OneLayerBookFindsEveryKeyAndKana) {
  std::vector<TestEntry> entries = {{"cafe", {"cafes", "CAFE"}},
                                    {"Zebra", {"シマウマ", "しまうま", "zebras"}},
                                    {"ヴェール", {"veil"}},
                                    {"cafe", {}}};
  ExpectEveryKeyFound(entries, 1);
}

// A long run of one key across many pages, whose neighbours extend it: the pages
// above must send "nonkettles" past the pages that end in "nonkettle", at every layer.
TEST(SearchIndexTest, LongRunOfEqualKeysAndItsNeighboursAreFound) {
  std::vector<TestEntry> entries;
  for (std::size_t i = 0; i < 6000; ++i) entries.push_back({ShortTitle(i), {"nonkettle"}});
  for (const char* neighbour :
       {"nonkettles", "nonkettleette", "nonkettleful", "nonkettleade", "nonkettl", "nonkettlf"}) {
    for (int n = 0; n < 3; ++n) entries.push_back({neighbour, {"nonkettle"}});
  }
  entries.push_back({"zz", {}});
  ExpectEveryKeyFound(entries, 3);
}

// Keys of the longest length sharing a long prefix and differing only in their last
// characters, with kana among them: few keys a page, so five layers of pages, and page
// boundaries falling inside every kind of run.
TEST(SearchIndexTest, LongKeysSharingLongPrefixesAreFound) {
  std::vector<TestEntry> entries;
  const std::string prefix(118, 'p');
  for (std::size_t i = 0; i < 1400; ++i) {
    TestEntry entry{ShortTitle(i), {}};
    const std::string tail = ShortTitle(i / 7).substr(1);  // 4 letters, 7 entries each
    entry.keys.push_back(prefix + tail);                   // equal in runs of seven
    entry.keys.push_back(prefix + tail + "abcde");         // 127 characters
    entry.keys.push_back(prefix.substr(0, 60) + tail.substr(0, 3) + static_cast<char>('a' + i % 26));
    if (i % 50 == 0) entry.keys.push_back("マ" + std::string(i / 50 % 3 + 1, 'x') + "シマ");
    entries.push_back(std::move(entry));
  }
  ExpectEveryKeyFound(entries, 5);
}

TEST(SearchIndexTest, TwoLayerBookFindsEveryKey) {
  std::vector<TestEntry> entries;
  for (std::size_t i = 0; i < 700; ++i) {
    entries.push_back(
        {ShortTitle(i), {ShortTitle(i / 3) + "x", ShortTitle(i).substr(0, 4) + "zzzzzzzzzzzz"}});
  }
  ExpectEveryKeyFound(entries, 2);
}

}  // namespace
}  // namespace tavex::epwing
