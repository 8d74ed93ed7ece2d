// Reads one of the book's Shift_JIS text files line by line and keeps account of the two
// faults every such file can have: bytes that code page 932 does not decode, and lines
// that do not end in CR LF (a bare LF, a bare CR inside a line, or no line end at all
// after the last line). Only the current line is held in memory.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

#include "check/finding_sink.h"

namespace tavex::check {

class LineReader {
 public:
  // Opens `path`; `name` is the file's name in findings. Check is_open() before reading.
  LineReader(const std::string& path, std::string name);

  bool is_open() const { return in_.is_open(); }

  // Reads the next line into `line` without its CR LF; false at the end of the file.
  bool Next(std::string_view& line);

  // The number of the line Next last gave, from 1.
  int line_number() const { return line_number_; }

  // Adds the encoding and line-end findings of everything read so far.
  void ReportTallies(FindingSink& sink) const;

 private:
  std::ifstream in_;
  std::string name_;
  std::string buffer_;
  int line_number_ = 0;
  Tally undecodable_;
  Tally bad_line_end_;
};

// True when the Shift_JIS bytes hold a byte or pair that code page 932 does not decode.
bool HasUndecodableBytes(std::string_view sjis);

}  // namespace tavex::check
