// The configuration of one disc bundle: the text file files.skn/config.cft inside the
// bundle's folder says which file holds the fixed-size index records, which fields a
// record has and how wide each is, and which fields point into further data files.
// Reading it gives a BundleConfig that the table creation and the extraction work from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavex::bundle {

// One declaration line of a section, with the OFFSET line that may follow it.
struct FieldDeclaration {
  std::string name;       // as written, "$" included
  std::string value;      // "DATA" for a data field, empty for a "$" integer field
  int width = 0;          // bytes the field takes in an index record; -1 for an unknown type
  std::string type;       // the integer type name, or "0" for a plain setting
  std::string data_path;  // PATH of the section named like the field (data fields)
  std::vector<FieldDeclaration> settings;  // declarations of that section
};

// Where the bundles are read from and where unpacked content goes.
struct BundleLocation {
  std::string source_data_folder;  // holds the bundle folders (fs.skn, us_pron.skn, ...)
  std::string unzip_folder;        // receives "<bundle>.dat"; created when missing
};

// Everything known about one bundle; owned by the extraction's caller.
struct BundleConfig {
  std::string bundle_name;  // e.g. "fs.skn"
  std::string index_path;   // PATH of the DAT section, relative to files_folder
  std::vector<FieldDeclaration> fields;  // the DAT declarations without the last one
  std::string page_size;    // value of the field named "PAGESIZE"; kept, not used
  int record_size = 0;      // sum of the widths in `fields`
  std::vector<FieldDeclaration> dat_declarations;  // every declaration of DAT
  std::string unpacked_path;  // unzip_folder/<bundle>.dat
  std::int64_t record_count = 0;  // set by the extraction

  std::string bundle_folder;  // the bundle's folder as found on disk; no configured path leaves it
  std::string files_folder;  // the bundle's files.skn folder as found on disk
  std::string config_path;   // the configuration file as found on disk
};

// The byte width of an integer type name: UBYTE 1, USHORT 2, U24 3, ULONG 4 (exact
// spelling and case); any other name gives -1.
int TypeWidth(std::string_view type_name);

// Parses a section's declaration lines (each ending in a line feed) into declarations.
std::vector<FieldDeclaration> ParseDeclarations(std::string_view text);

// Parses the configuration text. Fills every field but the paths taken from the disc
// (files_folder, config_path, unpacked_path) and the record count.
BundleConfig ParseBundleConfigText(std::string_view text, std::string_view bundle_name);

// Finds the bundle's folder and configuration (names matched ignoring letter case),
// reads and parses it, creates the unzip folder when missing and sets the unpacked
// path. Throws tavex::Error naming the bundle and the missing folder or unreadable file.
BundleConfig ParseBundleConfig(const BundleLocation& where, std::string_view bundle_name);

// The path of a file named by the configuration: `relative` (parts split at "/" and
// "\") looked up inside the bundle's files.skn folder ignoring letter case. A disc can
// come from anywhere, so a path with a ".." part, or one that resolves (symbolic links
// followed) outside the bundle's folder, is refused: throws tavex::Error naming the
// bundle, the configuration file and `key` (e.g. "PATH of [DAT]").
std::string BundleFilePath(const BundleConfig& config, std::string_view relative,
                           std::string_view key = "PATH");

}  // namespace tavex::bundle
