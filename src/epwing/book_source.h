// Reading the book HTML (html_EPW, code page 932, CR LF lines) one entry at a time:
// "<dt id=…>title</dt>", its "<key …>text</key>" lines, then "<dd><p>", the body lines
// and "</p></dd>". Nothing but the current entry is held in memory.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tavex::epwing {

// One entry of the book HTML, as code page 932 markup.
struct SourceEntry {
  std::string id;
  std::string title;
  std::vector<std::string> keys;  // the key texts in file order
  std::string body;               // body lines joined by LF
};

// Calls `entry` for each entry in file order; returns the entry count. Throws Error
// naming the file and line when it is missing or incomplete (an entry not closed, no
// "</dl>"), or when a line is absurdly long.
std::size_t ReadBookSource(const std::string& path, const std::function<void(const SourceEntry&)>& entry);

// The ids of the entries in file order, read without the bodies.
std::vector<std::string> ReadEntryIds(const std::string& path);

// The body of copyright.html: what stands between "<body>" and "</body>".
std::string ReadCopyrightBody(const std::string& path);

}  // namespace tavex::epwing
