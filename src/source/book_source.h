// Reading the book HTML (html_EPW, code page 932, CR LF lines) one entry at a time:
// "<dt id=…>title</dt>", its "<key …>text</key>" lines, then "<dd><p>", the body lines
// and "</p></dd>". Nothing but the current entry is held in memory.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "source/warning_tally.h"
#include "text/error.h"

namespace tavex::source {

// The book source does not have the form the book is written from; `line()` is where
// reading stopped, from 1.
class SourceFormError : public Error {
 public:
  SourceFormError(const std::string& message, std::size_t line) : Error(message), line_(line) {}
  std::size_t line() const { return line_; }

 private:
  std::size_t line_;
};

// One entry of the book HTML, as code page 932 markup.
struct SourceEntry {
  std::string id;
  std::size_t line = 0;  // the line of its heading, from 1
  std::string title;
  std::vector<std::string> keys;  // the key texts in file order (full-width, as the EPWING book keys them)
  // Of each key, in the same order: the keyword as it stands (the title attribute, what
  // a reader types) and its type (the index it goes into).
  std::vector<std::string> key_titles;
  std::vector<std::string> key_types;
  std::string body;               // body lines joined by LF
};

// Told of a heading line ("<dt id=…>") that is no entry's start: before "<dl>", after
// "</dl>" or inside a body. Its id and line.
using StrayHeadingFn = std::function<void(const std::string& id, std::size_t line)>;

// Calls `entry` for each entry in file order, and `stray` (when given) for each stray
// heading line; returns the entry count. The file is opened without following links,
// under its size bound. Throws Error naming the file when it is missing, not a regular
// file or too large, or when memory runs out; SourceFormError naming the file and line
// when it is incomplete (an entry not closed, no "</dl>") or a line or an entry is
// longer than the entry bound.
std::size_t ReadBookSource(const std::string& path, const std::function<void(const SourceEntry&)>& entry,
                           const StrayHeadingFn& stray = {});

// The ids of the entries in file order. Counts in `warnings` the stray heading lines
// (links to them find no entry) and the ids given twice (links lead to the first).
std::vector<std::string> ReadEntryIds(const std::string& path, WarningTally& warnings);

// The body of copyright.html: what stands between "<body>" and "</body>". The file is
// read like the book, under its own size bound.
std::string ReadCopyrightBody(const std::string& path);

}  // namespace tavex::source
