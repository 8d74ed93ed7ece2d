// A reader of EPWING books over libeb, the library every Linux reader is built on: the
// book check reads a book through it as a reader would (open, search, walk the text,
// draw a gaiji, play a sound), and the writer's tests read the written book back with
// it. libeb is wrapped here once; no other file includes its headers. Every failure
// of libeb is thrown as tavex::Error with libeb's message.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavex::verify {

// One position in the book, as libeb gives it: the 1-based page and the offset in it.
struct BookPosition {
  int page = 0;
  int offset = 0;
  friend bool operator==(const BookPosition&, const BookPosition&) = default;
  friend bool operator<(const BookPosition& a, const BookPosition& b) {
    return a.page != b.page ? a.page < b.page : a.offset < b.offset;
  }
  // The byte offset in the text file.
  std::int64_t Byte() const { return (static_cast<std::int64_t>(page) - 1) * 2048 + offset; }
};

// A search hit: where the entry's text and heading are.
struct BookHit {
  BookPosition text;
  BookPosition heading;
};

// What a text's links and sounds point at, in text order.
struct TextLinks {
  std::vector<BookPosition> references;
  std::vector<std::pair<BookPosition, BookPosition>> sounds;
};

// What one text held besides its characters, for the book check.
struct TextScan {
  TextLinks links;
  std::vector<std::uint16_t> narrow_gaiji;  // codes in text order, repeats included
  std::vector<std::uint16_t> wide_gaiji;
  bool cut = false;       // the text did not end within the byte limit
  std::size_t bytes = 0;  // the characters read, two bytes each
  std::size_t body = 0;   // of them, and of the gaiji, those outside the heading's keyword
};

// A gaiji font of the subbook at 16 dots, when the book has one.
struct FontRange {
  int start = 0;  // first and last code
  int end = 0;
};

// The folder names of the book's subbooks, in catalogue order, read without selecting
// any (selecting one makes libeb load pages that must be looked at first). Throws Error
// with libeb's message.
std::vector<std::string> SubbookFolders(const std::string& path);

class LibebReader {
 public:
  // Opens the book's first subbook. Throws Error with libeb's message.
  explicit LibebReader(const std::string& path) : LibebReader(path, 0) {}
  // Opens subbook `subbook` (from 0) of the book.
  LibebReader(const std::string& path, int subbook);
  ~LibebReader();
  LibebReader(const LibebReader&) = delete;
  LibebReader& operator=(const LibebReader&) = delete;

  // Gaiji codes shown as their Unicode characters (the book source's map); unknown ones
  // show as "{n:A121}" or "{w:A121}".
  void SetGaijiMap(std::map<std::uint16_t, std::string> narrow, std::map<std::uint16_t, std::string> wide);
  // With markup, controls show as tags: <b>…</b>, <i>…</i>, <sub>, <sup>, <indent=N>,
  // <key>…</key>, <ref>…</ref>, <snd>…</snd>; without, only the characters and line ends.
  void SetMarkup(bool markup);

  // How many subbooks the book has, and the open one's title (UTF-8) and folder name.
  int subbook_count() const;
  std::string Title();
  std::string Directory();

  // Forward or backward search for `word` (EUC-JP or ASCII).
  std::vector<BookHit> Search(const std::string& word, bool backward);
  // The first hits of a search, at most `max_hits` of them.
  std::vector<BookHit> Search(const std::string& word, bool backward, std::size_t max_hits);
  // Exact forward search: the entries whose key is `word` itself, at most `max_hits` of
  // them.
  std::vector<BookHit> SearchExact(const std::string& word, std::size_t max_hits);
  bool HasWordSearch();
  bool HasExactWordSearch();
  bool HasEndwordSearch();

  // The heading's characters, without markup.
  std::string Heading(BookPosition at);
  std::string Text(BookPosition at, TextLinks* links = nullptr);
  // The headings of every entry, walking the text from its start entry by entry, as
  // readers that list a book's headwords do.
  std::vector<std::string> WalkHeadings();

  // Where the text starts; the entry after the one at `at` (none at the end of the
  // text). Throws Error when libeb cannot move on.
  BookPosition TextStart();
  std::optional<BookPosition> NextEntry(BookPosition at);
  // Reads the heading at `at` as a reader lists it, keeping nothing. Throws Error.
  void ReadHeading(BookPosition at);
  // Reads the text at `at` to its end, at most `max_bytes` of it, and tells what it
  // held; when `then_next` is given, it receives the next entry's position (none at the
  // end of the text, and none after a cut text, whose end libeb would look for without
  // a bound). Throws Error.
  TextScan ScanText(BookPosition at, std::size_t max_bytes, std::optional<BookPosition>* then_next = nullptr);
  // Up to `size` bytes of the text file as stored, from `at` (fewer at its end).
  std::string RawBytes(BookPosition at, std::size_t size);

  bool HasCopyright();
  BookPosition Copyright();
  bool HasMenu();
  BookPosition Menu();

  // The 16-dot gaiji fonts, when the subbook has them.
  std::optional<FontRange> NarrowFont();
  std::optional<FontRange> WideFont();
  // The 16-dot glyph of gaiji `code`: 16 rows, leftmost pixel in the high bit.
  std::array<std::uint16_t, 16> Glyph(std::uint16_t code, bool narrow);

  // Reads the book's appendix in `path` (subbook `subbook`, from 0), which says what
  // each gaiji stands for. Throws Error with libeb's message.
  void BindAppendix(const std::string& path, int subbook);
  // The appendix's text for gaiji `code`; none without an appendix or a text.
  std::optional<std::string> AltText(std::uint16_t code, bool narrow);

  // The WAVE file libeb rebuilds from the sound between `start` and `end`.
  std::string Wave(BookPosition start, BookPosition end);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// An EUC-JP (or ASCII) text as UTF-8; "{?}" when it does not convert.
std::string EucToUtf8(const std::string& euc);

}  // namespace tavex::verify
