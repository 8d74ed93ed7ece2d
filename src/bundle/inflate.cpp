#include "bundle/inflate.h"

#include <zlib.h>

#include <climits>
#include <memory>

#include <fmt/format.h>

#include "text/error.h"

namespace tavex::bundle {

namespace {

struct InflateEnd {
  void operator()(z_stream* stream) const {
    inflateEnd(stream);
    delete stream;
  }
};

using StreamPtr = std::unique_ptr<z_stream, InflateEnd>;

std::string Reason(const z_stream& stream, int code) {
  if (stream.msg != nullptr) return stream.msg;
  switch (code) {
    case Z_MEM_ERROR: return "out of memory";
    case Z_NEED_DICT: return "the stream needs a preset dictionary";
    case Z_BUF_ERROR: return "the stream ends before it is complete";
    default: return fmt::format("zlib error {}", code);
  }
}

}  // namespace

std::string InflateRecord(std::string_view packed, std::size_t unpacked_size) {
  std::string out(unpacked_size, '\0');
  if (packed.empty() && unpacked_size == 0) return out;
  if (packed.size() > UINT_MAX || unpacked_size > UINT_MAX) throw Error("record too large to unpack");

  auto* raw = new z_stream{};
  if (int code = inflateInit(raw); code != Z_OK) {
    const std::string reason = Reason(*raw, code);
    delete raw;
    throw Error(reason);
  }
  StreamPtr stream(raw);
  stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream->avail_in = static_cast<uInt>(packed.size());
  stream->next_out = reinterpret_cast<Bytef*>(out.data());
  stream->avail_out = static_cast<uInt>(out.size());

  const int code = inflate(stream.get(), Z_FINISH);
  // The stream ended (shorter output stays zero-filled), or the buffer is full and the
  // record has all its declared bytes.
  if (code == Z_STREAM_END) return out;
  if (code == Z_BUF_ERROR && stream->avail_out == 0) return out;
  if (code == Z_OK && stream->avail_out == 0) return out;
  throw Error(Reason(*stream, code));
}

}  // namespace tavex::bundle
