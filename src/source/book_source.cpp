// A line reader over the book HTML with errors that name the file and line.
#include "source/book_source.h"

#include <fmt/format.h>

#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "text/error.h"
#include "fs/files.h"
#include "fs/safe_file.h"
#include "source/source_bounds.h"
#include "text/text.h"

namespace tavex::source {
namespace {

constexpr std::size_t kIoBufferBytes = 1 << 20;

// Opens a file of base_folder: a regular file, not reached through a symbolic link, under
// its size bound.
ReadOnlyFile OpenSourceFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return OpenInsideOrThrow(folder, name, source_bounds::Of(name), "book source file");
}

// The book's lines, read in large blocks; a line is given without its CR LF. A line over
// the entry bound is an error as soon as the bound is crossed, before it is all read.
class LineReader {
 public:
  explicit LineReader(const std::string& path) : file_(OpenSourceFile(path)) {}

  // The next line without its CR LF; false at the end of the file.
  bool Next(std::string& line) {
    line.clear();
    while (true) {
      if (at_ == filled_) {
        filled_ = file_.Read(buffer_.get(), kIoBufferBytes);
        at_ = 0;
        if (filled_ == 0) {
          if (line.empty() && !partial_) return false;
          break;  // the last line has no line end
        }
      }
      const char* begin = buffer_.get() + at_;
      const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', filled_ - at_));
      const std::size_t take = newline != nullptr ? static_cast<std::size_t>(newline - begin) : filled_ - at_;
      if (line.size() + take > source_bounds::kEntry) {
        ++number_;
        Fail(fmt::format("line longer than {}", SizeText(source_bounds::kEntry)));
      }
      line.append(begin, take);
      at_ += take;
      partial_ = true;
      if (newline != nullptr) {
        ++at_;
        break;
      }
    }
    partial_ = false;
    ++number_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  std::size_t number() const { return number_; }
  [[noreturn]] void Fail(const std::string& what) const {
    throw SourceFormError(fmt::format("incomplete book source {}: {} at line {}", file_.path(), what, number_),
                          number_);
  }

 private:
  ReadOnlyFile file_;
  std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kIoBufferBytes);
  std::size_t at_ = 0;
  std::size_t filled_ = 0;
  bool partial_ = false;  // part of the current line has been read
  std::size_t number_ = 0;
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

// The title and type attributes of a key line. The title can hold '"', so the type is
// found from the line's end, before the key text.
std::pair<std::string_view, std::string_view> KeyTitleAndType(std::string_view line) {
  static constexpr std::string_view kOpen = "<key title=\"", kType = "\" type=\"";
  if (!line.starts_with(kOpen)) return {};
  const std::size_t open_end = line.rfind("\">");
  const std::size_t type = open_end == std::string_view::npos ? std::string_view::npos : line.rfind(kType, open_end);
  if (type == std::string_view::npos || type < kOpen.size()) return {};
  return {line.substr(kOpen.size(), type - kOpen.size()),
          line.substr(type + kType.size(), open_end - type - kType.size())};
}

std::size_t ReadEntries(LineReader& reader, const std::function<void(const SourceEntry&)>& entry,
                        const StrayHeadingFn& stray) {
  std::string line;
  std::string stray_id, stray_title;
  // A heading line anywhere but at an entry's start is no entry: reported, never read as one.
  auto check_stray = [&] {
    if (stray && ParseHeading(line, stray_id, stray_title)) stray(stray_id, reader.number());
  };
  bool in_list = false;
  while (reader.Next(line)) {
    if (line == "<dl>") {
      in_list = true;
      break;
    }
    check_stray();
  }
  if (!in_list) reader.Fail("no \"<dl>\"");
  SourceEntry current;
  std::size_t count = 0;
  while (reader.Next(line)) {
    if (line == "</dl>") {
      while (reader.Next(line)) check_stray();
      return count;
    }
    if (!ParseHeading(line, current.id, current.title)) reader.Fail("expected \"<dt id=…>\"");
    current.line = reader.number();
    current.keys.clear();
    current.key_titles.clear();
    current.key_types.clear();
    current.body.clear();
    std::size_t entry_bytes = line.size();
    bool in_body = false;
    bool closed = false;
    while (reader.Next(line)) {
      entry_bytes += line.size() + 1;
      if (entry_bytes > source_bounds::kEntry) {
        reader.Fail(fmt::format("entry {} longer than {}", EscapeControls(current.id),
                                SizeText(source_bounds::kEntry)));
      }
      if (!in_body) {
        if (StartsWith(line, "<key ")) {
          current.keys.emplace_back(KeyText(line));
          const auto [title, type] = KeyTitleAndType(line);
          current.key_titles.emplace_back(title);
          current.key_types.emplace_back(type);
        } else if (line == "<dd><p>") {
          in_body = true;
        } else {
          reader.Fail("expected \"<key …>\" or \"<dd><p>\"");
        }
      } else if (line == "</p></dd>") {
        closed = true;
        break;
      } else {
        check_stray();
        if (!current.body.empty()) current.body.push_back('\n');
        current.body += line;
      }
    }
    if (!closed) reader.Fail(fmt::format("entry {} not closed", EscapeControls(current.id)));
    entry(current);
    ++count;
  }
  reader.Fail("no \"</dl>\"");
}

}  // namespace

std::size_t ReadBookSource(const std::string& path, const std::function<void(const SourceEntry&)>& entry,
                           const StrayHeadingFn& stray) {
  LineReader reader(path);
  try {
    return ReadEntries(reader, entry, stray);
  } catch (const std::bad_alloc&) {
    throw Error(fmt::format("cannot read {}: out of memory at line {}", path, reader.number()));
  }
}

std::vector<std::string> ReadEntryIds(const std::string& path, WarningTally& warnings) {
  std::vector<std::string> ids;
  std::unordered_map<std::string, std::size_t> first_line;
  ReadBookSource(
      path,
      [&](const SourceEntry& entry) {
        auto [it, fresh] = first_line.try_emplace(entry.id, entry.line);
        if (!fresh) {
          warnings.Add("entry id used twice, links lead to its first entry",
                       fmt::format("id {} on line {} (first on line {})", entry.id, entry.line, it->second));
        }
        ids.push_back(entry.id);
      },
      [&](const std::string& id, std::size_t line) {
        warnings.Add("heading line outside the entry list ignored, links to it kept as plain text",
                     fmt::format("id {} on line {}", id, line));
      });
  return ids;
}

std::string ReadCopyrightBody(const std::string& path) {
  const std::string text = OpenSourceFile(path).ReadAll();
  const std::size_t open = text.find("<body>");
  const std::size_t close = text.find("</body>");
  if (open == std::string::npos || close == std::string::npos || close < open) {
    throw Error(fmt::format("incomplete book source {}: no \"<body>\" … \"</body>\"", path));
  }
  return text.substr(open + 6, close - open - 6);
}

}  // namespace tavex::source
