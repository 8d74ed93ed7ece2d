// The operating mode (0, 1 or 2) and everything in the core that looks at it.
#pragma once

namespace tavex {

// Mode 0: a clean conversion; modes 1 and 2: the workbench keeps its working folder.
struct OperatingMode {
  int value = 0;

  // The create run starts from empty folders and removes working_folder at its end.
  bool FreshStart() const { return value == 0; }
  // Closing the window removes working_folder.
  bool DeletesWorkingFolderAtClose() const { return value == 0; }
  // Step 09 writes the two stylesheets before the book (mode 2 keeps hand-edited ones).
  bool RewritesStylesheets() const { return value != 2; }
  // Keywords also come from the "id" and "pv" elements.
  bool KeysIdAndPv() const { return value != 0; }
  // Each keyword gets a backward key (後方表記) as well as the forward one.
  bool WritesBackwardKeys() const { return value != 0; }
  // The window shows every menu, tab and the right page control.
  bool ShowsWorkbench() const { return value != 0; }
};

}  // namespace tavex
