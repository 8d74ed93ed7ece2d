// Fuzzes GaijiMap.xml of a book source: the input is the whole file, the other files of
// base_folder are small and fixed. The EPWING book is built from the folder and the
// pre-flight check reads it; either may refuse it with tavex::Error, nothing else.
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
  tavex::fuzz::WriteBytes(base + "/GaijiMap.xml",
                          std::string_view(reinterpret_cast<const char*>(data), size));
  tavex::fuzz::BuildAndCheck(base);
  return 0;
}
