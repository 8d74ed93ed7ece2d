// Reads one of the book's Shift_JIS text files line by line and keeps account of the two
// faults every such file can have: bytes that code page 932 does not decode, and lines
// that do not end in CR LF (a bare LF, a bare CR inside a line, or no line end at all
// after the last line). Only the current line is held in memory. The file is opened as
// a regular file of base_folder without following links and under its size bound (the
// check of the required files reports one that is not); a line longer than the entry
// bound ends the reading with a finding, so no line can take more memory than that.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "check/finding_sink.h"
#include "fs/safe_file.h"

namespace tavex::check {

class LineReader {
 public:
  // Opens `name` inside `base_folder`; `name` is also the file's name in findings.
  // Check is_open() before reading.
  LineReader(const std::string& base_folder, std::string name);

  bool is_open() const { return file_.is_open(); }

  // Reads the next line into `line` without its CR LF; false at the end of the file.
  bool Next(std::string_view& line);

  // The number of the line Next last gave, from 1.
  int line_number() const { return line_number_; }

  // Adds the encoding and line-end findings of everything read so far, and the line
  // or read fault that ended the reading.
  void ReportTallies(FindingSink& sink) const;

 private:
  // Fills the block buffer; false at the end of the file or on a read fault.
  bool Refill();

  ReadOnlyFile file_;
  std::string name_;
  std::string buffer_;  // the current line
  std::unique_ptr<char[]> block_;
  std::size_t at_ = 0;
  std::size_t filled_ = 0;
  std::string stopped_;  // why the reading ended before the end of the file
  int line_number_ = 0;
  Tally undecodable_;
  Tally bad_line_end_;
};

// True when the Shift_JIS bytes hold a byte or pair that code page 932 does not decode.
bool HasUndecodableBytes(std::string_view sjis);

}  // namespace tavex::check
