// Reading the gaiji files of the book source.
#include "source/gaiji_map.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <new>
#include <optional>

#include "text/error.h"
#include "fs/files.h"
#include "fs/safe_file.h"
#include "source/source_bounds.h"
#include "text/text.h"
#include "xml/xml.h"

namespace tavex::source {
namespace {

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

// Parses a gaiji file of base_folder, read under its size bound without following links.
xml::Document LoadXml(const std::string& base_folder, const char* name) {
  ReadOnlyFile file = OpenInsideOrThrow(base_folder, name, source_bounds::Of(name), "gaiji file");
  const std::string text = file.ReadAll();
  xml::Document doc;
  try {
    if (!doc.LoadXml(text)) throw Error(fmt::format("cannot parse {}: {}", file.path(), doc.LastError()));
  } catch (const std::bad_alloc&) {
    throw Error(fmt::format("cannot parse {}: out of memory", file.path()));
  }
  return doc;
}

// Glyph index of `code` in a set starting at `start`: 94 codes a row.
int GlyphIndex(std::uint16_t start, std::uint16_t code) {
  return ((code >> 8) - (start >> 8)) * 94 + ((code & 0xFF) - (start & 0xFF));
}

// One font set of Gaiji.xml as read: where it starts and the line it was given on.
struct SetSource {
  long line = 0;
  std::uint16_t last = 0;  // the highest code of the set (its start when it has no glyph)
};

[[noreturn]] void Fault(const std::string& path, long line, const std::string& what) {
  throw Error(fmt::format("{}: line {}: {}", path, line, what));
}

}  // namespace

GaijiSet GaijiSet::Load(const std::string& base_folder) {
  GaijiSet set;
  const std::string font_path = JoinPath(base_folder, "Gaiji.xml");
  xml::Document fonts = LoadXml(base_folder, "Gaiji.xml");
  // The code of each glyph, with its set and line: a code is given once in one set.
  std::unordered_map<std::uint16_t, std::pair<bool, long>> narrow_of_code;
  std::optional<SetSource> sources[2];  // narrow, wide
  for (const xml::Node& font_set : fonts.ElementsByTagName("fontSet")) {
    const long set_line = font_set.Line();
    const std::string size = font_set.GetAttribute("size").value_or("");
    const bool narrow = size == "8X16";
    if (!narrow && size != "16X16") {
      Fault(font_path, set_line,
            fmt::format("unexpected font size \"{}\" (16X16 or 8X16)", EscapeControls(size)));
    }
    std::optional<SetSource>& source = sources[narrow ? 0 : 1];
    if (source) {
      Fault(font_path, set_line,
            fmt::format("a second {} fontSet (the first is on line {}): each size is given once", size,
                        source->line));
    }
    FontSet& target = narrow ? set.narrow_ : set.wide_;
    const std::string start_text = font_set.GetAttribute("start").value_or("");
    const std::uint32_t start = ParseHex(start_text);
    if (!IsGaijiCode(start)) {
      Fault(font_path, set_line,
            fmt::format("bad start code \"{}\" of the {} fontSet", EscapeControls(start_text), size));
    }
    target.start = static_cast<std::uint16_t>(start);
    source = SetSource{set_line, target.start};
    for (const xml::Node& data : font_set.ElementsByTagName("fontData")) {
      Glyph glyph;
      const long line = data.Line();
      const std::string code_text = data.GetAttribute("ebcode").value_or("");
      const std::uint32_t code = ParseHex(code_text);
      if (!IsGaijiCode(code)) {
        Fault(font_path, line, fmt::format("bad gaiji code \"{}\"", EscapeControls(code_text)));
      }
      if (GlyphIndex(target.start, static_cast<std::uint16_t>(code)) < 0) {
        Fault(font_path, line,
              fmt::format("gaiji code {} lies before the start {:04X} of its {} fontSet", code_text, start,
                          size));
      }
      glyph.code = static_cast<std::uint16_t>(code);
      glyph.unicode = ParseHex(data.GetAttribute("unicode").value_or(""));
      if (!ParseGlyph(data.Text(), narrow ? 8 : 16, glyph)) {
        Fault(font_path, line,
              fmt::format("malformed glyph {}: 16 rows of {} '#' or '.'", code_text, narrow ? 8 : 16));
      }
      auto [it, fresh] = narrow_of_code.try_emplace(glyph.code, narrow, line);
      if (!fresh) {
        Fault(font_path, line,
              fmt::format("gaiji code {} is given twice (first on line {})", code_text, it->second.second));
      }
      source->last = std::max(source->last, glyph.code);
      target.glyphs.push_back(glyph);
    }
  }
  // The two fonts are one code space: a code must not fall in both sets' ranges.
  if (sources[0] && sources[1]) {
    const bool narrow_first = set.narrow_.start <= set.wide_.start;
    const SetSource& first = narrow_first ? *sources[0] : *sources[1];
    const std::uint16_t second_start = narrow_first ? set.wide_.start : set.narrow_.start;
    if (second_start <= first.last) {
      const SetSource& second = narrow_first ? *sources[1] : *sources[0];
      Fault(
          font_path, second.line,
          fmt::format("the fontSet starting at {:04X} overlaps the one on line {}, whose codes run to {:04X}",
                      second_start, first.line, first.last));
    }
  }
  for (FontSet* target : {&set.narrow_, &set.wide_}) {
    std::sort(target->glyphs.begin(), target->glyphs.end(),
              [](const Glyph& a, const Glyph& b) { return a.code < b.code; });
  }

  const std::string map_path = JoinPath(base_folder, "GaijiMap.xml");
  xml::Document map = LoadXml(base_folder, "GaijiMap.xml");
  std::unordered_map<char32_t, long> line_of_unicode;
  for (const xml::Node& entry : map.ElementsByTagName("gaijiMap")) {
    const long line = entry.Line();
    const std::string unicode_text = entry.GetAttribute("unicode").value_or("");
    const std::string code_text = entry.GetAttribute("ebcode").value_or("");
    const std::uint32_t unicode = ParseHex(unicode_text);
    const std::uint32_t code = ParseHex(code_text);
    if (unicode == 0 || unicode > 0x10FFFF || !IsGaijiCode(code)) {
      Fault(map_path, line,
            fmt::format(
                "gaijiMap entry without a readable unicode=\"#xHHHH\" and ebcode=\"HHHH\" (\"{}\", \"{}\")",
                EscapeControls(unicode_text), EscapeControls(code_text)));
    }
    const bool in_narrow = sources[0] && code >= set.narrow_.start && code <= sources[0]->last;
    const bool in_wide = sources[1] && code >= set.wide_.start && code <= sources[1]->last;
    if (!in_narrow && !in_wide) {
      Fault(map_path, line, fmt::format("gaiji code {} lies outside both font sets of Gaiji.xml", code_text));
    }
    auto [first, fresh] = line_of_unicode.try_emplace(unicode, line);
    if (!fresh) {
      Fault(map_path, line,
            fmt::format("U+{:04X} is mapped twice (first on line {})", static_cast<std::uint32_t>(unicode),
                        first->second));
    }
    auto it = narrow_of_code.find(static_cast<std::uint16_t>(code));
    // A code inside a set without a glyph of its own would show a blank: the character stays unknown.
    if (it == narrow_of_code.end()) continue;
    set.by_unicode_.emplace(unicode, Gaiji{static_cast<std::uint16_t>(code), it->second.first});
  }
  return set;
}

}  // namespace tavex::source
