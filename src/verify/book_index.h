// The parts of a subbook's text file that libeb does not show: the index page that
// says where the text, the copyright page and the search indexes lie, and the pages of
// each search index as stored. They are read here, from the raw bytes, so that every
// stored key can be searched for and every page checked before libeb is let loose on
// it: libeb trusts the pages it follows, and a page that points back up the tree would
// keep it searching for ever.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "verify/libeb_reader.h"

namespace tavex::verify {

// One region the index page names.
struct BookRegion {
  std::uint8_t id = 0;  // 0x00 text, 0x01 menu, 0x02 copyright, 0x70-0x72 endword, 0x90-0x92 word …
  std::uint32_t start_page = 0;
  std::uint32_t page_count = 0;
  bool Holds(BookPosition at) const {
    return at.page >= 1 && static_cast<std::uint32_t>(at.page) >= start_page &&
           static_cast<std::uint64_t>(at.page) < static_cast<std::uint64_t>(start_page) + page_count &&
           at.offset >= 0 && at.offset < 2048;
  }
};

// The regions of the index page (the text file's first page), as many as fit in it.
std::vector<BookRegion> ParseIndexPage(std::string_view page);

// Which kind of region an id is.
bool IsWordIndex(std::uint8_t id);     // a forward ("word") index
bool IsEndwordIndex(std::uint8_t id);  // a backward ("endword") index
bool IsTextRegion(std::uint8_t id);    // text a position may point into: text, menu, copyright
bool IsSoundRegion(std::uint8_t id);   // the sound area, where a book declares one

// One key of an index leaf, with where the index says its entry is.
struct IndexKey {
  std::string key;  // the stored bytes
  BookPosition text;
  BookPosition heading;
};

// A fault of an index's pages: the page and what is wrong with it.
struct IndexFault {
  std::uint32_t page = 0;
  std::string what;
};

// Everything read from one index but its keys, which go one by one to the caller.
struct IndexContents {
  std::size_t keys = 0;              // plain leaf entries read
  std::vector<IndexFault> faults;    // structure faults: libeb must not search this index
  std::vector<IndexFault> disorder;  // leaves whose keys are out of order
  std::size_t group_entries = 0;     // grouped leaf entries, not read (their layout varies)
};

// Walks the index tree of `region` from its root page. `read_page` gives a page's bytes
// (fewer than 2048 at the end of the file). Every child must lie inside the region and
// be met once, every entry must fit in its page and the tree is at most 16 layers deep,
// so the walk ends on any bytes. Each key goes to `on_key` in tree order as its leaf is
// read; nothing is kept, so an index of any size costs the memory of one page.
IndexContents ReadIndex(const BookRegion& region, const std::function<std::string(std::uint32_t)>& read_page,
                        const std::function<void(const IndexKey&)>& on_key);

// The key as a query for libeb: JIS X 0208 pairs as EUC-JP; empty when the key holds
// bytes that are not JIS X 0208 pairs.
std::string KeyAsQuery(std::string_view key);

}  // namespace tavex::verify
