#include "bundle/extract.h"

#include <zlib.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "text/error.h"
#include "fs/files.h"
#include "store/database.h"
#include "testing/test_util.h"

namespace tavex::bundle {
namespace {

using testing::WriteTestFile;

std::string Le(std::uint32_t value, int width) {
  std::string bytes;
  for (int k = 0; k < width; ++k) bytes += static_cast<char>((value >> (8 * k)) & 0xFF);
  return bytes;
}

std::string Compress(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
  out.resize(size);
  return out;
}

// An MP3-like recording: a frame header, zero bytes and every byte value.
std::string Recording() {
  std::string bytes = "\xFF\xFB\x90\x64";
  bytes += std::string(5, '\0');
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

constexpr const char* kConfig =
    "[DAT]\nPATH = index.dat\n"
    "$TEXTTITLE = DATA\n$TEXTTITLE,OFFSET = ULONG\n"
    "$CONTENT = DATA\n$CONTENT,OFFSET = ULONG\n"
    "$FLAGS = UBYTE\nEND = 0\n\n"
    "[$TEXTTITLE]\nPATH = Title.dat\n\n"
    "[$CONTENT]\nPATH = CONTENT.DAT\nCATALOG = catalog.dat\n\n";

// A bundle "fs.skn" in a temporary source folder, with a title, a content and a small
// integer field per record, and an empty working database beside it.
struct Fixture {
  testing::TempDir dir;
  testing::RecordingProgress progress;
  std::vector<std::string> titles, contents;
  std::string files = dir / "src/fs.skn/files.skn";
  ExtractOptions options{dir / "src", dir / "work/unzip", dir / "work/db"};

  Fixture() {
    titles = {"alpha", "b\xC3\xA9ta", "gamma"};
    contents = {"<entry id=\"a\">a</entry>", Recording(), "<entry id=\"c\">\xC3\xA9</entry>"};
  }
  // Writes the files; `index_offsets` overrides the content offsets.
  void Write(std::vector<std::uint32_t> content_offsets = {}) {
    std::string title_data, unpacked, packed, catalogue, index;
    for (std::size_t i = 0; i < titles.size(); ++i) {
      const std::string stream = Compress(contents[i]);
      catalogue += Le(contents[i].size(), 4) + Le(stream.size(), 4);
      const std::uint32_t offset = content_offsets.empty() ? unpacked.size() : content_offsets[i];
      index += Le(title_data.size(), 4) + Le(offset, 4) + Le(i + 7, 1);
      title_data += titles[i];
      unpacked += contents[i];
      packed += stream;
    }
    WriteTestFile(files + "/config.cft", kConfig);
    WriteTestFile(files + "/title.dat", title_data);
    WriteTestFile(files + "/content.dat", packed);
    WriteTestFile(files + "/catalog.dat", catalogue);
    WriteTestFile(files + "/index.dat", index);
    CreateFolders(dir / "work");
    store::CreateDatabase(options.database_file);
  }
  std::int64_t Extract() { return ExtractBundle(options, "fs.skn", progress); }
  bool HasTable() { return store::TableExists(options.database_file, "fs_skn"); }
  std::string ErrorOf() {
    try {
      Extract();
    } catch (const Error& error) {
      return error.what();
    }
    return "no error";
  }
};

struct Row {
  std::int64_t index, flags;
  std::string title, text, blob;
  bool text_null, blob_null;
};

std::vector<Row> Rows(const std::string& db_path) {
  store::Connection db(db_path);
  auto query = db.Prepare("SELECT [index], TEXTTITLE, CONTENT, CONTENT_text, FLAGS FROM fs_skn ORDER BY [index]");
  std::vector<Row> rows;
  while (query.Step()) {
    rows.push_back({query.Int(0), query.Int(4), query.Text(1), query.Text(3), query.Blob(2), query.IsNull(3),
                    query.IsNull(2)});
  }
  return rows;
}

TEST(ExtractTest, EntriesBecomeTextAndRecordingsStayBytes) {
  Fixture f;
  f.Write();
  EXPECT_EQ(f.Extract(), 3);
  const auto rows = Rows(f.options.database_file);
  ASSERT_EQ(rows.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].index, static_cast<std::int64_t>(i));
    EXPECT_EQ(rows[i].title, f.titles[i]);  // the last one runs to the end of its file
    EXPECT_EQ(rows[i].flags, static_cast<std::int64_t>(i + 7));
  }
  EXPECT_EQ(rows[0].text, f.contents[0]);
  EXPECT_TRUE(rows[0].blob_null);
  EXPECT_EQ(rows[1].blob, f.contents[1]);  // the second stream starts after the first
  EXPECT_TRUE(rows[1].text_null);
  EXPECT_EQ(rows[2].text, f.contents[2]);

  EXPECT_EQ(ReadFile(f.options.unzip_folder + "/fs.skn.dat"), f.contents[0] + f.contents[1] + f.contents[2]);
  EXPECT_FALSE(FileExists(f.options.unzip_folder + "/fs.skn.dat.tmp"));
  const std::vector<std::string> statuses = {"[CONTENT.DAT unzipping] 1/3", "[CONTENT.DAT unzipping] 2/3",
                                             "[CONTENT.DAT unzipping] 3/3", "[fs.skn抽出中] 1/3",
                                             "[fs.skn抽出中] 2/3", "[fs.skn抽出中] 3/3"};
  EXPECT_EQ(f.progress.statuses, statuses);
  EXPECT_TRUE(f.progress.warnings.empty());
}

TEST(ExtractTest, BytesThatAreNotUtf8AreReplacedWhereverTheyStand) {
  Fixture f;
  // Long ASCII runs around the faults, a stray continuation byte, a cut sequence and
  // valid two- and four-byte characters.
  f.titles = {"abcdefghijklmnop\xFFqrstuvwxyz0123\xC3\xA9", "\x80", "0123456789abcdef\xE2\x82 \xF0\x9F\x98\x80"};
  f.Write();
  f.Extract();
  const auto rows = Rows(f.options.database_file);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].title, "abcdefghijklmnop\xEF\xBF\xBDqrstuvwxyz0123\xC3\xA9");
  EXPECT_EQ(rows[1].title, "\xEF\xBF\xBD");
  EXPECT_EQ(rows[2].title, "0123456789abcdef\xEF\xBF\xBD\xEF\xBF\xBD \xF0\x9F\x98\x80");
  ASSERT_EQ(f.progress.warnings.size(), 1u);
  EXPECT_NE(f.progress.warnings[0].find("3 records hold bytes in TEXTTITLE"), std::string::npos);
}

TEST(ExtractTest, EqualOffsetsLeaveTheFirstRecordEmpty) {
  Fixture f;
  f.contents = {"<a/>", "<b/>", "<c/>"};
  f.Write({0, 0, 8});  // record 0 gets nothing, record 1 bytes 0..8
  f.Extract();
  const auto rows = Rows(f.options.database_file);
  EXPECT_TRUE(rows[0].text_null && rows[0].blob_null);
  EXPECT_EQ(rows[1].text, "<a/><b/>");
  EXPECT_EQ(rows[2].text, "<c/>");
}

TEST(ExtractTest, UnpackedContentIsReusedWithoutContentOrCatalogue) {
  Fixture f;
  f.Write();
  f.Extract();
  std::remove((f.files + "/content.dat").c_str());
  std::remove((f.files + "/catalog.dat").c_str());
  f.options.database_file = f.dir / "work/db2";
  store::CreateDatabase(f.options.database_file);
  f.progress.statuses.clear();
  EXPECT_EQ(f.Extract(), 3);
  EXPECT_EQ(Rows(f.options.database_file)[1].blob, f.contents[1]);
  EXPECT_EQ(f.progress.statuses.front(), "[fs.skn抽出中] 1/3");
}

TEST(ExtractTest, HundredRecordsOfSixBytesAndTrailingBytesWarned) {
  testing::TempDir dir;
  testing::RecordingProgress progress;
  const std::string files = dir / "src/x.skn/files.skn";
  WriteTestFile(files + "/config.cft",
                "[DAT]\nPATH = i.dat\n$A = USHORT\n$B = DATA\n$B,OFFSET = ULONG\n$C = UBYTE\n\n"
                "[$B]\nPATH = b.dat\n\n");
  std::string index, data;
  for (std::uint32_t i = 0; i < 100; ++i) {
    index += Le(1000 + i, 2) + Le(i, 4);
    data += static_cast<char>('a' + i % 26);
  }
  WriteTestFile(files + "/i.dat", index + "xyz");
  WriteTestFile(files + "/b.dat", data + "\xFF");
  store::CreateDatabase(dir / "db");
  EXPECT_EQ(ExtractBundle({dir / "src", dir / "unzip", dir / "db"}, "x.skn", progress), 100);

  store::Connection db(dir / "db");
  auto query = db.Prepare("SELECT [index], A, B FROM x_skn ORDER BY [index]");
  for (std::int64_t i = 0; i < 100; ++i) {
    ASSERT_TRUE(query.Step());
    EXPECT_EQ(query.Int(0), i);
    EXPECT_EQ(query.Int(1), 1000 + i);
    EXPECT_EQ(query.Text(2), i < 99 ? std::string(1, static_cast<char>('a' + i % 26)) : "v\xEF\xBF\xBD");
  }
  EXPECT_FALSE(query.Step());
  ASSERT_EQ(progress.warnings.size(), 2u);
  EXPECT_NE(progress.warnings[0].find(files + "/i.dat ends in 3 bytes"), std::string::npos);
  EXPECT_NE(progress.warnings[1].find("1 records hold bytes in B that are not UTF-8"), std::string::npos);
}

TEST(ExtractTest, ReadUIntIsLittleEndianOfItsWidth) {
  const std::string bytes = "\x01\x02\x03\x04\x05";
  std::size_t pos = 0;
  EXPECT_EQ(ReadUInt(bytes, pos, 3), 0x030201u);
  EXPECT_EQ(ReadUInt(bytes, pos, 5), 0u);
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(ReadUInt(bytes, pos, 2), 0x0504u);
  EXPECT_THROW(ReadUInt(bytes, pos, 1), Error);
}

TEST(ExtractTest, ColumnListFollowsTheFieldList) {
  BundleConfig config;
  config.fields = {{"$TEXTTITLE", "DATA", 4, "ULONG", "", {}},
                   {"PAGESIZE", "4096", 0, "0", "", {}},
                   {"$N", "", 2, "USHORT", "", {}},
                   {"$CONTENT", "DATA", 4, "ULONG", "", {}}};
  EXPECT_EQ(BundleColumnList(config),
            "[TEXTTITLE] varchar(255),  [N] int,  [CONTENT] longbinary, [CONTENT_text] longtext,");
  config.fields.erase(config.fields.begin() + 2);
  config.fields.erase(config.fields.begin(), config.fields.begin() + 2);
  config.fields[0].name = "CONTENT";
  EXPECT_EQ(BundleColumnList(config), "");
}

// Bad discs: each gives an error naming the bundle, the file and the record, and leaves
// neither a table nor an unpacked content file behind.
// The configuration with another PATH for the title file.
std::string ConfigWithTitlePath(const std::string& path) {
  std::string config = kConfig;
  const std::string title = "PATH = Title.dat";
  return config.replace(config.find(title), title.size(), "PATH = " + path);
}

// A file of `size` bytes that takes no room on the disk.
void WriteSparse(const std::string& path, off_t size) {
  WriteTestFile(path, "");
  ASSERT_EQ(::truncate(path.c_str(), size), 0) << path;
}

TEST(ExtractTest, BadInputIsReportedAndLeavesNothingBehind) {
  struct Case {
    const char* name;
    std::function<void(Fixture&)> spoil;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"no config", [](Fixture& f) { std::remove((f.files + "/config.cft").c_str()); }, {"no configuration file"}},
      {"no DAT", [](Fixture& f) { WriteTestFile(f.files + "/config.cft", "[X]\nPATH = x\n\n"); },
       {"declares no record fields"}},
      {"no content", [](Fixture& f) { std::remove((f.files + "/content.dat").c_str()); },
       {"content file", "CONTENT.DAT not found"}},
      {"no catalogue", [](Fixture& f) { std::remove((f.files + "/catalog.dat").c_str()); },
       {"catalogue file", "catalog.dat not found"}},
      {"corrupt stream",
       [](Fixture& f) {
         std::string packed = ReadFile(f.files + "/content.dat");
         const std::size_t second = Compress(f.contents[0]).size();
         packed[second] = '\x55';  // the second stream's header
         packed[second + 1] = '\x55';
         WriteTestFile(f.files + "/content.dat", packed);
       },
       {"record 1 of content file", "content.dat is not a valid zlib stream"}},
      {"4 GiB record",
       [](Fixture& f) { WriteTestFile(f.files + "/catalog.dat", Le(0xFFFFFFFF, 4) + Le(40, 4)); },
       {"catalog.dat declares 4294967295 unpacked bytes for record 0"}},
      {"descending offsets", [](Fixture& f) { f.Write({0, 30, 20}); }, {"record 1: the offsets into", "descend"}},
      {"offset past the end", [](Fixture& f) { f.Write({0, 20, 9999}); },
       {"record 1 points past the end of", "fs.skn.dat"}},
      {"no title file", [](Fixture& f) { std::remove((f.files + "/title.dat").c_str()); }, {"Title.dat"}},
      {"no database", [](Fixture& f) { std::remove(f.options.database_file.c_str()); }, {"work/db"}},
      // A disc can come from anywhere: its paths stay inside the bundle, its sizes are
      // bounded before anything is read.
      {"path up and out",
       [](Fixture& f) { WriteTestFile(f.files + "/config.cft", ConfigWithTitlePath("../../../../etc/passwd")); },
       {"PATH of [$TEXTTITLE] in ", "config.cft is \"../../../../etc/passwd\", which has a \"..\" part"}},
      {"path up and out with backslashes",
       [](Fixture& f) { WriteTestFile(f.files + "/config.cft", ConfigWithTitlePath("sub\\..\\..\\x.dat")); },
       {"PATH of [$TEXTTITLE]", "\"..\" part"}},
      {"link out of the bundle",
       [](Fixture& f) {
         WriteTestFile(f.dir / "outside.dat", ReadFile(f.files + "/title.dat"));
         std::remove((f.files + "/title.dat").c_str());
         ASSERT_EQ(::symlink((f.dir / "outside.dat").c_str(), (f.files + "/title.dat").c_str()), 0);
       },
       {"PATH of [$TEXTTITLE]", "outside.dat outside the bundle"}},
      {"huge title file", [](Fixture& f) { WriteSparse(f.files + "/title.dat", 300 << 20); },
       {"data file", "title.dat has 314572800 bytes, more than the 256 MiB"}},
      {"huge configuration", [](Fixture& f) { WriteSparse(f.files + "/config.cft", 2 << 20); },
       {"configuration file", "config.cft has 2097152 bytes"}},
      {"huge catalogue", [](Fixture& f) { WriteSparse(f.files + "/catalog.dat", 65 << 20); },
       {"catalogue file", "catalog.dat has 68157440 bytes, more than the 64 MiB"}},
      {"huge index", [](Fixture& f) { WriteSparse(f.files + "/index.dat", 65 << 20); },
       {"index file", "index.dat has 68157440 bytes"}},
      {"title file is a FIFO",
       [](Fixture& f) {
         std::remove((f.files + "/title.dat").c_str());
         ASSERT_EQ(::mkfifo((f.files + "/title.dat").c_str(), 0644), 0);
       },
       {"title.dat: not a regular file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.Write();
    c.spoil(f);
    const std::string message = f.ErrorOf();
    if (std::getenv("TAVEX_SHOW_ERRORS") != nullptr) std::printf("%s\n", message.c_str());
    EXPECT_EQ(message.rfind("bundle fs.skn: ", 0), 0u) << message;
    for (const std::string& part : c.expected) EXPECT_NE(message.find(part), std::string::npos) << message;
    if (FileExists(f.options.database_file)) {
      EXPECT_FALSE(f.HasTable());
    }
    EXPECT_FALSE(FileExists(f.options.unzip_folder + "/fs.skn.dat.tmp"));
    if (c.name == std::string("corrupt stream") || c.name == std::string("4 GiB record")) {
      EXPECT_FALSE(FileExists(f.options.unzip_folder + "/fs.skn.dat"));
    }
  }
}

TEST(ExtractTest, SecondExtractionIntoAFilledTableIsRefused) {
  Fixture f;
  f.Write();
  f.Extract();
  const std::string message = f.ErrorOf();
  EXPECT_EQ(message.rfind("table fs_skn already holds rows: ", 0), 0u) << message;
  EXPECT_EQ(Rows(f.options.database_file).size(), 3u);
}

}  // namespace
}  // namespace tavex::bundle
