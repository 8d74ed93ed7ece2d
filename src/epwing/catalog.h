// The book's catalogue (CATALOGS: one subbook, its title, folder and gaiji font names)
// and the index page that opens HONMON (where the text, the copyright page and the
// search indexes start).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavex::epwing {

// The subbook's folder and gaiji font file names, as the book's project settings name them.
inline constexpr char kSubbookFolder[] = "TAVEX";
inline constexpr char kNarrowFontName[] = "GAI16H00";
inline constexpr char kWideFontName[] = "GAI16F00";

// The CATALOGS bytes of an EPWING V1 book with one subbook titled `title_jis` (JIS X
// 0208 bytes, at most 80).
std::string CatalogBytes(const std::string& title_jis);

// One region of HONMON named in the index page.
struct IndexRegion {
  std::uint8_t id = 0;  // 0x00 text, 0x02 copyright, 0x91 word, 0x71 endword
  std::uint32_t start_page = 0;
  std::uint32_t page_count = 0;
  bool styled = false;  // a search index whose style flags apply
};
inline constexpr std::uint8_t kTextRegion = 0x00, kCopyrightRegion = 0x02;
inline constexpr std::uint8_t kWordIndex = 0x91, kEndwordIndex = 0x71;

// The first page of HONMON listing `regions`.
std::string IndexPageBytes(const std::vector<IndexRegion>& regions);

}  // namespace tavex::epwing
