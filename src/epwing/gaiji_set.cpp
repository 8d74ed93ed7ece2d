// Reading the gaiji files of the book source and writing the book's gaiji fonts.
#include "epwing/gaiji_set.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/xml.h"

namespace tavex::epwing {
namespace {

constexpr std::size_t kPage = 2048;

// Parses hexadecimal digits after an optional "#x"; 0 when there are none.
std::uint32_t ParseHex(std::string_view text) {
  if (text.starts_with("#x") || text.starts_with("#X")) text.remove_prefix(2);
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

bool IsGaijiCode(std::uint32_t code) {
  return code >= 0xA121 && code <= 0xFE7E && (code & 0xFF) >= 0x21 && (code & 0xFF) <= 0x7E;
}

// The glyph rows of a fontData text: its lines made of "#" and ".", `width` wide.
bool ParseGlyph(std::string_view text, int width, Glyph& glyph) {
  int row = 0;
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    if (static_cast<int>(line.size()) != width || row >= 16) return false;
    std::uint16_t bits = 0;
    for (int x = 0; x < width; ++x) {
      if (line[x] == '#') {
        bits |= static_cast<std::uint16_t>(0x8000 >> x);
      } else if (line[x] != '.') {
        return false;
      }
    }
    glyph.rows[row++] = bits;
  }
  return row == 16;
}

xml::Document LoadXml(const std::string& path) {
  if (!FileExists(path)) throw Error(fmt::format("missing gaiji file {}", path));
  xml::Document doc;
  if (!doc.Load(path)) throw Error(fmt::format("cannot parse {}: {}", path, doc.LastError()));
  return doc;
}

// Glyph index of `code` in a set starting at `start`: 94 codes a row.
int GlyphIndex(std::uint16_t start, std::uint16_t code) {
  return ((code >> 8) - (start >> 8)) * 94 + ((code & 0xFF) - (start & 0xFF));
}

}  // namespace

GaijiSet GaijiSet::Load(const std::string& base_folder) {
  GaijiSet set;
  const std::string font_path = JoinPath(base_folder, "Gaiji.xml");
  xml::Document fonts = LoadXml(font_path);
  std::unordered_map<std::uint16_t, bool> narrow_of_code;
  for (const xml::Node& font_set : fonts.ElementsByTagName("fontSet")) {
    const std::string size = font_set.GetAttribute("size").value_or("");
    const bool narrow = size == "8X16";
    if (!narrow && size != "16X16") {
      throw Error(fmt::format("unexpected font size in {}: {}", font_path, size));
    }
    FontSet& target = narrow ? set.narrow_ : set.wide_;
    const std::uint32_t start = ParseHex(font_set.GetAttribute("start").value_or(""));
    if (!IsGaijiCode(start)) throw Error(fmt::format("bad start code in {}: {}", font_path, start));
    target.start = static_cast<std::uint16_t>(start);
    for (const xml::Node& data : font_set.ElementsByTagName("fontData")) {
      Glyph glyph;
      const std::string code_text = data.GetAttribute("ebcode").value_or("");
      const std::uint32_t code = ParseHex(code_text);
      if (!IsGaijiCode(code) || GlyphIndex(target.start, static_cast<std::uint16_t>(code)) < 0) {
        throw Error(fmt::format("bad gaiji code in {}: {}", font_path, code_text));
      }
      glyph.code = static_cast<std::uint16_t>(code);
      glyph.unicode = ParseHex(data.GetAttribute("unicode").value_or(""));
      if (!ParseGlyph(data.Text(), narrow ? 8 : 16, glyph)) {
        throw Error(fmt::format("malformed glyph in {}: {}", font_path, code_text));
      }
      target.glyphs.push_back(glyph);
      narrow_of_code[glyph.code] = narrow;
    }
  }
  for (FontSet* target : {&set.narrow_, &set.wide_}) {
    std::sort(target->glyphs.begin(), target->glyphs.end(),
              [](const Glyph& a, const Glyph& b) { return a.code < b.code; });
  }

  const std::string map_path = JoinPath(base_folder, "GaijiMap.xml");
  xml::Document map = LoadXml(map_path);
  for (const xml::Node& entry : map.ElementsByTagName("gaijiMap")) {
    const std::uint32_t unicode = ParseHex(entry.GetAttribute("unicode").value_or(""));
    const std::uint32_t code = ParseHex(entry.GetAttribute("ebcode").value_or(""));
    auto it = narrow_of_code.find(static_cast<std::uint16_t>(code));
    // A code without a glyph would show nothing: the character stays unknown.
    if (unicode == 0 || it == narrow_of_code.end()) continue;
    set.by_unicode_.emplace(unicode, Gaiji{static_cast<std::uint16_t>(code), it->second});
  }
  return set;
}

void WriteFontFile(const std::string& path, const FontSet& set, bool narrow) {
  const std::size_t glyph_size = narrow ? 16 : 32;
  int count = 1;
  if (!set.glyphs.empty()) count = GlyphIndex(set.start, set.glyphs.back().code) + 1;
  std::string data(kPage, '\0');
  data[10] = static_cast<char>(set.start >> 8);
  data[11] = static_cast<char>(set.start & 0xFF);
  data[12] = static_cast<char>(count >> 8);
  data[13] = static_cast<char>(count & 0xFF);
  const std::size_t glyph_bytes = static_cast<std::size_t>(count) * glyph_size;
  data.resize(kPage + (glyph_bytes + kPage - 1) / kPage * kPage, '\0');
  for (const Glyph& glyph : set.glyphs) {
    std::size_t at = kPage + static_cast<std::size_t>(GlyphIndex(set.start, glyph.code)) * glyph_size;
    for (int row = 0; row < 16; ++row) {
      data[at++] = static_cast<char>(glyph.rows[row] >> 8);
      if (!narrow) data[at++] = static_cast<char>(glyph.rows[row] & 0xFF);
    }
  }
  WriteFileInPlace(path, data);
}

std::string AfontsText(const GaijiSet& set) {
  std::string text;
  for (bool narrow : {true, false}) {
    for (const Glyph& glyph : (narrow ? set.narrow() : set.wide()).glyphs) {
      std::string utf8;
      const char32_t c = glyph.unicode;
      if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) continue;
      AppendUtf8(utf8, c);
      text += fmt::format("{}{:04x} {}\n", narrow ? 'n' : 'w', glyph.code, utf8);
    }
  }
  return text;
}

}  // namespace tavex::epwing
