// Writing the book HTML and the copyright page.
#include "book/book_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "analysis/topic_index.h"
#include "book/entry_block.h"
#include "book/gaiji_table.h"
#include "book/transform.h"
#include "text/error.h"
#include "fs/files.h"
#include "platform/ordered_pool.h"
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
  explicit BookFile(std::string path) : out_(path) { buffer_.reserve(kBufferSize); }
  BookFile(const BookFile&) = delete;
  BookFile& operator=(const BookFile&) = delete;

  // Lines already in the book's form (see AppendBookLine).
  void Write(const std::string& lines) {
    // Many entries are gathered into one write.
    buffer_.append(lines);
    if (buffer_.size() >= kBufferSize) {
      out_.Write(buffer_);
      buffer_.clear();
    }
  }
  void WriteLine(const Sjis& line) {
    std::string text;
    AppendBookLine(text, line);
    Write(text);
  }
  void WriteLine(const char* ascii) { WriteLine(SjisAscii(ascii)); }

  void Commit() {
    out_.Write(buffer_);
    out_.Commit();
  }

 private:
  static constexpr std::size_t kBufferSize = 1 << 20;

  NewFile out_;
  std::string buffer_;  // bytes not yet handed to the file
};

std::int64_t CountEntries(store::Connection& db) {
  store::Statement count = db.Prepare("select count(*) from [fs_skn]");
  count.Step();
  return count.Int(0);
}

// The entries are read in record order, handed to the workers in batches, and written
// in the order they were read. A batch is big enough that handing it over costs little
// against its transformation, small enough that the bar keeps moving.
constexpr std::size_t kBatchEntries = 32;
// Batches in flight per worker: enough that no worker waits for the reader or the writer.
constexpr std::size_t kBatchesPerWorker = 4;

struct EntryRow {
  std::int64_t index = 0;
  std::string xml;
  std::string title;
};

// The book lines of a batch of entries, with the entries that did not parse and those
// that parsed but came out of the transformation without a body.
struct WrittenBatch {
  std::string lines;
  std::size_t entries = 0;
  std::vector<std::int64_t> unparsed;
  std::vector<std::int64_t> bodiless;
};

// Entries counted for one warning: how many, and the first one's index.
struct EntryTally {
  std::int64_t count = 0;
  std::int64_t first = 0;
  void Add(const std::vector<std::int64_t>& indexes) {
    if (indexes.empty()) return;
    if (count == 0) first = indexes.front();
    count += static_cast<std::int64_t>(indexes.size());
  }
};

bool IsBlank(const Sjis& text) { return text.bytes.find_first_not_of(" \t\r\n") == std::string::npos; }

// The lowest index of an entry whose transformation failed, shared by the workers: the
// run stops at the first failure in record order, so no worker starts an entry after it.
class FirstFailure {
 public:
  bool Before(std::int64_t index) const { return index < index_.load(std::memory_order_relaxed); }
  void Note(std::int64_t index) {
    std::int64_t seen = index_.load(std::memory_order_relaxed);
    while (index < seen && !index_.compare_exchange_weak(seen, index, std::memory_order_relaxed)) {
    }
  }

 private:
  std::atomic<std::int64_t> index_{std::numeric_limits<std::int64_t>::max()};
};

// A batch cut short by an earlier failure is never written: the run stops before it.
WrittenBatch TransformBatch(EntryTransformer& transformer, const std::vector<EntryRow>& rows, bool backward_keys,
                            FirstFailure& failure) {
  WrittenBatch batch;
  batch.entries = rows.size();
  for (const EntryRow& row : rows) {
    if (!failure.Before(row.index)) break;
    TransformedEntry entry;
    try {
      entry = transformer.TransformEntry(row.xml, row.title);
    } catch (const Error& error) {
      failure.Note(row.index);
      // The index is what `preview` takes; the headword is what the user knows the entry by.
      if (row.title.empty()) throw Error(fmt::format("entry {}: {}", row.index, error.what()));
      throw Error(fmt::format("entry {} ({}): {}", row.index, row.title, error.what()));
    }
    if (!entry.parsed) {
      batch.unparsed.push_back(row.index);
    } else if (IsBlank(entry.body)) {
      batch.bodiless.push_back(row.index);  // a rule that replaces the document, or text output
    }
    for (const Sjis& line : EntryBlockLines(row.index, entry.title, entry.keywords, entry.body, backward_keys)) {
      AppendBookLine(batch.lines, line);
    }
  }
  return batch;
}

}  // namespace

void AppendBookLine(std::string& out, const Sjis& line) {
  const std::string& bytes = line.bytes;
  if (bytes.find('\n') == std::string::npos) {
    out += bytes;
  } else {
    out += WithCrLf(line).bytes;
  }
  out += "\r\n";
}

std::int64_t OwnerEntryId(std::int64_t last_index) {
  return std::max<std::int64_t>(kOwnerEntryId, last_index + 1);
}

void WriteBookHtml(const BookOptions& options, Progress& progress) {
  const GaijiTable table = LoadGaijiTable(options.database_file);
  store::Connection db(options.database_file);
  const analysis::TopicLookup topics(db);
  const TopicResolver resolve = [&topics](std::string_view id) { return topics.Lookup(id); };
  const bool backward_keys = options.mode.WritesBackwardKeys();

  // One transformer per worker: a stylesheet and an entry document serve one thread at a
  // time. They are loaded here, so a faulty stylesheet is reported before any work starts.
  const std::size_t workers = WorkerCount(options.threads);
  std::vector<std::unique_ptr<EntryTransformer>> transformers;
  for (std::size_t i = 0; i < workers; ++i) {
    transformers.push_back(std::make_unique<EntryTransformer>(options.main_stylesheet, table, resolve, options.mode));
  }

  BookFile book(options.book_html);
  for (const char* line : kHeaderLines) book.WriteLine(line);

  ProgressLoop loop(progress, static_cast<int>(CountEntries(db)), "htmlを書き出し中");
  EntryTally unparsed;
  EntryTally bodiless;
  std::int64_t last_index = -1;
  FirstFailure failure;
  {
    OrderedPool<std::vector<EntryRow>, WrittenBatch> pool(
        workers, [&](std::size_t worker, std::vector<EntryRow>& rows) {
          return TransformBatch(*transformers[worker], rows, backward_keys, failure);
        });
    const auto write_oldest = [&] {
      const WrittenBatch batch = pool.Take();
      book.Write(batch.lines);
      unparsed.Add(batch.unparsed);
      bodiless.Add(batch.bodiless);
      for (std::size_t i = 0; i < batch.entries; ++i) loop.Step();
    };

    store::Statement rows = db.Prepare("SELECT [index],[CONTENT_text],[TEXTTITLE] FROM [fs_skn] order by [index]");
    std::vector<EntryRow> batch;
    const auto submit = [&] {
      if (pool.in_flight() >= workers * kBatchesPerWorker) write_oldest();
      pool.Submit(std::move(batch));
      batch.clear();
    };
    while (rows.Step()) {
      EntryRow& row = batch.emplace_back();
      row.index = rows.Int(0);
      row.xml = rows.Text(1);
      row.title = rows.Text(2);
      last_index = std::max(last_index, row.index);
      if (batch.size() == kBatchEntries) submit();
    }
    if (!batch.empty()) submit();
    while (pool.in_flight() > 0) write_oldest();
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

  if (unparsed.count > 0) {
    progress.Warn(fmt::format("{} {} not parse and {} written without a body: first at index {}",
                              unparsed.count, unparsed.count == 1 ? "entry did" : "entries did",
                              unparsed.count == 1 ? "was" : "were", unparsed.first));
  }
  if (bodiless.count > 0) {
    progress.Warn(
        fmt::format("{} {} no body after the transformation and {} written without one: first at "
                    "index {}; a rule may replace the whole document or ask for text output",
                    bodiless.count, bodiless.count == 1 ? "entry has" : "entries have",
                    bodiless.count == 1 ? "was" : "were", bodiless.first));
  }
}

}  // namespace tavex::book
