// Fuzzes the book check with a damaged HONMON: a small book is built once from a fixed
// book source (entries with keys, a link, a sound, both gaiji sets), and each input
// damages a copy of its HONMON: the first four bytes give the length it is cut or
// padded to, every further five bytes a position and the byte written there. The
// check must end with findings; a crash, a sanitizer report or a hang is a finding.
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
#include "verify/verify.h"

namespace {

// A PCM WAVE file of 2,080 silent samples.
std::string Wave() {
  const std::string format("fmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0", 24);
  const std::string data = std::string("data\x20\x08\0\0", 8) + std::string(0x820, '\x80');
  return std::string("RIFF\x44\x08\0\0WAVE", 12) + format + data;
}

// The book source, the built book, and its HONMON as written.
struct Book {
  std::string base;
  std::string folder;
  std::string honmon_path;
  std::string honmon;
};

const Book& SampleBook() {
  static const Book book = [] {
    Book b;
    b.base = tavex::JoinPath(tavex::fuzz::ScratchFolder(), "base_folder");
    tavex::fuzz::WriteSmallSource(b.base);  // its html_EPW replaced by the entries below
    tavex::CreateFolders(tavex::JoinPath(b.base, "us_pron"));
    std::string entries;
    for (int i = 1; i <= 40; ++i) {
      entries += "<dt id=\"" + std::to_string(i) + "\">word" + std::to_string(i) + " caf&#x00E9;</dt>\r\n" +
                 "<key title=\"k\" type=\"x\">ＷＯＲＤ" + std::to_string(i) + "Ｓ</key>\r\n<dd><p>\r\n" +
                 "<b>text</b> &#x0259; <a href=\"#" + std::to_string(i % 40 + 1) +
                 "\">next</a> <a href=\"us_pron/a.wav\">US</a><br>\r\n</p></dd>\r\n";
    }
    tavex::fuzz::WriteBytes(b.base + "/html_EPW", "<html>\r\n<body>\r\n<dl>\r\n" + entries +
                                                       "</dl>\r\n</body>\r\n</html>\r\n");
    tavex::fuzz::WriteBytes(b.base + "/us_pron/a.wav", Wave());
    b.folder = tavex::JoinPath(tavex::fuzz::ScratchFolder(), "epwing");
    tavex::NullProgress progress;
    tavex::epwing::BuildEpwingBook({.base_folder = b.base, .out_folder = b.folder}, progress);
    b.honmon_path = b.folder + "/TAVEX/DATA/HONMON";
    b.honmon = tavex::ReadFile(b.honmon_path);
    return b;
  }();
  return book;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Book& book = SampleBook();
  std::string honmon = book.honmon;
  auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(data[i]); };
  if (size >= 4) {
    const std::uint32_t length = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    honmon.resize(length % (book.honmon.size() + 4096), '\0');
  }
  for (std::size_t i = 4; i + 5 <= size && !honmon.empty(); i += 5) {
    const std::uint32_t at = byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24;
    honmon[at % honmon.size()] = static_cast<char>(data[i + 4]);
  }
  tavex::fuzz::WriteBytes(book.honmon_path, honmon);
  tavex::NullProgress progress;
  try {
    tavex::verify::VerifyBook({.book = book.folder, .base_folder = size % 2 ? book.base : ""}, progress);
  } catch (const tavex::Error&) {
  }
  return 0;
}
