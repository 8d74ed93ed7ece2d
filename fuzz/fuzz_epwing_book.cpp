// Fuzzes the EPWING book build from a book source: the input is split into the book
// HTML (html_EPW) and one recording (us_pron/a.wav) that its links may name; the gaiji
// files and the copyright page are fixed and small. A build either succeeds or throws
// tavex::Error; anything else (a crash, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "epwing/epwing_book.h"
#include "book_source_files.h"
#include "fuzz_support.h"
#include "text/error.h"
#include "fs/files.h"
#include "platform/progress.h"

namespace {

const std::string& Base() {
  static const std::string base = [] {
    const std::string folder = tavex::JoinPath(tavex::fuzz::ScratchFolder(), "base_folder");
    tavex::CreateFolders(tavex::JoinPath(folder, "us_pron"));
    tavex::fuzz::WriteSmallSource(folder);  // html_EPW and the recording come from each input
    return folder;
  }();
  return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto parts = tavex::fuzz::SplitInput(input, 2);
  const std::string& base = Base();
  tavex::fuzz::WriteBytes(base + "/html_EPW", parts[0]);
  tavex::fuzz::WriteBytes(base + "/us_pron/a.wav", parts[1]);
  tavex::NullProgress progress;
  try {
    tavex::epwing::BuildEpwingBook(
        {.base_folder = base, .out_folder = tavex::JoinPath(tavex::fuzz::ScratchFolder(), "epwing")},
        progress);
  } catch (const tavex::Error&) {
    // A refused book source is a correct outcome.
  }
  return 0;
}
