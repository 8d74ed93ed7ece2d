// The book's HTML: every entry of `fs_skn` as a headword line, its search keys and its
// definition, then one entry with the copyright notice and the owner information, and the
// separate copyright page. Both files are Shift_JIS with CR LF line ends. The book is
// streamed to disk entry by entry under a temporary name and renamed into place when whole.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "book/owner_block.h"
#include "platform/mode.h"
#include "platform/progress.h"
#include "text/text.h"

namespace tavex::book {

// The record-independent id of the copyright/owner entry, after the last entry.
inline constexpr int kOwnerEntryId = 50080;

// The id of the copyright/owner entry: 50080, or the first id after the last record's
// index when the book has more records than that, so that no two entries share an id.
std::int64_t OwnerEntryId(std::int64_t last_index);

// Where the book is read from and written to.
struct BookOptions {
  std::string database_file;   // the working database; needs `fs_skn`, `char` and `topic`
  std::string main_stylesheet; // epwing_dic.xsl, already written (user_script.xsl beside it)
  std::string book_html;       // base_folder/html_EPW
  std::string copyright_page;  // base_folder/copyright.html
  OperatingMode mode;          // modes 1 and 2 add the 後方表記 keys and key id/pv elements
  std::optional<HostTexts> host;  // default: this machine's identity
  std::optional<std::chrono::system_clock::time_point> now;  // default: the current time
  std::string notice = kCopyrightNotice;  // the copyright notice of the owner block
  // Threads that transform entries; 0 gives one per processor core. The book is the same
  // byte for byte whatever the number.
  std::size_t threads = 0;
};

// Appends `line` to `out` as the book holds it: line feeds inside written as CR LF, and
// CR LF at its end.
void AppendBookLine(std::string& out, const Sjis& line);

// Writes the book HTML and the copyright page. Reports "[htmlを書き出し中] n/N" per entry,
// one warning when entries did not parse (they are written with an empty body and no
// keys), and one when parsed entries came out of the transformation without a body.
// Throws tavex::Error on a database, stylesheet, transformation or write fault; the
// book file is then left as it was before.
void WriteBookHtml(const BookOptions& options, Progress& progress);

}  // namespace tavex::book
