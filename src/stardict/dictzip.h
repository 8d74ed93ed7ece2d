// The StarDict book's text file in the dictzip form: a gzip file whose deflate stream is
// flushed fully every kChunkBytes of input, with the table of the compressed chunks'
// sizes in the header's "RA" extra field, so that a reader inflates only the chunk that
// holds an entry. The compressed chunks go to a side file while the text is written,
// because the header that precedes them needs their count. Chunks are compressed on a
// thread of their own, in order, beside the code that writes the text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/queue_thread.h"

namespace tavex::stardict {

class DictzipWriter {
 public:
  // Input bytes per chunk: small enough that a chunk's compressed form, even of
  // incompressible bytes, fits the table's 16-bit sizes.
  static constexpr std::size_t kChunkBytes = 58315;

  // `side_path` is the side file to create (in the book's staging folder).
  explicit DictzipWriter(std::string side_path);
  ~DictzipWriter();
  DictzipWriter(const DictzipWriter&) = delete;
  DictzipWriter& operator=(const DictzipWriter&) = delete;

  // Appends text; returns where it starts in the uncompressed text.
  std::uint64_t Append(std::string_view bytes);
  std::uint64_t size() const { return size_; }

  // Writes the whole dictzip file to `path` (in place, in the staging folder) and removes
  // the side file. Throws Error naming the file.
  void Finish(const std::string& path);

 private:
  // Compresses `chunk` as one independent piece and writes it to the side file.
  void Compress(const std::string& chunk, int flush);

  std::string side_path_;
  std::FILE* side_ = nullptr;
  struct Stream;
  std::unique_ptr<Stream> stream_;
  std::string chunk_;  // input of the chunk being filled
  std::string out_;    // compressed bytes of one chunk (the compressing thread's)
  std::vector<std::uint16_t> sizes_;  // the compressing thread's until Finish
  std::uint64_t size_ = 0;
  std::uint32_t crc_ = 0;
  // Last: stopped before what it uses goes.
  std::unique_ptr<QueueThread<std::string>> compressing_;
};

}  // namespace tavex::stardict
