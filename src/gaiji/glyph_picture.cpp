#include "gaiji/glyph_picture.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "text/error.h"
#include "fs/files.h"

namespace tavex::gaiji {
namespace {

constexpr unsigned char kInk = 0;
constexpr unsigned char kBlank = 255;
constexpr unsigned char kGap = 160;
constexpr unsigned char kUnusable = 220;

std::uint32_t Crc32(const std::string& data, std::size_t begin) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = begin; i < data.size(); ++i) {
    crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFu;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out += type;
  out += data;
  PutBigEndian(out, Crc32(out, start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string StoredZlib(const std::string& raw) {
  std::string out = "\x78\x01";
  std::size_t offset = 0;
  do {
    const std::size_t length = std::min<std::size_t>(raw.size() - offset, 65535);
    const bool last = offset + length == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(length & 0xFF);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(~length & 0xFF);
    out += static_cast<char>((~length >> 8) & 0xFF);
    out.append(raw, offset, length);
    offset += length;
  } while (offset < raw.size());
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(out, (b << 16) | a);
  return out;
}

}  // namespace

std::string EncodeGreyPng(int width, int height, const std::vector<unsigned char>& pixels) {
  if (width <= 0 || height <= 0 ||
      pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw Error("cannot encode a picture of " + std::to_string(width) + "x" + std::to_string(height) +
                " from " + std::to_string(pixels.size()) + " pixels");
  }
  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey, deflate, no filter choice, no interlace
  PutChunk(out, "IHDR", header);
  std::string raw;
  raw.reserve(static_cast<std::size_t>(width + 1) * height);
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // filter type: none
    raw.append(reinterpret_cast<const char*>(pixels.data()) + static_cast<std::size_t>(y) * width, width);
  }
  PutChunk(out, "IDAT", StoredZlib(raw));
  PutChunk(out, "IEND", "");
  return out;
}

std::string GlyphPicturePng(const std::vector<GlyphBitmap>& glyphs, const GlyphPictureOptions& options) {
  const int scale = std::max(1, options.scale);
  const int per_row = std::max(1, options.per_row);
  const int gap = std::max(0, options.gap);
  const int count = std::max<int>(1, static_cast<int>(glyphs.size()));
  const int rows = (count + per_row - 1) / per_row;

  // Each picture row is as wide as its slots; the picture as wide as its widest row.
  auto slot_width = [](const GlyphBitmap& g) { return g.width_class > 0 ? g.width_class : 8; };
  int width_px = 0;
  for (int r = 0; r < rows; ++r) {
    int row_width = gap;
    for (int i = r * per_row; i < std::min<int>(glyphs.size(), (r + 1) * per_row); ++i) {
      row_width += slot_width(glyphs[i]) * scale + gap;
    }
    width_px = std::max(width_px, row_width);
  }
  width_px = std::max(width_px, gap + 8 * scale + gap);
  const int height_px = gap + rows * (kGaijiCellHeight * scale + gap);
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width_px) * height_px, kGap);

  for (int r = 0; r < rows; ++r) {
    int x0 = gap;
    const int y0 = gap + r * (kGaijiCellHeight * scale + gap);
    for (int i = r * per_row; i < std::min<int>(glyphs.size(), (r + 1) * per_row); ++i) {
      const GlyphBitmap& glyph = glyphs[i];
      const int w = slot_width(glyph);
      const auto cells = GlyphRows(glyph.glyph_text);
      for (int y = 0; y < kGaijiCellHeight * scale; ++y) {
        for (int x = 0; x < w * scale; ++x) {
          unsigned char value = kUnusable;
          if (glyph.width_class > 0) {
            const int gy = y / scale;
            const int gx = x / scale;
            const bool ink = gy < static_cast<int>(cells.size()) &&
                             gx < static_cast<int>(cells[gy].size()) && cells[gy][gx];
            value = ink ? kInk : kBlank;
          }
          pixels[static_cast<std::size_t>(y0 + y) * width_px + x0 + x] = value;
        }
      }
      x0 += w * scale + gap;
    }
  }
  return EncodeGreyPng(width_px, height_px, pixels);
}

void WriteGlyphPicture(const std::string& path, const std::vector<GlyphBitmap>& glyphs,
                       const GlyphPictureOptions& options) {
  WriteFileAtomic(path, GlyphPicturePng(glyphs, options));
}

}  // namespace tavex::gaiji
