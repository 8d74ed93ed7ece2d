// The two stylesheet files of the working folder: the main stylesheet, one template per
// tag rule, and the script stylesheet it includes, which declares user:mp3_wav for
// other XSLT processors. Both are UTF-8 without a byte-order mark, every line ended by
// CR LF, written whole and renamed into place.
#pragma once

#include <string>
#include <vector>

#include "stylesheet/rule_row.h"

namespace tavex {

// The namespace bound to the prefix html in the main stylesheet; no template uses it.
extern const char* const kHtmlNamespace;
// The namespace under which the script block is declared.
extern const char* const kScriptNamespace;
// The side panels the root template shows once more after the entry's body, as
// absolute paths of elements.
extern const char* const kSidePanelPaths[2];

// The text of the main stylesheet for `rows` in their order: the fixed head, one line per
// row (its custom_xsl when not empty, else its template line), the fixed tail. When
// `generated_lines` is given, the template line of each row with apply_templates on and
// no custom_xsl is appended to it (the "html (final)" view lists them).
std::string MainStylesheetText(const std::vector<RuleRow>& rows,
                               std::vector<std::string>* generated_lines = nullptr);

// Writes MainStylesheetText to `path` (epwing_dic.xsl). Throws Error naming the file.
void WriteMainStylesheet(const std::string& path, const std::vector<RuleRow>& rows,
                         std::vector<std::string>* generated_lines = nullptr);

// The fixed text of the script stylesheet.
std::string ScriptStylesheetText();

// Writes the script stylesheet to `path` (user_script.xsl, beside the main stylesheet,
// which includes it as "./user_script.xsl"). Throws Error naming the file.
void WriteScriptStylesheet(const std::string& path);

// The backup name of `main_path` for its last-write time: the name without extension,
// "_yyyymmddhhnnss" in local time with the seconds rounded down to even, and ".xsl".
std::string BackupFileName(const std::string& main_path);

// Moves the main stylesheet into `backup_folder` (created when missing) under its dated
// backup name. Does nothing when `main_path` does not exist. When a backup of that name
// exists already (two versions written within the same two seconds) the name gets a
// counter after the date ("_2", "_3", ...). True when the file was moved; throws Error
// naming the file when it cannot be moved, so that no write replaces an unsaved version.
bool BackupMainStylesheet(const std::string& main_path, const std::string& backup_folder);

}  // namespace tavex
