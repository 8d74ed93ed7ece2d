// Writes one bundle of the sample disc in the disc's format: the configuration
// file, the index of fixed-size records, the zlib-compressed content with its
// catalogue, and the uncompressed data file of the record's text field.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fs/write_layer.h"

namespace tavex::sample {

// A file name as the configuration spells it and as it is stored; the two may differ
// in letter case, as on the disc, whose file system ignored case.
struct BundleFileName {
  std::string configured;
  std::string stored;
};

// What one bundle holds and how its files are named.
struct BundleLayout {
  std::string text_field;    // the text column: "TEXTTITLE" or "NAME"
  bool flags_field = false;  // a 2-byte integer column FLAGS after the offsets
  BundleFileName index;
  BundleFileName content;
  BundleFileName catalogue;
  BundleFileName text_data;
};

// The text of config.cft for a layout (LF line ends). The record holds, in this
// order, the text field's offset, the content offset (both 4 bytes) and the flags.
std::string BundleConfigText(const BundleLayout& layout);

// A buffered output file whose write errors name the file.
class OutputFile {
 public:
  explicit OutputFile(std::string path);
  void Write(std::string_view bytes);
  void WriteUInt(std::uint64_t value, int width);  // little-endian
  void Close();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string buffer_;             // bytes not yet handed to the file
  std::unique_ptr<NewFile> file_;  // gone once closed
};

// Appends records to the files of one bundle inside its files.skn folder (which
// must exist). Each record's content becomes one zlib stream.
class BundleWriter {
 public:
  BundleWriter(const std::string& files_folder, BundleLayout layout);
  ~BundleWriter();

  // Adds the next record: its text field, its content (before compression), its flags.
  void Add(std::string_view text, std::string_view content, std::uint16_t flags = 0);
  // Writes config.cft and closes every file. Throws Error naming a file that failed.
  void Finish();

 private:
  std::string folder_;
  BundleLayout layout_;
  OutputFile index_;
  OutputFile content_;
  OutputFile catalogue_;
  OutputFile text_data_;
  std::uint64_t text_offset_ = 0;
  std::uint64_t unpacked_offset_ = 0;
  std::vector<unsigned char> packed_;
  // One deflate state for all records (reset between them), as setting one up per
  // record costs more than compressing a short entry.
  struct Deflater;
  std::unique_ptr<Deflater> deflater_;
};

}  // namespace tavex::sample
