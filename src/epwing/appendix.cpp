// The appendix's layout, as libeb's appendix reader takes it: a header page of 16-byte
// rows (the character code, then the narrow and the wide texts' first page, first code
// and count, then the stop code's page), then the texts.
#include "epwing/appendix.h"

#include "epwing/catalog.h"
#include "epwing/honmon_file.h"
#include "fs/files.h"
#include "text/text.h"

namespace tavex::epwing {
namespace {

constexpr std::size_t kTextBytes = 32;  // 31 bytes and the closing NUL
constexpr int kJisX0208 = 2;            // the appendix's character code

// The next gaiji code: low bytes run 0x21 to 0x7E.
std::uint16_t NextCode(std::uint16_t code) {
  return static_cast<std::uint16_t>((code & 0xFF) >= 0x7E ? code + 0xA3 : code + 1);
}

// The texts of one font from its first code to its last, and how many codes that is.
std::pair<std::string, int> Texts(const source::FontSet& set) {
  std::string texts;
  int count = 0;
  if (set.glyphs.empty()) return {texts, 0};
  std::size_t next = 0;
  const std::uint16_t last = set.glyphs.back().code;
  for (std::uint16_t code = set.glyphs.front().code; code <= last && code >= 0xA121; code = NextCode(code)) {
    // A code outside the low bytes 21 to 7E has no text: readers never ask for it.
    while (next < set.glyphs.size() && set.glyphs[next].code < code) ++next;
    std::string text;
    if (next < set.glyphs.size() && set.glyphs[next].code == code) {
      const char32_t c = set.glyphs[next].unicode;
      if (c != 0 && !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF) AppendUtf8(text, c);
    }
    text.resize(kTextBytes, '\0');
    texts += text;
    ++count;
  }
  texts.resize((texts.size() + kPageSize - 1) / kPageSize * kPageSize, '\0');
  return {texts, count};
}

}  // namespace

std::string FurokuBytes(const source::GaijiSet& gaiji) {
  const auto [narrow, narrow_count] = Texts(gaiji.narrow());
  const auto [wide, wide_count] = Texts(gaiji.wide());
  std::string header(kPageSize, '\0');
  PutUint(header.data() + 2, kJisX0208, 2);
  const std::uint32_t narrow_page = 2;
  const auto wide_page = static_cast<std::uint32_t>(narrow_page + narrow.size() / kPageSize);
  if (narrow_count > 0) {
    PutUint(header.data() + 16, narrow_page, 4);
    PutUint(header.data() + 16 + 10, gaiji.narrow().glyphs.front().code, 2);
    PutUint(header.data() + 16 + 12, static_cast<std::uint32_t>(narrow_count), 2);
  }
  if (wide_count > 0) {
    PutUint(header.data() + 32, wide_page, 4);
    PutUint(header.data() + 32 + 10, gaiji.wide().glyphs.front().code, 2);
    PutUint(header.data() + 32 + 12, static_cast<std::uint32_t>(wide_count), 2);
  }
  return header + narrow + wide;
}

void WriteAppendix(const std::string& folder, const std::string& catalogs, const source::GaijiSet& gaiji) {
  const std::string data = JoinPath(JoinPath(folder, kSubbookFolder), "DATA");
  CreateFolders(data);
  WriteFileInPlace(JoinPath(folder, "CATALOGS"), catalogs);
  WriteFileInPlace(JoinPath(data, "FUROKU"), FurokuBytes(gaiji));
}

}  // namespace tavex::epwing
