// The book source's gaiji: which Unicode character each gaiji code stands for
// (GaijiMap.xml) and its 16-dot glyph in the narrow (8×16) or wide (16×16) set
// (Gaiji.xml). The book keeps the source's codes, so TAVEX.map stays true for it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tavex::source {

// One gaiji: its code (0xA121…) and its set.
struct Gaiji {
  std::uint16_t code = 0;
  bool narrow = false;
};

// One glyph: 16 rows, each a 16-bit row of pixels with the leftmost pixel in the most
// significant bit (a narrow glyph uses the high 8 bits).
struct Glyph {
  std::uint16_t code = 0;
  char32_t unicode = 0;
  std::array<std::uint16_t, 16> rows{};
};

// The glyphs of one set, ordered by code.
struct FontSet {
  std::uint16_t start = 0xA121;  // the set's first code
  std::vector<Glyph> glyphs;
};

class GaijiSet {
 public:
  // Reads GaijiMap.xml and Gaiji.xml of `base_folder`. Throws Error naming the file when
  // one is missing or does not parse, or a glyph is malformed.
  static GaijiSet Load(const std::string& base_folder);

  // The gaiji standing for `unicode`, or null when there is none.
  const Gaiji* Find(char32_t unicode) const {
    auto it = by_unicode_.find(unicode);
    return it == by_unicode_.end() ? nullptr : &it->second;
  }
  const FontSet& narrow() const { return narrow_; }
  const FontSet& wide() const { return wide_; }

 private:
  std::unordered_map<char32_t, Gaiji> by_unicode_;
  FontSet narrow_;
  FontSet wide_;
};

}  // namespace tavex::source
