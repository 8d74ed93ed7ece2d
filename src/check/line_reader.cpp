#include "check/line_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "text/cp932.h"
#include "text/error.h"
#include "source/source_bounds.h"
#include "text/text.h"

namespace tavex::check {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::size_t kBlockBytes = 1 << 16;

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

LineReader::LineReader(const std::string& base_folder, std::string name) : name_(std::move(name)) {
  OpenResult opened = OpenInside(base_folder, name_, source_bounds::Of(name_));
  if (opened.status == OpenStatus::kOpened) {
    file_ = std::move(opened.file);
    block_ = std::make_unique<char[]>(kBlockBytes);
  }
}

bool LineReader::Refill() {
  if (!stopped_.empty()) return false;
  try {
    filled_ = file_.Read(block_.get(), kBlockBytes);
  } catch (const Error& e) {
    stopped_ = e.what();
    filled_ = 0;
  }
  at_ = 0;
  return filled_ > 0;
}

bool LineReader::Next(std::string_view& line) {
  if (!file_.is_open() || !stopped_.empty()) return false;
  buffer_.clear();
  bool ended_by_lf = false;
  bool read_any = false;
  while (true) {
    if (at_ == filled_ && !Refill()) break;
    const char* begin = block_.get() + at_;
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', filled_ - at_));
    const std::size_t take = lf != nullptr ? static_cast<std::size_t>(lf - begin) : filled_ - at_;
    read_any = true;
    if (buffer_.size() + take > source_bounds::kEntry) {
      stopped_ = fmt::format("line {} is longer than {}; the file was read no further", line_number_ + 1,
                             SizeText(source_bounds::kEntry));
      return false;
    }
    buffer_.append(begin, take);
    at_ += take;
    if (lf != nullptr) {
      ++at_;
      ended_by_lf = true;
      break;
    }
  }
  if (!read_any || (!ended_by_lf && buffer_.empty())) return false;
  ++line_number_;
  // A line without its LF is the last one, cut off by the end of the file.
  bool crlf = ended_by_lf && !buffer_.empty() && buffer_.back() == '\r';
  if (crlf) buffer_.pop_back();
  if (!crlf || buffer_.find('\r') != std::string::npos) bad_line_end_.Add(line_number_);
  if (HasUndecodableBytes(buffer_)) undecodable_.Add(line_number_);
  line = buffer_;
  return true;
}

void LineReader::ReportTallies(FindingSink& sink) const {
  if (!stopped_.empty()) {
    sink.Error("unreadable", name_, line_number_ + 1, stopped_,
               "the file is damaged or was edited by hand: write it anew with the step that makes it");
  }
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
