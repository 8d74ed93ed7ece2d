// Fuzzes the EPWING book build from a book source: the input is split into the book
// HTML (html_EPW) and one recording (us_pron/a.wav) that its links may name; the gaiji
// files and the copyright page are fixed and small. A build either succeeds or throws
// tavex::Error; anything else (a crash, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "epwing/epwing_book.h"
#include "fuzz_support.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/progress.h"

namespace {

std::string Glyph(int width) {
  std::string text = "\r\n";
  for (int row = 0; row < 16; ++row) text += std::string(width, row % 2 ? '#' : '.') + "\r\n";
  return text;
}

const std::string& Base() {
  static const std::string base = [] {
    const std::string folder = tavex::JoinPath(tavex::fuzz::ScratchFolder(), "base_folder");
    tavex::CreateFolders(tavex::JoinPath(folder, "us_pron"));
    tavex::fuzz::WriteBytes(folder + "/copyright.html",
                            "<html>\r\n<body>\r\n<b>c</b><br>\r\n</body>\r\n</html>\r\n");
    tavex::fuzz::WriteBytes(folder + "/GaijiMap.xml",
                            "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiSet>\r\n"
                            "<gaijiMap unicode=\"#x00E9\" ebcode=\"A121\" />\r\n"
                            "<gaijiMap unicode=\"#x0259\" ebcode=\"A122\" />\r\n</gaijiSet>\r\n");
    tavex::fuzz::WriteBytes(
        folder + "/Gaiji.xml",
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiData xml:space=\"preserve\">\r\n"
        "<fontSet size=\"16X16\" start=\"A121\">\r\n<fontData ebcode=\"A121\" unicode=\"00E9\">" +
            Glyph(16) +
            "</fontData>\r\n</fontSet>\r\n<fontSet size=\"8X16\" start=\"A122\">\r\n"
            "<fontData ebcode=\"A122\" unicode=\"0259\">" +
            Glyph(8) + "</fontData>\r\n</fontSet>\r\n</gaijiData>\r\n");
    tavex::fuzz::WriteBytes(folder + "/TAVEX.map", "# TAVEX unicode\r\n");
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
