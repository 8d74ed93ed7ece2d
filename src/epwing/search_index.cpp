// Key normalisation and the B-tree pages of the search indexes.
#include "epwing/search_index.h"

#include <algorithm>

#include "epwing/body_markup.h"
#include "epwing/jis.h"
#include "source/markup.h"
#include "text/cp932.h"
#include "text/error.h"
#include "text/plain_letters.h"

namespace tavex::epwing {
namespace {

constexpr std::uint8_t kLeafLayer = 0x80, kLayerStart = 0x40, kLayerEnd = 0x20;
constexpr std::size_t kLeafFixedBytes = 13;  // length byte and two positions
constexpr std::size_t kHeadingOffset = 4;    // the heading keyword control

// Index style values: 0 converts, 1 keeps as is; a zero mark field removes marks.
constexpr std::uint32_t kConvert = 0, kAsIs = 1;

void AppendJis(std::string& out, std::uint16_t jis) {
  // Spaces go; letters are upper case; the marks readers remove go too; katakana is
  // written as hiragana, as readers rewrite it in a query.
  if (jis == kJisSpace || jis == 0x2126 || jis == 0x213E || jis == 0x2147 || jis == 0x215D) return;
  if ((jis >> 8) == 0x23 && (jis & 0xFF) >= 0x61 && (jis & 0xFF) <= 0x7A) jis -= 0x20;
  jis = HiraganaOf(jis);
  out.push_back(static_cast<char>(jis >> 8));
  out.push_back(static_cast<char>(jis & 0xFF));
}

void AppendFolded(std::string& out, char32_t c) {
  if (const std::uint16_t jis = JisFromUnicode(c)) {
    AppendJis(out, jis);
    return;
  }
  for (char letter : PlainLetters(c)) AppendJis(out, JisFromAscii(static_cast<unsigned char>(letter)));
}

// One page being filled: its bytes and its last key.
struct Page {
  std::string bytes;
  std::string last_key;
};

}  // namespace

std::string NormalizedKey(std::string_view sjis, source::WarningTally& warnings) {
  std::string key;
  std::size_t i = 0;
  while (i < sjis.size()) {
    const auto b = static_cast<unsigned char>(sjis[i]);
    if (b == '<') {
      const std::size_t close = sjis.find('>', i);
      i = close == std::string_view::npos ? sjis.size() : close + 1;
    } else if (b == '&' && source::DecodeEntity(sjis.substr(i))) {
      auto entity = source::DecodeEntity(sjis.substr(i));
      if (entity->first < 0x80) {
        AppendJis(key, JisFromAscii(static_cast<unsigned char>(entity->first)));
      } else if (entity->first != 0xA0) {
        AppendFolded(key, entity->first);
      }
      i += entity->second;
    } else if (IsSjisLeadByte(b) && i + 1 < sjis.size()) {
      if (const std::uint16_t jis = JisFromSjis(b, static_cast<unsigned char>(sjis[i + 1])))
        AppendJis(key, jis);
      i += 2;
    } else {
      if (b >= 0x20 && b < 0x7F) AppendJis(key, JisFromAscii(b));
      ++i;
    }
  }
  if (key.size() > kMaxKeyBytes) {
    warnings.Add("search key longer than 127 characters cut", SjisToUtf8(Sjis(std::string(sjis))));
    key.resize(kMaxKeyBytes);
  }
  return key;
}

std::string ReversedKey(std::string_view key) {
  std::string reversed;
  reversed.reserve(key.size());
  for (std::size_t i = key.size(); i >= 2; i -= 2) reversed.append(key.substr(i - 2, 2));
  return reversed;
}

std::uint32_t IndexStyleFlags() {
  return kConvert << 22    // katakana converted to hiragana
         | kConvert << 20  // lower case converted
         | 0u << 18        // marks removed
         | kAsIs << 16 | kAsIs << 14 | kAsIs << 12 | kAsIs << 10 | kAsIs << 8 | kAsIs << 6;
}

void SearchIndex::Add(std::string_view key, std::uint64_t text_at) {
  // Keys hold JIS X 0208 bytes (never zero), so a short key's zero padding sorts it
  // before every longer key it begins, as byte order wants.
  std::uint64_t head = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    head = (head << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
  }
  if (bytes_.size() + key.size() > UINT32_MAX) throw Error("the search index holds more than 4 GiB of keys");
  keys_.push_back(
      {head, text_at, static_cast<std::uint32_t>(bytes_.size()), static_cast<std::uint32_t>(key.size())});
  bytes_.append(key);
}

std::size_t SearchIndex::Finish() {
  std::sort(keys_.begin(), keys_.end(), [this](const Key& a, const Key& b) {
    if (a.head != b.head) return a.head < b.head;
    const int order = Bytes(a).compare(Bytes(b));
    return order != 0 ? order < 0 : a.text_at < b.text_at;
  });
  keys_.erase(std::unique(keys_.begin(), keys_.end(),
                          [this](const Key& a, const Key& b) {
                            return a.text_at == b.text_at && Bytes(a) == Bytes(b);
                          }),
              keys_.end());
  return keys_.size();
}

std::pair<std::uint32_t, std::uint32_t> SearchIndex::Write(HonmonFile& file) const {
  // Leaf pages: variable-length entries in key order.
  std::vector<std::vector<Page>> layers(1);
  auto new_page = [](std::vector<Page>& layer) {
    layer.emplace_back();
    layer.back().bytes.assign(4, '\0');
  };
  new_page(layers[0]);
  int count = 0;
  for (const Key& entry : keys_) {
    const std::string_view key_bytes = Bytes(entry);
    Page* page = &layers[0].back();
    if (page->bytes.size() + kLeafFixedBytes + key_bytes.size() > kPageSize) {
      PutUint(page->bytes.data() + 2, count, 2);
      new_page(layers[0]);
      page = &layers[0].back();
      count = 0;
    }
    page->bytes.push_back(static_cast<char>(key_bytes.size()));
    page->bytes += key_bytes;
    const PagePosition text = ToPagePosition(entry.text_at);
    const PagePosition heading = ToPagePosition(entry.text_at + kHeadingOffset);
    AppendUint(page->bytes, text.page, 4);
    AppendUint(page->bytes, text.offset, 2);
    AppendUint(page->bytes, heading.page, 4);
    AppendUint(page->bytes, heading.offset, 2);
    page->last_key = key_bytes;
    ++count;
  }
  PutUint(layers[0].back().bytes.data() + 2, count, 2);

  // Upper layers: fixed-length entries (a last key of the page below, zero padded) with
  // the page below; built until one page holds the layer. Page numbers are filled in
  // once every layer's size is known.
  //
  // Every entry keeps at least one zero byte after its key. A reader goes down into the
  // first entry whose key is not below the query, and it takes an entry whose width is
  // used up before the query ends as equal: an unpadded ＭＥＡＣＫＭＯＵＧＥＮ would send
  // the query ＭＥＡＣＫＭＯＵＧＥＮＥ into a branch that ends below it, where it is never
  // found. With a zero after the key, the query compares above it and goes on.
  while (layers.back().size() > 1) {
    const std::vector<Page>& below = layers.back();
    std::size_t width = 1;
    for (const Page& page : below) width = std::max(width, page.last_key.size() + 1);
    const std::size_t per_page = (kPageSize - 4) / (width + 4);
    std::vector<Page> layer;
    for (std::size_t first = 0; first < below.size(); first += per_page) {
      const std::size_t last = std::min(below.size(), first + per_page);
      Page page;
      page.bytes.assign(4, '\0');
      page.bytes[1] = static_cast<char>(width);
      PutUint(page.bytes.data() + 2, last - first, 2);
      for (std::size_t i = first; i < last; ++i) {
        std::string key = below[i].last_key;
        key.resize(width, '\0');
        page.bytes += key;
        page.bytes.append(4, '\0');  // the child's page, filled in below
      }
      page.last_key = below[last - 1].last_key;
      layer.push_back(std::move(page));
    }
    layers.push_back(std::move(layer));
  }

  // Layout: the root first, then each layer down to the leaves.
  const std::uint32_t first_page = file.PadToPage();
  std::vector<std::uint32_t> layer_start(layers.size());
  std::uint32_t next = first_page;
  for (std::size_t l = layers.size(); l-- > 0;) {
    layer_start[l] = next;
    next += static_cast<std::uint32_t>(layers[l].size());
  }
  for (std::size_t l = layers.size(); l-- > 0;) {
    std::vector<Page>& layer = layers[l];
    for (std::size_t p = 0; p < layer.size(); ++p) {
      std::string& bytes = layer[p].bytes;
      std::uint8_t id = l == 0 ? kLeafLayer : 0;
      if (p == 0) id |= kLayerStart;
      if (p + 1 == layer.size()) id |= kLayerEnd;
      bytes[0] = static_cast<char>(id);
      if (l > 0) {
        const std::size_t width = static_cast<unsigned char>(bytes[1]);
        const std::size_t per_page = (kPageSize - 4) / (width + 4);
        const std::size_t entries =
            (static_cast<unsigned char>(bytes[2]) << 8) | static_cast<unsigned char>(bytes[3]);
        for (std::size_t e = 0; e < entries; ++e) {
          const std::uint32_t child = layer_start[l - 1] + static_cast<std::uint32_t>(p * per_page + e);
          PutUint(bytes.data() + 4 + e * (width + 4) + width, child, 4);
        }
      }
      bytes.resize(kPageSize, '\0');
      file.Append(bytes);
    }
  }
  return {first_page, next - first_page};
}

}  // namespace tavex::epwing
