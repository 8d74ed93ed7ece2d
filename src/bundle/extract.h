// Extraction of one disc bundle into one table of the working database: every record of
// the bundle's index file becomes a row, its integer fields integer columns, its text
// fields text, and its compressed content unpacked and stored as entry XML text or as
// bytes (recordings). The step is atomic: the table is created and filled in one
// transaction and the unpacked content file appears only when whole, so an error leaves
// nothing that a resumed run would take as done.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bundle/bundle_config.h"
#include "platform/progress.h"

namespace tavex::store {
class Connection;
}

namespace tavex::bundle {

// Where an extraction reads and writes.
struct ExtractOptions {
  std::string source_data_folder;  // holds the bundle folders
  std::string unzip_folder;        // receives the unpacked content files; created when missing
  std::string database_file;       // the working database; must exist
};

// One "$" field of the index records, with its value in every record.
struct IndexColumn {
  std::string name;        // the field's name without "$"
  int width = 0;           // bytes in the record
  int offset = 0;          // where the field starts inside a record
  bool reference = false;  // a data field: the values are offsets into `data_path`
  std::string data_path;   // for a reference column, as the configuration gives it
  std::vector<std::uint32_t> values;  // one per record
};

// The index file read into columns.
struct IndexColumns {
  std::vector<IndexColumn> columns;
  std::int64_t record_count = 0;
};

// Extracts the bundle `bundle_name` ("fs.skn") into its table ("fs_skn"): reads the
// configuration, unpacks the content (unless unpacked earlier), then creates and fills
// the table in one transaction. Returns the number of rows appended. Throws tavex::Error
// naming the bundle, the file and the record when anything is wrong, leaving no table
// and no unpacked file behind from this call; a table that already holds rows is an error.
std::int64_t ExtractBundle(const ExtractOptions& options, std::string_view bundle_name, Progress& progress);

// Unpacks the content file into the unpacked content file, one catalogue entry at a
// time, unless that file exists already (then neither content nor catalogue is read).
// Does nothing for a bundle without a "$CONTENT" field.
void UnpackContent(const BundleConfig& config, Progress& progress);

// Reads the index file whole into columns (only the "$" fields, each record taken at
// its own position); trailing bytes that make no whole record are reported as a warning.
IndexColumns ReadIndex(const BundleConfig& config, Progress& progress);

// The unsigned little-endian integer of `width` bytes at `pos` in `bytes`; moves `pos`
// past it. Widths other than 1 to 4 read nothing and give 0.
std::uint32_t ReadUInt(std::string_view bytes, std::size_t& pos, int width);

// The column list of the bundle table ("[TEXTTITLE] varchar(255), [CONTENT] longbinary,
// [CONTENT_text] longtext,"); empty when the configuration has no "$" fields.
std::string BundleColumnList(const BundleConfig& config);

// Creates the bundle table when it is missing and the column list is not empty, inside
// the caller's transaction. Returns whether it created the table.
bool CreateBundleTable(store::Connection& db, const BundleConfig& config);

// Appends one row per index record to the bundle table (which must exist), inside the
// caller's transaction. Sets config.record_count. Returns the number of rows appended.
std::int64_t FillBundleTable(store::Connection& db, BundleConfig& config, Progress& progress);

}  // namespace tavex::bundle
