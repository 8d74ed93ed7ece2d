// Storing each linked recording once.
#include "epwing/sound_store.h"

#include <fmt/format.h>

#include <cerrno>
#include <new>

#include "source/recordings.h"
#include "fs/write_layer.h"
#include "text/error.h"

namespace tavex::epwing {
namespace {

std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::uint32_t SoundFormatWord(std::string_view format_chunk) {
  const std::uint32_t channels = LittleEndian(format_chunk, 10, 2);
  const std::uint32_t rate = LittleEndian(format_chunk, 12, 4);
  const std::uint32_t bits = LittleEndian(format_chunk, 22, 2);
  return (std::min<std::uint32_t>(rate, 0xFFFF) << 16) | (std::min<std::uint32_t>(bits, 0xFF) << 8) |
         std::min<std::uint32_t>(channels, 0xFF);
}

SoundStore::SoundStore(std::string base_folder, std::string side_path, source::WarningTally& warnings)
    : side_path_(std::move(side_path)), warnings_(warnings), reader_(base_folder) {
  side_ = OpenFileStream(side_path_);
  // stdio ignores the size asked for without a buffer of our own.
  std::setvbuf(side_, side_buffer_.get(), _IOFBF, kSideBufferBytes);
}

SoundStore::~SoundStore() {
  if (side_ != nullptr) std::fclose(side_);
}

std::optional<SoundLink> SoundStore::Resolve(std::string_view href) {
  const std::optional<std::string> name = source::LinkedRecordingName(href, warnings_);
  if (!name) return std::nullopt;
  auto [it, fresh] = by_name_.try_emplace(*name);
  if (!fresh) {
    if (!it->second) warnings_.Add(source::kMissingRecordingWarning, *name);
    return it->second;
  }
  std::string& wav = read_buffer_;
  if (!reader_.Read(*name, wav, warnings_)) return std::nullopt;
  const std::optional<std::size_t> format = source::FindFormatChunk(wav);
  const std::string_view data = std::string_view(wav).substr(*format);
  if (std::fwrite(data.data(), 1, data.size(), side_) != data.size()) {
    const int err = errno;
    throw Error(fmt::format("cannot write {}: {}", side_path_, SystemMessage(err)));
  }
  extents_.emplace_back(side_size_, side_size_ + data.size() - 1);
  side_size_ += data.size();
  it->second = SoundLink{static_cast<std::uint32_t>(extents_.size() - 1), SoundFormatWord(data)};
  return it->second;
}

std::uint64_t SoundStore::CopyInto(HonmonFile& file) {
  const std::uint64_t start = (static_cast<std::uint64_t>(file.PadToPage()) - 1) * kPageSize;
  if (std::fflush(side_) != 0 || std::fseek(side_, 0, SEEK_SET) != 0) {
    const int err = errno;
    throw Error(fmt::format("cannot read {}: {}", side_path_, SystemMessage(err)));
  }
  std::string buffer(1 << 20, '\0');
  std::uint64_t left = side_size_;
  while (left > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    if (std::fread(buffer.data(), 1, chunk, side_) != chunk) {
      throw Error(fmt::format("cannot read {}: short read", side_path_));
    }
    file.Append(std::string_view(buffer.data(), chunk));
    left -= chunk;
  }
  return start;
}

}  // namespace tavex::epwing
