// Writing the book HTML and the copyright page.
#include "book/book_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include <fmt/format.h>

#include "analysis/topic_index.h"
#include "book/entry_block.h"
#include "book/gaiji_table.h"
#include "book/transform.h"
#include "platform/error.h"
#include "platform/files.h"
#include "store/database.h"

namespace tavex::book {

namespace {

constexpr const char* kHeaderLines[] = {
    "<html>",
    "<head>",
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">",
    "<meta name=\"GENERATOR\\\" content=\"TAVEX Toolkit Developer 0.0.10beta 2010.10.12\">",
    "<title>TAVEX</title>",
    "</head>",
    "<body>",
    "<dl>",
};
constexpr const char* kFooterLines[] = {"</dl>", "</body>", "</html>"};

// The book file under its temporary name; renamed into place by Commit, removed when
// dropped before that, so an interrupted write never leaves a book that looks whole.
class BookFile {
 public:
  explicit BookFile(std::string path)
      : path_(std::move(path)), temp_path_(path_ + ".tmp"), buffer_(kBufferSize, '\0') {
    // A definition is often longer than the stream's own buffer, which would then be
    // written with a system call of its own; this buffer gathers many entries.
    out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_.open(temp_path_, std::ios::binary | std::ios::trunc);
    if (!out_) Fail();
  }
  ~BookFile() {
    if (!committed_) {
      out_.close();
      std::remove(temp_path_.c_str());
    }
  }
  BookFile(const BookFile&) = delete;
  BookFile& operator=(const BookFile&) = delete;

  void WriteLine(const Sjis& line) {
    const Sjis text = WithCrLf(line);
    out_.write(text.bytes.data(), static_cast<std::streamsize>(text.size()));
    out_.write("\r\n", 2);
    if (!out_) Fail();
  }
  void WriteLine(const char* ascii) { WriteLine(SjisAscii(ascii)); }

  void Commit() {
    out_.close();
    if (out_.fail()) Fail();
    RenamePath(temp_path_, path_);
    committed_ = true;
  }

 private:
  [[noreturn]] void Fail() const { throw Error(fmt::format("cannot write {}: {}", temp_path_, SystemMessage(errno))); }

  static constexpr std::size_t kBufferSize = 1 << 20;

  std::string path_;
  std::string temp_path_;
  std::string buffer_;  // declared before the stream, so it outlives it
  std::ofstream out_;
  bool committed_ = false;
};

std::int64_t CountEntries(store::Connection& db) {
  store::Statement count = db.Prepare("select count(*) from [fs_skn]");
  count.Step();
  return count.Int(0);
}

}  // namespace

std::int64_t OwnerEntryId(std::int64_t last_index) {
  return std::max<std::int64_t>(kOwnerEntryId, last_index + 1);
}

void WriteBookHtml(const BookOptions& options, Progress& progress) {
  const GaijiTable table = LoadGaijiTable(options.database_file);
  store::Connection db(options.database_file);
  const analysis::TopicLookup topics(db);
  EntryTransformer transformer(
      options.main_stylesheet, table, [&topics](std::string_view id) { return topics.Lookup(id); }, options.mode);
  const bool backward_keys = options.mode.WritesBackwardKeys();

  BookFile book(options.book_html);
  for (const char* line : kHeaderLines) book.WriteLine(line);

  ProgressLoop loop(progress, static_cast<int>(CountEntries(db)), "htmlを書き出し中");
  store::Statement rows = db.Prepare("SELECT [index],[CONTENT_text],[TEXTTITLE] FROM [fs_skn] order by [index]");
  std::int64_t unparsed = 0;
  std::int64_t first_unparsed = 0;
  std::int64_t last_index = -1;
  while (rows.Step()) {
    const std::int64_t index = rows.Int(0);
    last_index = std::max(last_index, index);
    TransformedEntry entry;
    try {
      entry = transformer.TransformEntry(rows.Text(1), rows.Text(2));
    } catch (const Error& error) {
      throw Error(fmt::format("entry {}: {}", index, error.what()));
    }
    if (!entry.parsed && unparsed++ == 0) first_unparsed = index;
    for (const Sjis& line : EntryBlockLines(index, entry.title, entry.keywords, entry.body, backward_keys)) {
      book.WriteLine(line);
    }
    loop.Step();
  }

  const Sjis owner_block = BuildOwnerBlock(options.host ? *options.host : CurrentHostTexts(), options.notice,
                                           options.now ? *options.now : std::chrono::system_clock::now());
  book.WriteLine(Sjis(fmt::format("<dt id=\"{}\">copyright_info</dt>", OwnerEntryId(last_index))));
  for (const Sjis& line : KeyLines({SjisAscii("owner_info"), SjisAscii("copyright_info")}, backward_keys)) {
    book.WriteLine(line);
  }
  book.WriteLine("<dd><p>");
  book.WriteLine(owner_block);
  book.WriteLine("</p></dd>");
  WriteCopyrightPage(options.copyright_page, owner_block);
  for (const char* line : kFooterLines) book.WriteLine(line);
  book.Commit();

  if (unparsed > 0) {
    progress.Warn(fmt::format("{} {} not parse and {} written without a body: first at index {}", unparsed,
                              unparsed == 1 ? "entry did" : "entries did", unparsed == 1 ? "was" : "were",
                              first_unparsed));
  }
}

}  // namespace tavex::book
