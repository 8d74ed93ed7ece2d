// A small book source (base_folder) for the fuzz targets of its files, and the run each
// input gets: the EPWING book built from it and the pre-flight check over it. Either may
// refuse the input with tavex::Error; anything else (a crash, a sanitizer report, an
// exception of another kind) is a finding.
#pragma once

#include <string>

#include "check/check.h"
#include "epwing/epwing_book.h"
#include "fuzz_support.h"
#include "text/error.h"
#include "fs/files.h"
#include "platform/progress.h"

namespace tavex::fuzz {

// A glyph's 16 rows of `width` pixels, as Gaiji.xml writes them.
inline std::string GlyphRows(int width) {
  std::string text = "\r\n";
  for (int row = 0; row < 16; ++row) text += std::string(width, row % 2 ? '#' : '.') + "\r\n";
  return text;
}

// Gaiji.xml with one wide glyph (A121, é) and one narrow glyph (A122, ə).
inline std::string SmallGaijiFont() {
  return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiData xml:space=\"preserve\">\r\n"
         "<fontSet size=\"16X16\" start=\"A121\">\r\n<fontData ebcode=\"A121\" unicode=\"00E9\">" +
         GlyphRows(16) +
         "</fontData>\r\n</fontSet>\r\n<fontSet size=\"8X16\" start=\"A122\">\r\n"
         "<fontData ebcode=\"A122\" unicode=\"0259\">" +
         GlyphRows(8) + "</fontData>\r\n</fontSet>\r\n</gaijiData>\r\n";
}

// GaijiMap.xml for SmallGaijiFont.
inline std::string SmallGaijiMap() {
  return "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<gaijiSet>\r\n\r\n<!-- zenkaku -->\r\n"
         "<gaijiMap unicode=\"#x00E9\" ebcode=\"A121\" />\r\n\r\n<!-- hankaku -->\r\n"
         "<gaijiMap unicode=\"#x0259\" ebcode=\"A122\" />\r\n</gaijiSet>\r\n";
}

// A book HTML of two entries with links, gaiji references and styles.
inline std::string SmallBookHtml() {
  return "<html>\r\n<body>\r\n<dl>\r\n<dt id=\"1\">caf&#x00E9;</dt>\r\n"
         "<key title=\"cafe\" type=\"x\">\x82\x62\x82\x60\x82\x65\x82\x64</key>\r\n<dd><p>\r\n"
         "<b>caf&#x00E9;</b> <i>n <b>b</b></i> &#x0259; <a href=\"#2\">z</a><br>\r\n</p></dd>\r\n"
         "<dt id=\"2\">zebra</dt>\r\n<dd><p>\r\nstripes<br>\r\n</p></dd>\r\n</dl>\r\n</body>\r\n</html>\r\n";
}

// Writes every file of a small base_folder into `folder` (created when missing).
inline void WriteSmallSource(const std::string& folder) {
  CreateFolders(folder);
  WriteBytes(folder + "/copyright.html", "<html>\r\n<body>\r\n<b>c</b><br>\r\n</body>\r\n</html>\r\n");
  WriteBytes(folder + "/Gaiji.xml", SmallGaijiFont());
  WriteBytes(folder + "/GaijiMap.xml", SmallGaijiMap());
  WriteBytes(folder + "/TAVEX.map", "# TAVEX unicode\r\n");
  WriteBytes(folder + "/TAVEX.ebs", "Source=$(BASE)\\html_EPW;html\r\n");
  WriteBytes(folder + "/html_EPW", SmallBookHtml());
}

// Builds the EPWING book from `folder` into the scratch folder, then checks `folder`.
inline void BuildAndCheck(const std::string& folder) {
  NullProgress progress;
  try {
    epwing::BuildEpwingBook({.base_folder = folder, .out_folder = JoinPath(ScratchFolder(), "epwing")},
                            progress);
  } catch (const Error&) {
    // A refused book source is a correct outcome.
  }
  (void)check::FormatReport(check::CheckBookSource(folder));
}

}  // namespace tavex::fuzz
