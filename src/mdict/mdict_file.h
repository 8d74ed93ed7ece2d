// One MDict file of version 2.0 (the .mdx of the entries or the .mdd of the resources):
// a UTF-16 header, the key section (a table of the key blocks, then the blocks of keys
// with the offsets of their records) and the record section, every block compressed
// with zlib behind its adler32 checksum (a block of records zlib does not shrink, such as
// recordings, stored as it is behind the same checksum), nothing encrypted. Records are
// added in the keys' sorted order, collected in a side file and framed when the file is
// finished.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/queue_thread.h"

namespace tavex::mdict {

// The order MDict readers search keys in: letters compared without case, the blanks
// and punctuation a reader strips from a query left out, then the bytes.
bool KeyLess(std::string_view a, std::string_view b);
// The same order as a comparison: below, at or above 0.
int CompareKeys(std::string_view a, std::string_view b);

class MdictFile {
 public:
  // `utf16_keys`: the keys are stored as UTF-16 (the .mdd) rather than UTF-8 (the .mdx).
  // `side_path` is the side file to create.
  MdictFile(bool utf16_keys, std::string side_path);
  ~MdictFile();
  MdictFile(const MdictFile&) = delete;
  MdictFile& operator=(const MdictFile&) = delete;

  // Adds a key (UTF-8) and its record; keys come in KeyLess order.
  void Add(std::string_view key, std::string_view record);

  // Writes the whole file to `path` with the header `header_xml` (the root element,
  // without its line end) and removes the side file. Throws Error naming the file.
  void Finish(const std::string& path, const std::string& header_xml);

 private:
  void FlushKeys();
  void FlushRecords();
  // Compresses a block of records and writes it to the side file (on compressing_).
  void WriteRecordBlock(const std::string& plain);

  bool utf16_;
  std::string side_path_;
  std::FILE* side_ = nullptr;
  std::uint64_t entries_ = 0;
  std::uint64_t record_offset_ = 0;  // where the next record starts in the records' stream
  // The key block being filled, and the finished ones with their table rows.
  std::string keys_;
  std::uint64_t keys_count_ = 0;
  std::string first_key_, last_key_;
  std::string key_blocks_;
  std::string key_table_;
  std::uint64_t key_block_count_ = 0;
  // The record block being filled; the finished ones are compressed on a thread of their
  // own, in order, into the side file, and their table rows are that thread's until Finish.
  std::string records_;
  std::string record_table_;
  std::uint64_t record_blocks_size_ = 0;
  int stored_without_trying_ = 0;  // blocks still to store without compressing (see WriteRecordBlock)
  std::unique_ptr<QueueThread<std::string>> compressing_;  // last: stopped first
};

}  // namespace tavex::mdict
