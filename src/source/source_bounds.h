// The size bounds of the book source's files (base_folder), which a user can edit by
// hand and so are read as untrusted input. Each bound is checked on the opened file
// before anything is read; the EPWING writer and the pre-flight check use the same ones,
// so that what the check passes the writer reads.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavex::source_bounds {

constexpr std::uint64_t kBookHtml = 4ull << 30;    // html_EPW, read one entry at a time
constexpr std::uint64_t kEntry = 16ull << 20;      // one entry of html_EPW, and one line of any file
constexpr std::uint64_t kCopyright = 1ull << 20;   // copyright.html
constexpr std::uint64_t kGaijiMap = 4ull << 20;    // GaijiMap.xml
constexpr std::uint64_t kGaijiFont = 32ull << 20;  // Gaiji.xml
constexpr std::uint64_t kTextMap = 4ull << 20;     // TAVEX.map
constexpr std::uint64_t kProject = 1ull << 20;     // TAVEX.ebs
constexpr std::uint64_t kRecording = 64ull << 20;  // one WAV file of us_pron/ or uk_pron/

// The bound of the file `name` of base_folder (a recording's for "…/x.wav").
constexpr std::uint64_t Of(std::string_view name) {
  if (name == "html_EPW") return kBookHtml;
  if (name == "copyright.html") return kCopyright;
  if (name == "GaijiMap.xml") return kGaijiMap;
  if (name == "Gaiji.xml") return kGaijiFont;
  if (name == "TAVEX.map") return kTextMap;
  if (name == "TAVEX.ebs") return kProject;
  return kRecording;
}

}  // namespace tavex::source_bounds
