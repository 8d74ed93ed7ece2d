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

// One upper page being filled.
struct Page {
  std::string bytes;
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

// A key's first eight bytes, big-endian. Keys hold JIS X 0208 bytes (never zero), so a
// short key's zero padding sorts it before every longer key it begins, as byte order
// wants.
std::uint64_t SearchIndex::Head(std::string_view key) {
  std::uint64_t head = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    head = (head << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return head;
}

void SearchIndex::Reverse() {
  for (Key& key : keys_) {
    char* bytes = chunks_[key.offset / kChunkBytes].data() + key.offset % kChunkBytes;
    std::reverse(bytes, bytes + key.size);
    for (std::uint32_t i = 0; i + 1 < key.size; i += 2) std::swap(bytes[i], bytes[i + 1]);
    key.head = Head(Bytes(key));
  }
}

void SearchIndex::Add(std::string_view key, std::uint64_t text_at) {
  const std::uint64_t head = Head(key);
  // Keys go into blocks of a fixed size that are filled and never moved, and their
  // records into a deque: neither is copied to a store twice its size as it grows, so the
  // two indexes of a large book take little more than their keys.
  if (chunks_.empty() || chunks_.back().size() + key.size() > kChunkBytes) {
    if (chunks_.size() >= (std::size_t{1} << 32) / kChunkBytes)
      throw Error("the search index holds more than 4 GiB of keys");
    chunks_.emplace_back();
    chunks_.back().reserve(kChunkBytes);
  }
  std::string& chunk = chunks_.back();
  const auto offset = static_cast<std::uint32_t>((chunks_.size() - 1) * kChunkBytes + chunk.size());
  keys_.push_back({head, text_at, offset, static_cast<std::uint32_t>(key.size())});
  chunk.append(key);
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
  // Leaf pages: variable-length entries in key order. Only where each page ends is kept
  // here; a leaf's bytes are made when it is written, so that the pages of a large index
  // are never all held at once.
  std::vector<std::size_t> leaf_ends;  // one past each leaf page's last key
  std::size_t used = 4;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    const std::size_t entry_bytes = kLeafFixedBytes + keys_[i].size;
    if (used + entry_bytes > kPageSize) {
      leaf_ends.push_back(i);
      used = 4;
    }
    used += entry_bytes;
  }
  leaf_ends.push_back(keys_.size());

  // Upper layers: fixed-length entries (a last key of the page below, zero padded) with
  // the page below; built until one page holds the layer. Page numbers are filled in
  // once every layer's size is known.
  //
  // Every entry keeps at least one zero byte after its key. A reader goes down into the
  // first entry whose key is not below the query, and it takes an entry whose width is
  // used up before the query ends as equal: an unpadded ＭＥＡＣＫＭＯＵＧＥＮ would send
  // the query ＭＥＡＣＫＭＯＵＧＥＮＥ into a branch that ends below it, where it is never
  // found. With a zero after the key, the query compares above it and goes on.
  std::vector<std::string> below_last;  // the last key of each page of the layer below
  below_last.reserve(leaf_ends.size());
  for (std::size_t end : leaf_ends) below_last.emplace_back(end > 0 ? Bytes(keys_[end - 1]) : std::string_view());
  std::vector<std::vector<Page>> upper;  // upper[0] lies just above the leaves
  while (below_last.size() > 1) {
    std::size_t width = 1;
    for (const std::string& key : below_last) width = std::max(width, key.size() + 1);
    const std::size_t per_page = (kPageSize - 4) / (width + 4);
    std::vector<Page> layer;
    std::vector<std::string> layer_last;
    for (std::size_t first = 0; first < below_last.size(); first += per_page) {
      const std::size_t last = std::min(below_last.size(), first + per_page);
      Page page;
      page.bytes.assign(4, '\0');
      page.bytes[1] = static_cast<char>(width);
      PutUint(page.bytes.data() + 2, last - first, 2);
      for (std::size_t i = first; i < last; ++i) {
        page.bytes += below_last[i];
        page.bytes.append(width - below_last[i].size(), '\0');
        page.bytes.append(4, '\0');  // the child's page, filled in below
      }
      layer_last.push_back(below_last[last - 1]);
      layer.push_back(std::move(page));
    }
    upper.push_back(std::move(layer));
    below_last = std::move(layer_last);
  }

  // Layout: the root first, then each layer down to the leaves.
  const std::size_t layers = upper.size() + 1;
  auto layer_size = [&](std::size_t l) { return l == 0 ? leaf_ends.size() : upper[l - 1].size(); };
  const std::uint32_t first_page = file.PadToPage();
  std::vector<std::uint32_t> layer_start(layers);
  std::uint32_t next = first_page;
  for (std::size_t l = layers; l-- > 0;) {
    layer_start[l] = next;
    next += static_cast<std::uint32_t>(layer_size(l));
  }
  auto layer_id = [](std::size_t l, std::size_t p, std::size_t pages) {
    std::uint8_t id = l == 0 ? kLeafLayer : 0;
    if (p == 0) id |= kLayerStart;
    if (p + 1 == pages) id |= kLayerEnd;
    return static_cast<char>(id);
  };
  for (std::size_t l = layers; l-- > 1;) {
    std::vector<Page>& layer = upper[l - 1];
    for (std::size_t p = 0; p < layer.size(); ++p) {
      std::string& bytes = layer[p].bytes;
      bytes[0] = layer_id(l, p, layer.size());
      const std::size_t width = static_cast<unsigned char>(bytes[1]);
      const std::size_t per_page = (kPageSize - 4) / (width + 4);
      const std::size_t entries =
          (static_cast<unsigned char>(bytes[2]) << 8) | static_cast<unsigned char>(bytes[3]);
      for (std::size_t e = 0; e < entries; ++e) {
        const std::uint32_t child = layer_start[l - 1] + static_cast<std::uint32_t>(p * per_page + e);
        PutUint(bytes.data() + 4 + e * (width + 4) + width, child, 4);
      }
      bytes.resize(kPageSize, '\0');
      file.Append(bytes);
    }
  }
  std::string leaf;
  leaf.reserve(kPageSize);
  std::size_t begin = 0;
  for (std::size_t p = 0; p < leaf_ends.size(); ++p) {
    leaf.assign(4, '\0');
    leaf[0] = layer_id(0, p, leaf_ends.size());
    PutUint(leaf.data() + 2, leaf_ends[p] - begin, 2);
    for (std::size_t i = begin; i < leaf_ends[p]; ++i) {
      const std::string_view key_bytes = Bytes(keys_[i]);
      leaf.push_back(static_cast<char>(key_bytes.size()));
      leaf += key_bytes;
      const PagePosition text = ToPagePosition(keys_[i].text_at);
      const PagePosition heading = ToPagePosition(keys_[i].text_at + kHeadingOffset);
      AppendUint(leaf, text.page, 4);
      AppendUint(leaf, text.offset, 2);
      AppendUint(leaf, heading.page, 4);
      AppendUint(leaf, heading.offset, 2);
    }
    begin = leaf_ends[p];
    leaf.resize(kPageSize, '\0');
    file.Append(leaf);
  }
  return {first_page, next - first_page};
}

}  // namespace tavex::epwing
