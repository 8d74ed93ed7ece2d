// The disc's bundle format, written: config.cft, index, catalogue, content, data.
#include "sample/bundle_writer.h"

#include <fmt/format.h>
#include <zlib.h>

#include "text/error.h"

namespace tavex::sample {
namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::uint64_t kMaxOffset = 0xFFFFFFFFULL;

}  // namespace

struct BundleWriter::Deflater {
  z_stream stream{};
  bool ready = false;
  Deflater() { ready = deflateInit(&stream, Z_DEFAULT_COMPRESSION) == Z_OK; }
  ~Deflater() {
    if (ready) deflateEnd(&stream);
  }
};

std::string BundleConfigText(const BundleLayout& layout) {
  const std::string& t = layout.text_field;
  std::string text = "[DAT]\nPATH = " + layout.index.configured + "\n";
  text += "$" + t + " = DATA\n$" + t + ",OFFSET = ULONG\n";
  text += "$CONTENT = DATA\n$CONTENT,OFFSET = ULONG\n";
  if (layout.flags_field) text += "$FLAGS = USHORT\n";
  text += "PAGESIZE = 4096\n";
  // The reader leaves out the last declaration of the record section; this one is
  // there to be left out.
  text += "END = 0\n\n";
  text += "[$CONTENT]\nPATH = " + layout.content.configured + "\nCATALOG = " + layout.catalogue.configured +
          "\nCOMPRESS = ZLIB\n\n";
  text += "[$" + t + "]\nPATH = " + layout.text_data.configured + "\nENCODING = UTF-8\n\n";
  // A section no field refers to; readers pass over it.
  text += "[INFO]\nPATH = readme.txt\nTITLE = TAVEX sample disc\n\n";
  return text;
}

OutputFile::OutputFile(std::string path)
    : path_(std::move(path)), file_(std::make_unique<NewFile>(path_, NewFile::Placing::kInPlace)) {}

void OutputFile::Write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kBufferBytes) {
    file_->Write(buffer_);
    buffer_.clear();
  }
}

void OutputFile::WriteUInt(std::uint64_t value, int width) {
  char bytes[8];
  for (int i = 0; i < width; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  Write(std::string_view(bytes, static_cast<std::size_t>(width)));
}

void OutputFile::Close() {
  if (!file_) return;
  file_->Write(buffer_);
  buffer_.clear();
  file_->Commit();
  file_.reset();
}

BundleWriter::BundleWriter(const std::string& files_folder, BundleLayout layout)
    : folder_(files_folder),
      layout_(std::move(layout)),
      index_(folder_ + "/" + layout_.index.stored),
      content_(folder_ + "/" + layout_.content.stored),
      catalogue_(folder_ + "/" + layout_.catalogue.stored),
      text_data_(folder_ + "/" + layout_.text_data.stored),
      deflater_(std::make_unique<Deflater>()) {
  if (!deflater_->ready) throw Error(fmt::format("cannot start zlib compression for {}", content_.path()));
}

BundleWriter::~BundleWriter() = default;

void BundleWriter::Add(std::string_view text, std::string_view content, std::uint16_t flags) {
  if (text_offset_ > kMaxOffset || unpacked_offset_ > kMaxOffset) {
    throw Error(fmt::format("sample bundle in {} is larger than 4 GiB", folder_));
  }
  index_.WriteUInt(text_offset_, 4);
  index_.WriteUInt(unpacked_offset_, 4);
  if (layout_.flags_field) index_.WriteUInt(flags, 2);

  text_data_.Write(text);
  text_offset_ += text.size();

  z_stream& z = deflater_->stream;
  std::size_t bound = deflateBound(&z, static_cast<uLong>(content.size()));
  if (packed_.size() < bound) packed_.resize(bound);
  deflateReset(&z);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = packed_.data();
  z.avail_out = static_cast<uInt>(packed_.size());
  int status = deflate(&z, Z_FINISH);
  if (status != Z_STREAM_END) {
    throw Error(fmt::format("cannot compress a record for {}: zlib status {}", content_.path(), status));
  }
  std::size_t packed_size = z.total_out;
  content_.Write(std::string_view(reinterpret_cast<const char*>(packed_.data()), packed_size));
  catalogue_.WriteUInt(content.size(), 4);
  catalogue_.WriteUInt(packed_size, 4);
  unpacked_offset_ += content.size();
}

void BundleWriter::Finish() {
  index_.Close();
  content_.Close();
  catalogue_.Close();
  text_data_.Close();
  OutputFile config(folder_ + "/config.cft");
  config.Write(BundleConfigText(layout_));
  config.Close();
}

}  // namespace tavex::sample
