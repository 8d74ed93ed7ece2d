// The settings file: a small INI text in UTF-8 with the sections "Form" (window geometry)
// and "Data" (source folder, database path, gaiji face, the authoring tool's base folder,
// whether the window's create run also builds the EPWING book).
// Section and key names are matched ignoring ASCII case and the first occurrence of a key
// counts, so that settings files written by hand or by older versions read the same. A
// value is read without the blanks around it, so one that starts or ends with a blank (a
// folder named "disc ") is written inside double quotes, and a pair of quotes around a
// value is taken off when it is read.
#include "pipeline/settings.h"

#include <fmt/format.h>

#include <cstdint>
#include <limits>
#include <map>
#include <utility>

#include "text/error.h"
#include "fs/files.h"
#include "text/text.h"

namespace tavex {
namespace {

// A settings file holds a few dozen short lines; anything far larger is not one.
constexpr std::uint64_t kMaxSettingsBytes = 1 << 20;

// (lower-case section, lower-case key) -> value.
using IniValues = std::map<std::pair<std::string, std::string>, std::string>;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

IniValues ParseIni(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte order mark
  IniValues values;
  std::string section;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = TrimBlanks(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      std::size_t close = line.find(']');
      section = AsciiLower(TrimBlanks(line.substr(1, close == std::string_view::npos
                                                          ? std::string_view::npos
                                                          : close - 1)));
      continue;
    }
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string key = AsciiLower(TrimBlanks(line.substr(0, equals)));
    values.emplace(std::make_pair(section, key), std::string(TrimBlanks(line.substr(equals + 1))));
  }
  return values;
}

const std::string* Find(const IniValues& values, const char* section, const char* key) {
  auto it = values.find({AsciiLower(section), AsciiLower(key)});
  return it == values.end() ? nullptr : &it->second;
}

// Reads an integer key (missing or empty: 0). False when the value is not a number.
bool ReadInt(const IniValues& values, const char* section, const char* key, int& out) {
  const std::string* text = Find(values, section, key);
  if (text == nullptr || text->empty()) {
    out = 0;
    return true;
  }
  std::int64_t value = 0;
  if (!ParseInt(*text, value) || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max()) {
    return false;
  }
  out = static_cast<int>(value);
  return true;
}

void ReadText(const IniValues& values, const char* section, const char* key, std::string& out) {
  const std::string* text = Find(values, section, key);
  if (text == nullptr) return;
  const bool quoted = text->size() >= 2 && text->front() == '"' && text->back() == '"';
  out = quoted ? text->substr(1, text->size() - 2) : *text;
}

// A value as written: quoted when reading would take blanks off its ends, or a quote.
std::string WrittenText(const std::string& value) {
  if (value.empty()) return value;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  const bool quote = blank(value.front()) || blank(value.back()) || value.front() == '"';
  return quote ? '"' + value + '"' : value;
}

}  // namespace

Settings LoadSettings(const std::string& path) {
  Settings settings;
  if (!FileExists(path)) return settings;
  IniValues values = ParseIni(ReadFileBounded(path, kMaxSettingsBytes, "settings file"));
  // Reading stops at the first value that cannot be read; what was read before it stays.
  struct IntKey {
    const char* name;
    int Settings::*field;
  };
  for (const IntKey& key : {IntKey{"FormTop", &Settings::form_top},
                            IntKey{"FormLeft", &Settings::form_left},
                            IntKey{"FormWidth", &Settings::form_width},
                            IntKey{"FormHeight", &Settings::form_height}}) {
    int value = 0;
    if (!ReadInt(values, "Form", key.name, value)) return settings;
    settings.*key.field = value;
  }
  ReadText(values, "Data", "src_folder", settings.src_folder);
  ReadText(values, "Data", "mdb_file", settings.mdb_file);
  ReadText(values, "Data", "gaiji_font", settings.gaiji_font);
  if (settings.gaiji_font.empty()) settings.gaiji_font = kDefaultGaijiFont;
  ReadText(values, "Data", "ebs_base", settings.ebs_base);
  std::string build_epwing;
  ReadText(values, "Data", "build_epwing", build_epwing);
  settings.build_epwing = build_epwing != "0";
  std::string build_other;
  ReadText(values, "Data", "build_stardict", build_other);
  settings.build_stardict = build_other == "1";
  build_other.clear();
  ReadText(values, "Data", "build_mdict", build_other);
  settings.build_mdict = build_other == "1";
  return settings;
}

void SaveSettings(const std::string& path, const Settings& settings) {
  // A line break inside a value would end the value early and start a key of its own.
  const std::pair<const char*, const std::string*> texts[] = {
      {"src_folder", &settings.src_folder},
      {"mdb_file", &settings.mdb_file},
      {"gaiji_font", &settings.gaiji_font},
      {"ebs_base", &settings.ebs_base}};
  std::string data =
      fmt::format("[Form]\nFormTop={}\nFormLeft={}\nFormWidth={}\nFormHeight={}\n\n[Data]\n",
                  settings.form_top, settings.form_left, settings.form_width,
                  settings.form_height);
  for (const auto& [key, value] : texts) {
    if (value->find_first_of("\r\n") != std::string::npos) {
      throw Error(fmt::format("cannot write {}: the value of {} holds a line break", path, key));
    }
    data += fmt::format("{}={}\n", key, WrittenText(*value));
  }
  data += fmt::format("build_epwing={}\n", settings.build_epwing ? 1 : 0);
  data += fmt::format("build_stardict={}\nbuild_mdict={}\n", settings.build_stardict ? 1 : 0,
                      settings.build_mdict ? 1 : 0);
  WriteFileAtomic(path, data);
}

}  // namespace tavex
