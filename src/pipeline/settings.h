// The settings file TAVEX_to_EPWING.ini in the workspace: sections "Form" and "Data".
#pragma once

#include <string>

namespace tavex {

inline constexpr const char* kDefaultGaijiFont = "Lucida Sans Unicode";

struct Settings {
  int form_top = 0;     // "Form" FormTop
  int form_left = 0;    // "Form" FormLeft
  int form_width = 0;   // "Form" FormWidth (0: use the work-area defaults)
  int form_height = 0;  // "Form" FormHeight
  std::string src_folder;  // "Data" src_folder: the source folder
  std::string mdb_file;    // "Data" mdb_file: the database field's text
  std::string gaiji_font = kDefaultGaijiFont;  // "Data" gaiji_font: face for the gaiji glyphs
  std::string ebs_base;    // "Data" ebs_base: base_folder as the authoring tool sees it (empty: derived)
  bool build_epwing = true;  // "Data" build_epwing: the window's "also build the EPWING book" (1 or 0)
  bool build_stardict = false;  // "Data" build_stardict: the window's "StarDict" (1 or 0)
  bool build_mdict = false;     // "Data" build_mdict: the window's "MDict" (1 or 0)
};

// Reads the file when it exists. A value that cannot be read (a bad number) ends the
// reading silently: keys read before it keep their effect, the rest keep their defaults.
Settings LoadSettings(const std::string& path);

// Writes every key. Throws Error naming the file when it cannot be written.
void SaveSettings(const std::string& path, const Settings& settings);

}  // namespace tavex
