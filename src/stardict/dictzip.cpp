// Chunked deflate with zlib, and the gzip frame with its random-access table.
#include "stardict/dictzip.h"

#include <fmt/format.h>
#include <zlib.h>

#include <cerrno>

#include "fs/write_layer.h"
#include "text/error.h"

namespace tavex::stardict {
namespace {

// The table's size field is 16 bits wide: 6 bytes of header and two per chunk.
constexpr std::size_t kMaxChunks = (0xFFFF - 6) / 2;

void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

struct DictzipWriter::Stream {
  z_stream z{};
};

DictzipWriter::DictzipWriter(std::string side_path)
    : side_path_(std::move(side_path)), stream_(std::make_unique<Stream>()) {
  // A raw deflate stream: the gzip frame is written around it.
  if (deflateInit2(&stream_->z, Z_BEST_SPEED, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw Error(fmt::format("cannot compress {}: out of memory", side_path_));
  side_ = OpenFileStream(side_path_);
  chunk_.reserve(kChunkBytes);
  crc_ = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  compressing_ = std::make_unique<QueueThread<std::string>>(
      [this](std::string& chunk) { Compress(chunk, Z_FULL_FLUSH); },
      [](const std::string& chunk) { return chunk.size(); }, 8 * kChunkBytes);
}

DictzipWriter::~DictzipWriter() {
  compressing_.reset();  // before the stream and the side file it writes
  deflateEnd(&stream_->z);
  if (side_ != nullptr) std::fclose(side_);
}

std::uint64_t DictzipWriter::Append(std::string_view bytes) {
  const std::uint64_t at = size_;
  crc_ =
      static_cast<std::uint32_t>(crc32_z(crc_, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
  size_ += bytes.size();
  while (!bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), kChunkBytes - chunk_.size());
    chunk_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (chunk_.size() == kChunkBytes) {
      compressing_->Add(std::move(chunk_));
      chunk_.clear();
      chunk_.reserve(kChunkBytes);
    }
  }
  return at;
}

void DictzipWriter::Compress(const std::string& chunk, int flush) {
  if (sizes_.size() >= kMaxChunks)
    throw Error(fmt::format("cannot write {}: the text is larger than a dictzip file holds", side_path_));
  z_stream& z = stream_->z;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
  z.avail_in = static_cast<uInt>(chunk.size());
  out_.resize(deflateBound(&z, chunk.size()) + 64);
  z.next_out = reinterpret_cast<Bytef*>(out_.data());
  z.avail_out = static_cast<uInt>(out_.size());
  const int status = deflate(&z, flush);
  if ((status != Z_OK && status != Z_STREAM_END) || z.avail_in != 0 || z.avail_out == 0)
    throw Error(fmt::format("cannot compress {}: zlib error {}", side_path_, status));
  const std::size_t produced = out_.size() - z.avail_out;
  if (produced > 0xFFFF) throw Error(fmt::format("cannot compress {}: a chunk grew past 64 KiB", side_path_));
  if (std::fwrite(out_.data(), 1, produced, side_) != produced) {
    const int err = errno;
    throw Error(fmt::format("cannot write {}: {}", side_path_, SystemMessage(err)));
  }
  sizes_.push_back(static_cast<std::uint16_t>(produced));
}

void DictzipWriter::Finish(const std::string& path) {
  // Every chunk ends in a full flush: readers inflate one and expect it to end without
  // the stream's end, which follows the last chunk outside the table.
  if (!chunk_.empty() || size_ == 0) compressing_->Add(std::move(chunk_));
  compressing_->Finish();
  chunk_.clear();
  Compress(chunk_, Z_FINISH);
  sizes_.pop_back();
  std::string header = {'\x1f', '\x8b', '\x08', '\x04'};  // gzip, deflate, FEXTRA
  PutLe(header, 0, 4);                                    // no time: the same book gives the same file
  header += '\x00';                                       // default compression
  header += '\x03';                                       // Unix
  const std::size_t field = 6 + 2 * sizes_.size();
  PutLe(header, static_cast<std::uint32_t>(4 + field), 2);
  header += "RA";
  PutLe(header, static_cast<std::uint32_t>(field), 2);
  PutLe(header, 1, 2);  // version
  PutLe(header, kChunkBytes, 2);
  PutLe(header, static_cast<std::uint32_t>(sizes_.size()), 2);
  for (std::uint16_t size : sizes_) PutLe(header, size, 2);

  NewFile file(path, NewFile::Placing::kInPlace);
  file.Write(header);
  AppendStream(file, side_, side_path_);
  std::string trailer;
  PutLe(trailer, crc_, 4);
  PutLe(trailer, static_cast<std::uint32_t>(size_ & 0xFFFFFFFF), 4);
  file.Write(trailer);
  file.Commit();
  std::fclose(side_);
  side_ = nullptr;
  RemoveFile(side_path_);
}

}  // namespace tavex::stardict
