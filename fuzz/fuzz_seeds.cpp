// Writes the seed corpora of the fuzz targets from the sample disc, so that no binary
// seeds need to be kept in the tree: fuzz_seeds OUTPUT_FOLDER makes one folder per
// target (bundle_config, bundle_extract, mp3_profile, exchange_import, entry_walk,
// transform_entry, epwing_book, gaiji_font, gaiji_map, base_folder).
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "book_source_files.h"
#include "fuzz_support.h"
#include "fs/files.h"
#include "sample/sample_audio.h"
#include "sample/sample_disc.h"
#include "sample/sample_entries.h"
#include "sample/sample_rules.h"
#include "sample/sample_words.h"

namespace {

using tavex::JoinPath;

void Seed(const std::string& folder, const std::string& name, const std::string& bytes) {
  tavex::CreateFolders(folder);
  tavex::WriteFileAtomic(JoinPath(folder, name), bytes);
}

// The bundle files of a small sample disc in the order the extraction target splits them.
void BundleSeeds(const std::string& out, const std::string& scratch) {
  for (int entries : {1, 3, 8}) {
    const std::string disc = JoinPath(scratch, "disc" + std::to_string(entries));
    tavex::sample::WriteSampleDisc(disc, {.entries = entries, .recordings = entries, .seed = 7});
    const std::string files = disc + "/tavex.data/fs.skn/files.skn/";
    Seed(JoinPath(out, "bundle_extract"), "fs" + std::to_string(entries),
         tavex::fuzz::JoinParts({tavex::ReadFile(files + "fs.idx"), tavex::ReadFile(files + "FS.CAT"),
                                 tavex::ReadFile(files + "fs.dat"), tavex::ReadFile(files + "fs.ttl")}));
    if (entries != 1) continue;
    for (const char* bundle : {"fs.skn", "us_pron.skn", "uk_pron.skn"}) {
      Seed(JoinPath(out, "bundle_config"), bundle,
           tavex::ReadFile(disc + "/tavex.data/" + bundle + "/files.skn/config.cft"));
    }
  }
}

void RecordingSeeds(const std::string& out) {
  for (int i = 0; i < 12; ++i) {
    tavex::sample::Mp3Format format = tavex::sample::SampleMp3Format(i, 3);
    format.frames = 2;
    Seed(JoinPath(out, "mp3_profile"), "rec" + std::to_string(i), tavex::sample::MakeMp3(format, "word"));
  }
}

void ExchangeSeeds(const std::string& out) {
  const std::string folder = JoinPath(out, "exchange_import");
  Seed(folder, "xsl", std::string(1, '\0') + tavex::sample::SampleRulesXml());
  Seed(folder, "char",
       "\x01<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<root><chars><index>1</index><ws>a</ws>"
       "<ws_code>97</ws_code><ws_hex>0061</ws_hex><utf8_hex>61</utf8_hex><total_count>3</total_count>"
       "<first_index>0</first_index><char_ref>0</char_ref></chars><chars><ws_code>233</ws_code>"
       "<char_ref>1</char_ref></chars></root>\n");
  Seed(folder, "alt",
       "\x02<?xml version=\"1.0\"?>\n<root><record><index>1</index><uni>00E9</uni><alt>e</alt></record>"
       "<group><record><uni>0259</uni><alt>@</alt></record></group></root>\n");
}

void EntrySeeds(const std::string& out) {
  const int count = 50;  // reaches the broken records of the first block
  const auto headwords = tavex::sample::MakeHeadwords(count, 5);
  const tavex::sample::SampleEntryMaker maker(headwords, count / 2, 5);
  for (int i = 0; i < count; ++i) {
    const tavex::sample::SampleEntry entry = maker.Make(i);
    Seed(JoinPath(out, "entry_walk"), "entry" + std::to_string(i), entry.content);
    // The title's first byte chooses the operating mode.
    Seed(JoinPath(out, "transform_entry"), "entry" + std::to_string(i),
         tavex::fuzz::JoinParts(
             {std::string(1, static_cast<char>('0' + i % 3)) + entry.title, entry.content}));
  }
}

// A small book source in code page 932 with each kind of markup, and a recording.
void EpwingSeeds(const std::string& out) {
  const std::string html =
      "<html>\r\n<body>\r\n<dl>\r\n<dt id=\"1\">caf&#x00E9;</dt>\r\n"
      "<key title=\"cafe\" type=\"x\">\x82\x62\x82\x60\x82\x65\x82\x64</key>\r\n<dd><p>\r\n"
      "<b>caf&#x00E9;</b> <a href=\"us_pron/a.wav\">US</a><br><i>n <b>b</b></i><p><indent val=\"2\"></indent>"
      "H<sub>2</sub>O<sup>3</sup> &amp; \x8a\xbf \x87\x40 <a href=\"#2\">z</a> <a href=\"#9\">g</a> "
      "<span>s</span>"
      " &#x0259;<br>\r\n</p></dd>\r\n<dt id=\"2\">zebra</dt>\r\n<dd><p>\r\nstripes<br>\r\n</p></dd>\r\n"
      "</dl>\r\n</body>\r\n</html>\r\n";
  std::string wav = "RIFF";
  const std::string pcm(64, '\x80');
  auto le = [](std::uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
  };
  wav += le(36 + pcm.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) + le(8000, 4) +
         le(1, 2) + le(8, 2) + "data" + le(pcm.size(), 4) + pcm;
  Seed(JoinPath(out, "epwing_book"), "book", tavex::fuzz::JoinParts({html, wav}));
}

// The small book source's gaiji files, and a font with the wide set given twice.
void BookSourceSeeds(const std::string& out) {
  const std::string font = tavex::fuzz::SmallGaijiFont();
  std::string twice = font;
  twice.insert(twice.find("</gaijiData>"),
               "<fontSet size=\"16X16\" start=\"FE21\">\r\n<fontData ebcode=\"FE21\" "
               "unicode=\"00E0\">" +
                   tavex::fuzz::GlyphRows(16) + "</fontData>\r\n</fontSet>\r\n");
  Seed(JoinPath(out, "gaiji_font"), "font", font);
  Seed(JoinPath(out, "gaiji_font"), "twice", twice);
  Seed(JoinPath(out, "gaiji_map"), "map", tavex::fuzz::SmallGaijiMap());
  Seed(JoinPath(out, "base_folder"), "small",
       tavex::fuzz::JoinParts({tavex::fuzz::SmallBookHtml(), font, tavex::fuzz::SmallGaijiMap()}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds OUTPUT_FOLDER\n");
    return 2;
  }
  try {
    const std::string out = argv[1];
    BundleSeeds(out, tavex::fuzz::ScratchFolder());
    RecordingSeeds(out);
    ExchangeSeeds(out);
    EntrySeeds(out);
    EpwingSeeds(out);
    BookSourceSeeds(out);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
