// Byte layouts of the catalogue and of HONMON's index page.
#include "epwing/catalog.h"

#include <cstring>

#include "epwing/honmon_file.h"
#include "epwing/search_index.h"

namespace tavex::epwing {
namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kSubbookBytes = 164;
constexpr std::size_t kTitleBytes = 80;
constexpr std::size_t kNameBytes = 8;

void PutName(std::string& out, std::size_t at, std::string_view name) {
  out.replace(at, kNameBytes, std::string(kNameBytes, ' '));
  out.replace(at, name.size(), name);
}

}  // namespace

std::string CatalogBytes(const std::string& title_jis) {
  std::string bytes(kHeaderBytes + kSubbookBytes, '\0');
  PutUint(bytes.data(), 1, 2);      // one subbook
  PutUint(bytes.data() + 2, 1, 2);  // EPWING V1
  const std::size_t entry = kHeaderBytes;
  PutUint(bytes.data() + entry, 0x0001, 2);  // book kind: dictionary, V1
  bytes.replace(entry + 2, std::min(title_jis.size(), kTitleBytes), title_jis.substr(0, kTitleBytes));
  PutName(bytes, entry + 2 + kTitleBytes, kSubbookFolder);
  PutUint(bytes.data() + entry + 2 + kTitleBytes + kNameBytes + 4, 1, 2);  // index page
  // Wide fonts (16, 24, 30, 48 dots) then narrow ones; only the 16-dot sizes exist.
  PutName(bytes, entry + 2 + kTitleBytes + 18, kWideFontName);
  PutName(bytes, entry + 2 + kTitleBytes + 50, kNarrowFontName);
  return bytes;
}

std::string IndexPageBytes(const std::vector<IndexRegion>& regions) {
  std::string page(kPageSize, '\0');
  page[1] = static_cast<char>(regions.size());
  std::size_t at = 16;
  for (const IndexRegion& region : regions) {
    page[at] = static_cast<char>(region.id);
    PutUint(page.data() + at + 2, region.start_page, 4);
    PutUint(page.data() + at + 6, region.page_count, 4);
    if (region.styled) {
      page[at + 10] = 0x02;  // the style flags below apply
      PutUint(page.data() + at + 11, IndexStyleFlags(), 3);
    }
    at += 16;
  }
  return page;
}

}  // namespace tavex::epwing
