// A line reader over the book HTML with errors that name the file and line.
#include "epwing/book_source.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/error.h"
#include "platform/files.h"

namespace tavex::epwing {
namespace {

// No line of a book is this long; a longer one is damage, not text.
constexpr std::size_t kMaxLineBytes = 64 << 20;
constexpr std::size_t kIoBufferBytes = 1 << 20;

class LineReader {
 public:
  explicit LineReader(const std::string& path) : path_(path) {
    if (!FileExists(path)) throw Error(fmt::format("missing book source file {}", path));
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
      const int err = errno;
      throw Error(fmt::format("cannot read {}: {}", path, SystemMessage(err)));
    }
    // stdio ignores the size asked for without a buffer of our own; large reads halve
    // the system time of a big book.
    std::setvbuf(file_, io_buffer_.get(), _IOFBF, kIoBufferBytes);
  }
  ~LineReader() {
    std::free(buffer_);
    std::fclose(file_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its CR LF; false at the end of the file.
  bool Next(std::string& line) {
    errno = 0;
    const ssize_t length = getline(&buffer_, &capacity_, file_);
    if (length < 0) {
      if (std::ferror(file_)) {
        const int err = errno;
        throw Error(fmt::format("cannot read {}: {}", path_, SystemMessage(err)));
      }
      line.clear();
      return false;
    }
    ++number_;
    if (static_cast<std::size_t>(length) > kMaxLineBytes) Fail("line too long");
    std::size_t size = static_cast<std::size_t>(length);
    if (size > 0 && buffer_[size - 1] == '\n') --size;
    if (size > 0 && buffer_[size - 1] == '\r') --size;
    line.assign(buffer_, size);
    return true;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw Error(fmt::format("incomplete book source {}: {} at line {}", path_, what, number_));
  }

 private:
  std::string path_;
  std::unique_ptr<char[]> io_buffer_ = std::make_unique<char[]>(kIoBufferBytes);  // outlives file_
  std::FILE* file_ = nullptr;
  std::size_t number_ = 0;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
};

bool StartsWith(const std::string& line, std::string_view prefix) { return line.starts_with(prefix); }

// The id of a "<dt id="N">" line and the title after it.
bool ParseHeading(const std::string& line, std::string& id, std::string& title) {
  static constexpr std::string_view kOpen = "<dt id=\"";
  if (!StartsWith(line, kOpen)) return false;
  const std::size_t quote = line.find('"', kOpen.size());
  if (quote == std::string::npos || quote + 1 >= line.size() || line[quote + 1] != '>') return false;
  id = line.substr(kOpen.size(), quote - kOpen.size());
  std::string_view rest = std::string_view(line).substr(quote + 2);
  if (rest.ends_with("</dt>")) rest.remove_suffix(5);
  title.assign(rest);
  return true;
}

// The key text of a "<key title="…" type="…">text</key>" line, taken from the line's
// fixed end: the title is the keyword as it stands and can hold '"', '<' and '>', while
// the key text is full-width characters that hold none of them.
std::string_view KeyText(std::string_view line) {
  if (line.ends_with("</key>")) line.remove_suffix(6);
  std::size_t open_end = line.rfind("\">");
  open_end = open_end == std::string_view::npos ? line.find('>') : open_end + 1;
  return open_end == std::string_view::npos ? std::string_view() : line.substr(open_end + 1);
}

}  // namespace

std::size_t ReadBookSource(const std::string& path, const std::function<void(const SourceEntry&)>& entry) {
  LineReader reader(path);
  std::string line;
  bool in_list = false;
  while (reader.Next(line)) {
    if (line == "<dl>") {
      in_list = true;
      break;
    }
  }
  if (!in_list) reader.Fail("no \"<dl>\"");
  SourceEntry current;
  std::size_t count = 0;
  while (reader.Next(line)) {
    if (line == "</dl>") return count;
    if (!ParseHeading(line, current.id, current.title)) reader.Fail("expected \"<dt id=…>\"");
    current.keys.clear();
    current.body.clear();
    bool in_body = false;
    bool closed = false;
    while (reader.Next(line)) {
      if (!in_body) {
        if (StartsWith(line, "<key ")) {
          current.keys.emplace_back(KeyText(line));
        } else if (line == "<dd><p>") {
          in_body = true;
        } else {
          reader.Fail("expected \"<key …>\" or \"<dd><p>\"");
        }
      } else if (line == "</p></dd>") {
        closed = true;
        break;
      } else {
        if (!current.body.empty()) current.body.push_back('\n');
        current.body += line;
      }
    }
    if (!closed) reader.Fail(fmt::format("entry {} not closed", current.id));
    entry(current);
    ++count;
  }
  reader.Fail("no \"</dl>\"");
}

std::vector<std::string> ReadEntryIds(const std::string& path) {
  LineReader reader(path);
  std::vector<std::string> ids;
  std::string line, id, title;
  while (reader.Next(line)) {
    if (ParseHeading(line, id, title)) ids.push_back(id);
  }
  return ids;
}

std::string ReadCopyrightBody(const std::string& path) {
  if (!FileExists(path)) throw Error(fmt::format("missing book source file {}", path));
  const std::string text = ReadFile(path);
  const std::size_t open = text.find("<body>");
  const std::size_t close = text.find("</body>");
  if (open == std::string::npos || close == std::string::npos || close < open) {
    throw Error(fmt::format("incomplete book source {}: no \"<body>\" … \"</body>\"", path));
  }
  return text.substr(open + 6, close - open - 6);
}

}  // namespace tavex::epwing
