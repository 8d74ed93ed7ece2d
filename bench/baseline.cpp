// Baselines for the benchmark: the unavoidable library work of the conversion's main
// steps, done as directly as the libraries allow, so that the steps' times can be read
// as ratios that hold on a busy machine.
//   (a) inflate every record of the entry bundle and insert it into an empty table,
//       in one transaction;
//   (b) parse every entry once;
//   (c) parse every entry and transform it with the main stylesheet, serialised to a string.
// Usage: tavex_baseline DISC WORKSPACE [--repeat N]
// DISC is the sample disc's root, WORKSPACE a workspace in which a create run in
// operating mode 1 has left working_folder/ (its database and epwing_dic.xsl).
// Prints one line per baseline: "baseline <a|b|c> <seconds> s <entries> entries cpu
// <seconds> s" (wall time, then processor time); with --repeat the best of N runs.
#include <libxml/parser.h>
#include <libxml/xpathInternals.h>
#include <libxslt/extensions.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "tavex_baseline: %s\n", message.c_str());
  std::exit(1);
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Die("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The file named `name` in `folder`, whatever the letter case of either.
fs::path FindFile(const fs::path& folder, const std::string& name) {
  if (!fs::is_directory(folder)) Die("no folder " + folder.string());
  for (const auto& item : fs::directory_iterator(folder)) {
    if (Lower(item.path().filename().string()) == Lower(name)) return item.path();
  }
  Die("no " + name + " in " + folder.string());
}

// The entry bundle's files folder on the disc (the root or its tavex.data folder).
fs::path EntryBundleFiles(const fs::path& disc) {
  fs::path data = fs::is_directory(disc / "tavex.data") ? disc / "tavex.data" : disc;
  return FindFile(FindFile(data, "fs.skn"), "files.skn");
}

std::uint32_t Le32(const std::string& bytes, std::size_t pos) {
  std::uint32_t value = 0;
  for (int k = 0; k < 4; ++k) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[pos + k])) << (8 * k);
  return value;
}

void Check(int code, sqlite3* db, const char* what) {
  if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW) Die(std::string(what) + ": " + sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const char* sql) { Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql); }

// (a) Inflates every record of the content file and inserts it into a new table of a new
// database in `scratch`, in one transaction. Returns the number of records.
std::size_t InflateAndInsert(const fs::path& disc, const fs::path& scratch) {
  const fs::path files = EntryBundleFiles(disc);
  const std::string catalogue = ReadWhole(FindFile(files, "fs.cat"));
  const std::string content = ReadWhole(FindFile(files, "fs.dat"));
  const fs::path db_path = scratch / "baseline.db";
  fs::remove(db_path);
  sqlite3* db = nullptr;
  if (sqlite3_open(db_path.c_str(), &db) != SQLITE_OK) Die("cannot open " + db_path.string());
  Exec(db, "PRAGMA synchronous=NORMAL;");
  Exec(db, "CREATE TABLE [fs_skn]([index] int NOT NULL, [CONTENT_text] longtext, PRIMARY KEY ([index]));");
  Exec(db, "BEGIN;");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO [fs_skn]([index],[CONTENT_text]) VALUES(?,?)", -1, &insert, nullptr), db,
        "prepare");
  const std::size_t count = catalogue.size() / 8;
  std::string unpacked;
  std::size_t offset = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint32_t unpacked_size = Le32(catalogue, k * 8);
    const std::uint32_t packed_size = Le32(catalogue, k * 8 + 4);
    if (offset + packed_size > content.size()) Die("record past the end of the content file");
    unpacked.resize(unpacked_size);
    uLongf length = unpacked_size;
    const int code = uncompress(reinterpret_cast<Bytef*>(unpacked.data()), &length,
                                reinterpret_cast<const Bytef*>(content.data() + offset), packed_size);
    if (code != Z_OK && code != Z_BUF_ERROR) Die("record " + std::to_string(k) + " does not inflate");
    offset += packed_size;
    sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(k));
    sqlite3_bind_text(insert, 2, unpacked.data(), static_cast<int>(length), SQLITE_STATIC);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT;");
  sqlite3_close(db);
  fs::remove(db_path);
  return count;
}

// Every entry's XML from the working database, in record order, kept in one buffer so
// that the timed loops work on a heap as clean as a streaming reader's.
struct Entries {
  std::string bytes;
  std::vector<std::pair<std::size_t, std::size_t>> spans;  // offset and length of each entry
  std::size_t size() const { return spans.size(); }
  std::string_view operator[](std::size_t k) const { return std::string_view(bytes).substr(spans[k].first, spans[k].second); }
};

Entries LoadEntries(const fs::path& database) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    Die("cannot open " + database.string());
  }
  sqlite3_stmt* rows = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT [CONTENT_text] FROM [fs_skn] ORDER BY [index]", -1, &rows, nullptr), db,
        "select");
  Entries entries;
  while (sqlite3_step(rows) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, 0));
    const auto length = static_cast<std::size_t>(sqlite3_column_bytes(rows, 0));
    entries.spans.emplace_back(entries.bytes.size(), length);
    if (text != nullptr) entries.bytes.append(text, length);
  }
  sqlite3_finalize(rows);
  sqlite3_close(db);
  return entries;
}

void Silent(void*, const char*, ...) {}
void SilentStructured(void*, xmlError*) {}

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR;

// (b) Parses every entry once.
std::size_t ParseAll(const Entries& entries) {
  std::size_t parsed = 0;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const std::string_view text = entries[k];
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kParseOptions);
    if (doc != nullptr) ++parsed;
    xmlFreeDoc(doc);
  }
  return parsed;
}

// The stylesheet's one extension function, as cheap as it can be: the second argument
// followed by the first.
void Mp3Wav(xmlXPathParserContext* ctxt, int nargs) {
  if (nargs != 2) {
    xmlXPathSetArityError(ctxt);
    return;
  }
  xmlChar* resource = xmlXPathPopString(ctxt);
  xmlChar* topic = xmlXPathPopString(ctxt);
  std::string result = std::string(resource ? reinterpret_cast<char*>(resource) : "") + "/" +
                       (topic ? reinterpret_cast<char*>(topic) : "") + ".wav";
  xmlFree(resource);
  xmlFree(topic);
  valuePush(ctxt, xmlXPathNewString(reinterpret_cast<const xmlChar*>(result.c_str())));
}

// (c) Parses and transforms every entry, serialising each result to a string.
std::size_t TransformAll(const Entries& entries, xsltStylesheet* style) {
  std::size_t total_bytes = 0;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const std::string_view text = entries[k];
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kParseOptions);
    if (doc == nullptr) continue;
    xmlDoc* result = xsltApplyStylesheet(style, doc, nullptr);
    if (result != nullptr) {
      xmlChar* out = nullptr;
      int length = 0;
      xsltSaveResultToString(&out, &length, result, style);
      total_bytes += static_cast<std::size_t>(length);
      xmlFree(out);
      xmlFreeDoc(result);
    }
    xmlFreeDoc(doc);
  }
  return total_bytes;
}

// Wall and processor time of one run, in seconds.
struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
};

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The best wall time (and the processor time of that run) of `repeat` runs of `work`.
Timing Best(int repeat, const std::function<void()>& work) {
  Timing best;
  for (int k = 0; k < repeat; ++k) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = CpuSeconds();
    work();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (wall < best.wall) best = {wall, CpuSeconds() - cpu_start};
  }
  return best;
}

void Print(char name, const Timing& timing, std::size_t entries) {
  std::printf("baseline %c %.3f s %zu entries cpu %.3f s\n", name, timing.wall, entries, timing.cpu);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Die("usage: tavex_baseline DISC WORKSPACE [--repeat N]");
  const fs::path disc = argv[1];
  const fs::path workspace = argv[2];
  int repeat = 1;
  if (argc >= 5 && std::strcmp(argv[3], "--repeat") == 0) repeat = std::max(1, std::atoi(argv[4]));
  const fs::path working = workspace / "working_folder";

  xmlInitParser();
  xmlSetGenericErrorFunc(nullptr, Silent);
  xmlSetStructuredErrorFunc(nullptr, SilentStructured);
  xsltSetGenericErrorFunc(nullptr, Silent);
  xsltRegisterExtModuleFunction(reinterpret_cast<const xmlChar*>("mp3_wav"),
                                reinterpret_cast<const xmlChar*>("urn:user-scripts"), Mp3Wav);

  std::size_t records = 0;
  const Timing a = Best(repeat, [&] { records = InflateAndInsert(disc, working); });
  Print('a', a, records);

  const Entries entries = LoadEntries(working / "TAVEX_data");
  Print('b', Best(repeat, [&] { ParseAll(entries); }), entries.size());

  const fs::path stylesheet = working / "epwing_dic.xsl";
  xsltStylesheet* style = xsltParseStylesheetFile(reinterpret_cast<const xmlChar*>(stylesheet.c_str()));
  if (style == nullptr) Die("cannot compile " + stylesheet.string());
  // The conversion serialises without indenting, as the book needs; so does the baseline.
  if (style->indent == -1) style->indent = 0;
  Print('c', Best(repeat, [&] { TransformAll(entries, style); }), entries.size());
  xsltFreeStylesheet(style);
  return 0;
}
