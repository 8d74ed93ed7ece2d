// Finds the entry a line of the book belongs to, so that a finding in html_EPW can lead
// to the preview of its entry.
#include <charconv>

#include "check/check.h"
#include "check/line_reader.h"
#include "fs/files.h"

namespace tavex::check {

std::optional<int> EntryIndexAtLine(const std::string& base_folder, int line) {
  constexpr std::string_view kEntryStart = "<dt id=\"";
  constexpr std::string_view kOwnerTitle = "\">copyright_info</dt>";
  if (line <= 0) return std::nullopt;
  LineReader reader(base_folder, "html_EPW");
  if (!reader.is_open()) return std::nullopt;
  std::optional<int> entry;
  std::string_view text;
  while (reader.Next(text)) {
    if (text.starts_with(kEntryStart)) {
      entry.reset();
      const std::size_t begin = kEntryStart.size();
      const std::size_t end = text.find('"', begin);
      int id = 0;
      const char* first = text.data() + begin;
      const char* last = text.data() + (end == std::string_view::npos ? begin : end);
      const bool owner = end != std::string_view::npos && text.substr(end).starts_with(kOwnerTitle);
      if (!owner && first != last && std::from_chars(first, last, id).ptr == last) entry = id;
    }
    if (reader.line_number() == line) return entry;
    // The entry's block closes with the line that holds its </dd>.
    if (text.find("</dd>") != std::string_view::npos) entry.reset();
  }
  return std::nullopt;
}

}  // namespace tavex::check
