#include "check/gaiji_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

#include "check/line_reader.h"
#include "check/markup.h"
#include "fs/files.h"

namespace tavex::check {

namespace {

constexpr const char* kMapName = "GaijiMap.xml";
constexpr const char* kFontName = "Gaiji.xml";
constexpr const char* kRerunGaiji = "re-run `tavex2epwing gaiji` to write both gaiji files anew";
constexpr int kGlyphRows = 16;

// The two font sets: full width first, then half width.
struct SetInfo {
  const char* map_label;   // the comment that opens the set in GaijiMap.xml
  const char* font_label;  // the fontSet size in Gaiji.xml
  std::size_t width;       // glyph columns
};
constexpr std::array<SetInfo, 2> kSets = {{{"zenkaku", "16X16", 16}, {"hankaku", "8X16", 8}}};

// One gaiji as either file lists it.
struct GaijiItem {
  std::uint32_t unicode = 0;
  std::uint32_t code = 0;
  int line = 0;
};
using GaijiSets = std::array<std::vector<GaijiItem>, 2>;

// Codes already seen in one set, with the line of their first use.
using CodeLines = std::unordered_map<std::uint32_t, int>;

// Reports a code outside the layout or used before in the same set.
void CheckCode(const char* file, const GaijiItem& item, std::size_t set, CodeLines& seen, FindingSink& sink) {
  if (!InGaijiLayout(item.code)) {
    sink.Error("code-layout", file, item.line,
               fmt::format("gaiji code {} for {} is outside the book's code layout (rows A1 to FE, "
                           "columns 21 to 7E)",
                           GaijiCodeName(item.code), CodePointName(item.unicode)),
               kRerunGaiji);
  }
  auto [it, fresh] = seen.emplace(item.code, item.line);
  if (!fresh) {
    sink.Error("code-twice", file, item.line,
               fmt::format("gaiji code {} is used twice in the {} set (first on line {})",
                           GaijiCodeName(item.code), kSets[set].map_label, it->second),
               kRerunGaiji);
  }
}

bool ReadGaijiMap(const std::string& base_folder, GaijiSets& sets, GaijiMapSummary& summary,
                  FindingSink& sink) {
  LineReader reader(base_folder, kMapName);
  if (!reader.is_open()) return false;
  std::size_t set = 0;
  std::array<CodeLines, 2> codes;
  std::unordered_map<std::uint32_t, int> unicodes;
  std::string_view line;
  while (reader.Next(line)) {
    std::size_t comment = line.find("<!--");
    if (comment != std::string_view::npos) {
      if (line.find(kSets[0].map_label, comment) != std::string_view::npos) set = 0;
      if (line.find(kSets[1].map_label, comment) != std::string_view::npos) set = 1;
    }
    for (std::size_t pos = line.find("<gaijiMap"); pos != std::string_view::npos;
         pos = line.find("<gaijiMap", pos + 1)) {
      std::string_view tag = StartTagAt(line, pos);
      auto unicode = AttributeValue(tag, "unicode");
      auto code = AttributeValue(tag, "ebcode");
      std::optional<std::uint32_t> unicode_value;
      if (unicode && unicode->size() > 2 && (*unicode)[0] == '#' &&
          ((*unicode)[1] == 'x' || (*unicode)[1] == 'X')) {
        unicode_value = ParseHex(unicode->substr(2));
      }
      std::optional<std::uint32_t> code_value = code ? ParseHex(*code) : std::nullopt;
      if (!unicode_value || !code_value) {
        sink.Error("map-entry", kMapName, reader.line_number(),
                   "gaijiMap entry without a readable unicode=\"#xHHHH\" and ebcode=\"HHHH\"", kRerunGaiji);
        continue;
      }
      GaijiItem item{*unicode_value, *code_value, reader.line_number()};
      CheckCode(kMapName, item, set, codes[set], sink);
      auto [it, fresh] = unicodes.emplace(item.unicode, item.line);
      if (!fresh) {
        sink.Error(
            "unicode-twice", kMapName, item.line,
            fmt::format("{} is mapped twice (first on line {})", CodePointName(item.unicode), it->second),
            kRerunGaiji);
      }
      sets[set].push_back(item);
      summary.mapped.insert(item.unicode);
    }
  }
  reader.ReportTallies(sink);
  return true;
}

// Reads Gaiji.xml glyph by glyph, checking each glyph's picture and that its code is the
// one the authoring tool gives it by counting from the set's start.
class FontReader {
 public:
  FontReader(GaijiSets& sets, FindingSink& sink) : sets_(sets), sink_(sink) {}

  void Line(std::string_view line, int number) {
    if (glyph_open_) {
      std::size_t end = line.find("</fontData>");
      std::string_view row = end == std::string_view::npos ? line : line.substr(0, end);
      if (end == std::string_view::npos || !row.empty()) Row(row, number);
      if (end != std::string_view::npos) CloseGlyph();
      return;
    }
    if (std::size_t pos = line.find("<fontSet"); pos != std::string_view::npos) {
      OpenSet(StartTagAt(line, pos), number);
    } else if (std::size_t pos = line.find("<fontData"); pos != std::string_view::npos) {
      OpenGlyph(StartTagAt(line, pos), number);
    } else if (line.find("</fontSet>") != std::string_view::npos) {
      set_.reset();
    }
  }

  void End() {
    if (glyph_open_) {
      sink_.Error("glyph-open", kFontName, item_.line,
                  fmt::format("glyph {} has no closing </fontData>", GaijiCodeName(item_.code)), kRerunGaiji);
    }
    // The two sets share one code space: their ranges, from the start to the last code, must not meet.
    const auto& [a, b] = range_;
    if (a.first != 0 && b.first != 0 && a.first <= b.second && b.first <= a.second) {
      const std::size_t later = a.first > b.first ? 0 : 1;
      sink_.Error(
          "font-set", kFontName, set_line_[later],
          fmt::format("the {} fontSet's codes {} to {} overlap the {} fontSet's {} to {}",
                      kSets[later].font_label, GaijiCodeName(range_[later].first),
                      GaijiCodeName(range_[later].second), kSets[1 - later].font_label,
                      GaijiCodeName(range_[1 - later].first), GaijiCodeName(range_[1 - later].second)),
          kRerunGaiji);
    }
  }

 private:
  void OpenSet(std::string_view tag, int number) {
    set_.reset();
    expected_.reset();
    auto size = AttributeValue(tag, "size");
    for (std::size_t i = 0; i < kSets.size(); ++i) {
      if (size && *size == kSets[i].font_label) set_ = i;
    }
    if (!set_) {
      sink_.Error("font-set", kFontName, number,
                  fmt::format("fontSet size \"{}\" is neither 16X16 nor 8X16",
                              size ? std::string(*size) : std::string()),
                  kRerunGaiji);
      return;
    }
    if (set_line_[*set_] != 0) {
      sink_.Error("font-set", kFontName, number,
                  fmt::format("a second {} fontSet (the first is on line {}): the EPWING writer refuses the "
                              "file",
                              kSets[*set_].font_label, set_line_[*set_]),
                  kRerunGaiji);
    } else {
      set_line_[*set_] = number;
    }
    auto start = AttributeValue(tag, "start");
    std::optional<std::uint32_t> start_code = start ? ParseHex(*start) : std::nullopt;
    if (start_code && InGaijiLayout(*start_code)) {
      expected_ = *start_code;
      if (range_[*set_].first == 0) range_[*set_] = {*start_code, *start_code};
    } else {
      sink_.Error(
          "font-set", kFontName, number,
          fmt::format("fontSet {} has no start code in the book's code layout", kSets[*set_].font_label),
          kRerunGaiji);
    }
    ordinal_ = 0;
    numbering_reported_ = false;
  }

  void OpenGlyph(std::string_view tag, int number) {
    glyph_open_ = true;
    rows_ = 0;
    shape_fault_.clear();
    auto code = AttributeValue(tag, "ebcode");
    auto unicode = AttributeValue(tag, "unicode");
    auto code_value = code ? ParseHex(*code) : std::nullopt;
    auto unicode_value = unicode ? ParseHex(*unicode) : std::nullopt;
    item_ = GaijiItem{unicode_value.value_or(0), code_value.value_or(0), number};
    if (!set_ || !code_value || !unicode_value) {
      sink_.Error("font-entry", kFontName, number,
                  set_ ? "fontData without a readable ebcode and unicode"
                       : "fontData outside a fontSet of size 16X16 or 8X16",
                  kRerunGaiji);
      return;
    }
    CheckCode(kFontName, item_, *set_, codes_[*set_], sink_);
    if (range_[*set_].first != 0) range_[*set_].second = std::max(range_[*set_].second, item_.code);
    ++ordinal_;
    if (expected_) {
      if (item_.code != *expected_ && !numbering_reported_) {
        // Every later glyph is off as well; one finding per set says it.
        numbering_reported_ = true;
        sink_.Error("numbering", kFontName, number,
                    fmt::format("glyph {} for {} is glyph {} of the {} set, which the authoring "
                                "tool numbers {}: the map points at the wrong glyphs from here on",
                                GaijiCodeName(item_.code), CodePointName(item_.unicode), ordinal_,
                                kSets[*set_].font_label, GaijiCodeName(*expected_)),
                    kRerunGaiji);
      }
      expected_ = NextGaijiCode(*expected_);
    }
    sets_[*set_].push_back(item_);
  }

  void Row(std::string_view row, int number) {
    ++rows_;
    if (!set_ || !shape_fault_.empty()) return;
    std::size_t width = kSets[*set_].width;
    if (row.size() != width) {
      shape_fault_ = fmt::format("row {} (line {}) has {} characters", rows_, number, row.size());
    } else if (row.find_first_not_of("#.") != std::string_view::npos) {
      shape_fault_ = fmt::format("row {} (line {}) holds characters other than '#' and '.'", rows_, number);
    }
  }

  void CloseGlyph() {
    glyph_open_ = false;
    if (!set_) return;
    if (shape_fault_.empty() && rows_ != kGlyphRows) {
      shape_fault_ = fmt::format("it has {}", Counted(rows_, "row"));
    }
    if (shape_fault_.empty()) return;
    std::size_t width = kSets[*set_].width;
    sink_.Error(
        "glyph-shape", kFontName, item_.line,
        fmt::format("glyph {} for {} is not {} rows of {} '#' or '.' characters: {}",
                    GaijiCodeName(item_.code), CodePointName(item_.unicode), kGlyphRows, width, shape_fault_),
        kRerunGaiji);
  }

  GaijiSets& sets_;
  FindingSink& sink_;
  std::optional<std::size_t> set_;
  std::optional<std::uint32_t> expected_;  // the code the tool gives the next glyph
  int ordinal_ = 0;
  bool numbering_reported_ = false;
  std::array<CodeLines, 2> codes_;
  std::array<int, 2> set_line_{};  // the line of each set's fontSet, 0 before it
  std::array<std::pair<std::uint32_t, std::uint32_t>, 2> range_{};  // each set's start and last code
  bool glyph_open_ = false;
  GaijiItem item_;
  int rows_ = 0;
  std::string shape_fault_;
};

bool ReadGaijiFont(const std::string& base_folder, GaijiSets& sets, FindingSink& sink) {
  LineReader reader(base_folder, kFontName);
  if (!reader.is_open()) return false;
  FontReader font(sets, sink);
  std::string_view line;
  while (reader.Next(line)) font.Line(line, reader.line_number());
  font.End();
  reader.ReportTallies(sink);
  return true;
}

// Reports, per set, the first place where the font's glyphs and the map's entries part.
void CompareOrder(const GaijiSets& map, const GaijiSets& font, FindingSink& sink) {
  for (std::size_t set = 0; set < kSets.size(); ++set) {
    const auto& entries = map[set];
    const auto& glyphs = font[set];
    std::size_t common = std::min(entries.size(), glyphs.size());
    std::size_t i = 0;
    while (i < common && entries[i].unicode == glyphs[i].unicode && entries[i].code == glyphs[i].code) {
      ++i;
    }
    if (i < common) {
      sink.Error("order", kFontName, glyphs[i].line,
                 fmt::format("glyph {} of the {} set is {} as {}, but GaijiMap.xml's {} entry {} "
                             "(line {}) is {} as {}",
                             i + 1, kSets[set].font_label, CodePointName(glyphs[i].unicode),
                             GaijiCodeName(glyphs[i].code), kSets[set].map_label, i + 1, entries[i].line,
                             CodePointName(entries[i].unicode), GaijiCodeName(entries[i].code)),
                 kRerunGaiji);
    } else if (entries.size() != glyphs.size()) {
      bool map_longer = entries.size() > glyphs.size();
      sink.Error("order", map_longer ? kMapName : kFontName,
                 map_longer ? entries[common].line : glyphs[common].line,
                 fmt::format("the {} set has {} in GaijiMap.xml but {} in Gaiji.xml", kSets[set].map_label,
                             Counted(entries.size(), "entry", "entries"), Counted(glyphs.size(), "glyph")),
                 kRerunGaiji);
    }
  }
}

}  // namespace

GaijiMapSummary CheckGaijiFiles(const std::string& base_folder, FindingSink& sink) {
  GaijiMapSummary summary;
  GaijiSets map_sets;
  GaijiSets font_sets;
  summary.present = ReadGaijiMap(base_folder, map_sets, summary, sink);
  bool font_read = ReadGaijiFont(base_folder, font_sets, sink);
  if (summary.present && font_read) CompareOrder(map_sets, font_sets, sink);
  return summary;
}

}  // namespace tavex::check
