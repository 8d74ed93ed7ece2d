// Fuzzes a whole book source: the input is split into html_EPW, Gaiji.xml and
// GaijiMap.xml (copyright.html, TAVEX.map and TAVEX.ebs stay small and fixed). The
// EPWING book is built from the folder and the pre-flight check reads it; either may
// refuse it with tavex::Error, nothing else.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "book_source_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string base = [] {
    const std::string folder = tavex::JoinPath(tavex::fuzz::ScratchFolder(), "base_folder");
    tavex::fuzz::WriteSmallSource(folder);
    return folder;
  }();
  const auto parts = tavex::fuzz::SplitInput(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  tavex::fuzz::WriteBytes(base + "/html_EPW", parts[0]);
  tavex::fuzz::WriteBytes(base + "/Gaiji.xml", parts[1]);
  tavex::fuzz::WriteBytes(base + "/GaijiMap.xml", parts[2]);
  tavex::fuzz::BuildAndCheck(base);
  return 0;
}
