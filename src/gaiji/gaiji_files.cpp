#include "gaiji/gaiji_files.h"

#include <optional>

#include <fmt/format.h>

#include "gaiji/render_glyph.h"
#include "text/cp932.h"
#include "text/error.h"
#include "fs/files.h"
#include "text/text.h"
#include "store/database.h"
#include "store/tables.h"

namespace tavex::gaiji {
namespace {

constexpr int kCodesPerRow = 94;  // low bytes 0x21..0x7E
constexpr int kRows = 94;         // high bytes 0xA1..0xFE
constexpr int kMaxGaiji = kCodesPerRow * kRows;

std::uint32_t CodeOf(int ordinal) {
  return kFirstGaijiCode + static_cast<std::uint32_t>(ordinal / kCodesPerRow) * 0x100 +
         static_cast<std::uint32_t>(ordinal % kCodesPerRow);
}

std::string Hex4(std::uint32_t value) { return fmt::format("{:04X}", value); }

// Alternative texts go into an attribute value; markup characters in them would make
// the map unreadable, so they are written as references.
std::string EscapeAttribute(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Collects lines and joins them with CR LF, without a line end after the last.
class Lines {
 public:
  void Add(std::string line) {
    if (!first_) text_ += "\r\n";
    first_ = false;
    text_ += line;
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
  bool first_ = true;
};

void AddMapLines(Lines& lines, const std::vector<GaijiEntry>& entries) {
  for (const GaijiEntry& entry : entries) {
    if (entry.alt.empty()) {
      lines.Add(fmt::format("<gaijiMap unicode=\"#x{}\" ebcode=\"{}\" />", Hex4(entry.ws_code),
                            Hex4(entry.gaiji_code)));
    } else {
      lines.Add(fmt::format("<gaijiMap unicode=\"#x{}\" ebcode=\"{}\" alt=\"{}\" />", Hex4(entry.ws_code),
                            Hex4(entry.gaiji_code), EscapeAttribute(entry.alt)));
    }
  }
}

void AddFontLines(Lines& lines, const std::vector<GaijiEntry>& entries) {
  for (const GaijiEntry& entry : entries) {
    lines.Add(fmt::format("<fontData ebcode=\"{}\" unicode=\"{}\">", Hex4(entry.gaiji_code), Hex4(entry.ws_code)));
    lines.Add(entry.glyph.glyph_text);  // its 16 rows, already joined by CR LF
    lines.Add("</fontData>");
  }
}

void AddCharMapLines(Lines& lines, const std::vector<GaijiEntry>& entries, char prefix) {
  for (const GaijiEntry& entry : entries) {
    lines.Add(fmt::format("{}{}\tu{}\t{}", prefix, Hex4(entry.gaiji_code), Hex4(entry.ws_code), entry.alt));
  }
}

std::uint32_t ParseCode(const std::string& text) {
  std::int64_t value = 0;
  if (!ParseInt(text, value) || value < 0 || value > 0xFFFF) {
    throw Error("invalid ws_code in table char: \"" + text + "\"");
  }
  return static_cast<std::uint32_t>(value);
}

std::string CodeList(const std::vector<std::uint32_t>& codes) {
  std::string out;
  for (std::uint32_t code : codes) {
    if (!out.empty()) out += ' ';
    out += "U+" + Hex4(code);
  }
  return out;
}

}  // namespace

std::uint32_t GaijiCode(int ordinal) {
  if (ordinal < 0 || ordinal >= kMaxGaiji) {
    throw Error(fmt::format("gaiji number {} is outside the book's {} gaiji codes", ordinal, kMaxGaiji));
  }
  return CodeOf(ordinal);
}

std::vector<GaijiSource> LoadGaijiSources(const std::string& db_path) {
  std::vector<GaijiSource> sources;
  if (!FileExists(db_path)) return sources;
  store::Connection db(db_path);
  // Several alt rows for one character would repeat it; the first row (lowest index) wins.
  store::ForEachGaijiCandidate(db, [&sources](const store::GaijiCandidateRow& candidate) {
    const std::uint32_t code = ParseCode(candidate.ws_code);
    if (!sources.empty() && sources.back().ws_code == code) return;
    sources.push_back({code, candidate.alt});
  });
  return sources;
}

void AssignGaijiCodes(GaijiSets& sets) {
  const std::size_t total = sets.full_width.size() + sets.half_width.size();
  if (total > static_cast<std::size_t>(kMaxGaiji)) {
    throw Error(fmt::format("too many gaiji characters: {} (the book holds at most {})", total, kMaxGaiji));
  }
  int ordinal = 0;
  for (GaijiEntry& entry : sets.full_width) entry.gaiji_code = CodeOf(ordinal++);
  sets.half_width_start = CodeOf(ordinal);
  for (GaijiEntry& entry : sets.half_width) entry.gaiji_code = CodeOf(ordinal++);
}

GaijiSets NumberGaiji(const std::vector<GaijiSource>& sources, Renderer& renderer, const std::string& face,
                      Progress& progress) {
  GaijiSets sets;
  for (const GaijiSource& source : sources) {
    // Surrogate code units are halves of characters beyond U+FFFF, which the book writes
    // as the geta mark: no font draws a half, and the book never refers to one.
    if (source.ws_code >= 0xD800 && source.ws_code <= 0xDFFF) continue;
    const auto unit = static_cast<char16_t>(source.ws_code);
    std::optional<RasterGlyph> raster = renderer.Rasterise(unit, kGaijiCellHeight, face);
    progress.ProcessEvents();
    if (!raster) {
      sets.uncovered.push_back(source.ws_code);
      continue;
    }
    GaijiEntry entry{source.ws_code, source.alt, PlaceGlyph(*raster), 0};
    if (entry.glyph.width_class == 16) {
      sets.full_width.push_back(std::move(entry));
    } else if (entry.glyph.width_class == 8) {
      sets.half_width.push_back(std::move(entry));
    } else {
      sets.unfit.push_back(source.ws_code);
    }
  }
  AssignGaijiCodes(sets);
  return sets;
}

GaijiFiles FormatGaijiFiles(const GaijiSets& sets) {
  GaijiFiles files;
  files.uncovered_count = static_cast<int>(sets.uncovered.size());

  Lines map;
  map.Add("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>");
  map.Add("<gaijiSet>");
  map.Add("");
  map.Add("<!-- zenkaku -->");
  AddMapLines(map, sets.full_width);
  map.Add("");
  map.Add("<!-- hankaku -->");
  AddMapLines(map, sets.half_width);
  map.Add("</gaijiSet>");
  files.gaiji_map = map.Take();

  Lines font;
  font.Add("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>");
  font.Add("<gaijiData xml:space=\"preserve\">");
  font.Add("");
  font.Add("<fontSet size=\"16X16\" start=\"" + Hex4(kFirstGaijiCode) + "\">");
  AddFontLines(font, sets.full_width);
  font.Add("</fontSet>");
  font.Add("");
  font.Add("<fontSet size=\"8X16\" start=\"" + Hex4(sets.half_width_start) + "\">");
  AddFontLines(font, sets.half_width);
  font.Add("</fontSet>");
  font.Add("</gaijiData>");
  files.gaiji_font = font.Take();

  Lines chars;
  chars.Add("# TAVEX unicode");
  chars.Add("");
  chars.Add("# 16X16");
  AddCharMapLines(chars, sets.full_width, 'z');
  chars.Add("");
  chars.Add("# 8X16");
  AddCharMapLines(chars, sets.half_width, 'h');
  files.char_map = chars.Take();
  return files;
}

GaijiFiles BuildGaijiFiles(const std::string& db_path, const std::string& face, Renderer& renderer,
                           Progress& progress) {
  if (!FileExists(db_path)) return {};
  const GaijiSets sets = NumberGaiji(LoadGaijiSources(db_path), renderer, face, progress);
  if (!sets.uncovered.empty()) {
    progress.Warn(fmt::format("gaiji: {} character(s) have no glyph in any installed font and were left out: {}",
                              sets.uncovered.size(), CodeList(sets.uncovered)));
  }
  if (!sets.unfit.empty()) {
    // Combining marks (no advance) get no gaiji, nor does a glyph that no font draws
    // inside the cell at any size tried: the book keeps their references, which the
    // authoring tool shows as nothing.
    progress.Warn(fmt::format("gaiji: {} character(s) do not fit a 16-dot cell and were left out: {}",
                              sets.unfit.size(), CodeList(sets.unfit)));
  }
  return FormatGaijiFiles(sets);
}

GaijiFiles BuildGaijiFiles(const std::string& db_path, const std::string& face, Progress& progress) {
  if (!FileExists(db_path)) return {};
  Renderer renderer;
  return BuildGaijiFiles(db_path, face, renderer, progress);
}

void WriteGaijiFiles(const std::string& db_path, const std::string& base_folder, const std::string& face,
                     Progress& progress) {
  const GaijiFiles files = BuildGaijiFiles(db_path, face, progress);
  const std::pair<const char*, const std::string*> outputs[] = {
      {"GaijiMap.xml", &files.gaiji_map}, {"Gaiji.xml", &files.gaiji_font}, {"TAVEX.map", &files.char_map}};
  for (const auto& [name, text] : outputs) {
    WriteFileAtomic(JoinPath(base_folder, name), ToSjis(*text + "\r\n").bytes);
  }
}

}  // namespace tavex::gaiji
