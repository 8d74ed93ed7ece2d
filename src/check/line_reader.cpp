#include "check/line_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

#include "platform/cp932.h"
#include "platform/text.h"

namespace tavex::check {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

}  // namespace

bool HasUndecodableBytes(std::string_view sjis) {
  // Pure ASCII always decodes; only lines with high bytes go through the converter,
  // which marks every byte or pair it rejects with U+FFFD (no code page 932 character
  // decodes to U+FFFD, so its presence means a rejected position).
  bool ascii =
      std::all_of(sjis.begin(), sjis.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return false;
  return SjisToUtf8(Sjis(std::string(sjis))).find(kReplacementUtf8) != std::string::npos;
}

LineReader::LineReader(const std::string& path, std::string name)
    : in_(path, std::ios::binary), name_(std::move(name)) {}

bool LineReader::Next(std::string_view& line) {
  if (!in_.is_open() || !std::getline(in_, buffer_, '\n')) return false;
  ++line_number_;
  // Without the delimiter getline stops at the end of the file: a last line with no
  // line end. (An empty read at the end returns false above.)
  bool ended_by_lf = !in_.eof();
  bool crlf = ended_by_lf && !buffer_.empty() && buffer_.back() == '\r';
  if (crlf) buffer_.pop_back();
  if (!crlf || buffer_.find('\r') != std::string::npos) bad_line_end_.Add(line_number_);
  if (HasUndecodableBytes(buffer_)) undecodable_.Add(line_number_);
  line = buffer_;
  return true;
}

void LineReader::ReportTallies(FindingSink& sink) const {
  if (undecodable_.count > 0) {
    sink.Error(
        "undecodable", name_, undecodable_.first_line,
        fmt::format("bytes that are not code page 932 text ({} in all)", Counted(undecodable_.count, "line")),
        "the file must be Shift_JIS: re-run the step that writes it, and check hand edits "
        "were saved as Shift_JIS");
  }
  if (bad_line_end_.count > 0) {
    sink.Error("line-end", name_, bad_line_end_.first_line,
               fmt::format("line does not end in CR LF ({} in all)", Counted(bad_line_end_.count, "line")),
               "every line must end in CR LF: re-run the step that writes the file, and check "
               "that the stylesheet output and hand edits use CR LF");
  }
}

}  // namespace tavex::check
