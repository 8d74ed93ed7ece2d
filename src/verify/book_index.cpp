// The index page and the index trees, read with every count and position checked
// against the page and the region before it is used.
#include "verify/book_index.h"

#include <fmt/format.h>

namespace tavex::verify {
namespace {

constexpr std::size_t kPage = 2048;
constexpr int kMaxDepth = 16;

std::uint32_t Big(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

BookPosition PositionAt(std::string_view bytes, std::size_t at) {
  return {static_cast<int>(Big(bytes, at, 4)), static_cast<int>(Big(bytes, at + 4, 2))};
}

class TreeWalk {
 public:
  TreeWalk(const BookRegion& region, const std::function<std::string(std::uint32_t)>& read_page,
           const std::function<void(const IndexKey&)>& on_key, IndexContents& out)
      : region_(region), read_page_(read_page), on_key_(on_key), out_(out), seen_(region.page_count, false) {}

  // The keys a page below an upper page may hold: from the previous entry's key to its
  // own, compared over the upper page's key width. A reader's search for a key goes
  // down to the first entry whose key is not below it, so a key outside its range is
  // never found.
  struct Range {
    std::string low;   // keys are not below it (empty: no bound)
    std::string high;  // keys are not above it (empty: no bound)
    std::size_t width = 0;
    bool Holds(const std::string& key) const {
      const std::string cut = key.substr(0, width);
      return (low.empty() || cut >= low) && (high.empty() || cut <= high);
    }
  };

  // Reads page `page` at depth `depth`; false when the walk must stop.
  bool Visit(std::uint32_t page, int depth, const Range& range) {
    if (depth > kMaxDepth)
      return Fault(page, fmt::format("the index tree is deeper than {} layers", kMaxDepth));
    if (page < region_.start_page || page - region_.start_page >= region_.page_count) {
      return Fault(page, "a page of the index points outside the index");
    }
    if (seen_[page - region_.start_page]) return Fault(page, "a page of the index is reached twice");
    seen_[page - region_.start_page] = true;
    const std::string bytes = read_page_(page);
    if (bytes.size() < kPage) return Fault(page, "the index page lies past the end of the file");
    const auto id = static_cast<unsigned char>(bytes[0]);
    const std::size_t width = static_cast<unsigned char>(bytes[1]);
    const std::size_t count = Big(bytes, 2, 2);
    if ((id & 0x80) == 0) {
      if (width == 0 || count == 0 || 4 + count * (width + 4) > kPage) {
        return Fault(page, fmt::format("an index page holds {} entries of {} bytes, which do not fit", count,
                                       width + 4));
      }
      Range child{range.low, "", width};
      for (std::size_t e = 0; e < count; ++e) {
        std::string key = bytes.substr(4 + e * (width + 4), width);
        key.erase(key.find_last_not_of('\0') + 1);
        child.high = key;
        if (!Visit(Big(bytes, 4 + e * (width + 4) + width, 4), depth + 1, child)) return false;
        child.low = key;
      }
      return true;
    }
    if (id & 0x10) {
      out_.group_entries += count;
      return true;
    }
    std::size_t at = 4;
    for (std::size_t e = 0; e < count; ++e) {
      std::size_t length = width;
      if (width == 0) {
        if (at >= kPage) return Fault(page, "the entries of an index page run past its end");
        length = static_cast<unsigned char>(bytes[at++]);
      }
      if (at + length + 12 > kPage) return Fault(page, "the entries of an index page run past its end");
      IndexKey key{bytes.substr(at, length), PositionAt(bytes, at + length),
                   PositionAt(bytes, at + length + 6)};
      const bool first_of_page = out_.disorder.empty() || out_.disorder.back().page != page;
      if (out_.keys > 0 && key.key < last_key_ && first_of_page) {
        out_.disorder.push_back({page, "keys are out of order"});
      } else if (range.width > 0 && !range.Holds(key.key) && first_of_page) {
        out_.disorder.push_back({page, "a key lies outside the range its upper page gives the page"});
      }
      ++out_.keys;
      on_key_(key);
      last_key_ = std::move(key.key);
      at += length + 12;
    }
    return true;
  }

 private:
  bool Fault(std::uint32_t page, std::string what) {
    out_.faults.push_back({page, std::move(what)});
    return false;
  }

  const BookRegion& region_;
  const std::function<std::string(std::uint32_t)>& read_page_;
  const std::function<void(const IndexKey&)>& on_key_;
  IndexContents& out_;
  std::string last_key_;  // the key read last, for the order
  std::vector<bool> seen_;
};

}  // namespace

std::vector<BookRegion> ParseIndexPage(std::string_view page) {
  std::vector<BookRegion> regions;
  if (page.size() < 32) return regions;
  const std::size_t count = static_cast<unsigned char>(page[1]);
  for (std::size_t i = 0; i < count && 16 + (i + 1) * 16 <= page.size(); ++i) {
    const std::size_t at = 16 + i * 16;
    regions.push_back({static_cast<std::uint8_t>(page[at]), Big(page, at + 2, 4), Big(page, at + 6, 4)});
  }
  return regions;
}

bool IsWordIndex(std::uint8_t id) { return id >= 0x90 && id <= 0x92; }
bool IsEndwordIndex(std::uint8_t id) { return id >= 0x70 && id <= 0x72; }
bool IsTextRegion(std::uint8_t id) { return id == 0x00 || id == 0x01 || id == 0x02; }
bool IsSoundRegion(std::uint8_t id) { return id == 0xD8; }

IndexContents ReadIndex(const BookRegion& region, const std::function<std::string(std::uint32_t)>& read_page,
                        const std::function<void(const IndexKey&)>& on_key) {
  IndexContents contents;
  if (region.page_count == 0) {
    contents.faults.push_back({region.start_page, "the index has no pages"});
    return contents;
  }
  TreeWalk(region, read_page, on_key, contents).Visit(region.start_page, 0, TreeWalk::Range());
  return contents;
}

std::string KeyAsQuery(std::string_view key) {
  if (key.size() % 2 != 0) return {};
  std::string query;
  query.reserve(key.size());
  for (unsigned char b : key) {
    if (b < 0x21 || b > 0x7E) return {};
    query.push_back(static_cast<char>(b | 0x80));
  }
  return query;
}

}  // namespace tavex::verify
