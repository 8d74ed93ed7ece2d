// Storing each linked recording once, and the checks on the names that links carry.
#include "epwing/sound_store.h"

#include <fmt/format.h>

#include <cerrno>
#include <new>

#include "text/error.h"
#include "fs/files.h"
#include "fs/safe_file.h"
#include "source/source_bounds.h"

namespace tavex::epwing {
namespace {

constexpr char kBadName[] = "sound link outside us_pron/ and uk_pron/ kept as plain text";
constexpr char kNotWave[] = "sound link to a file that is not WAVE data kept as plain text";
constexpr char kNotPlain[] =
    "sound link to a symbolic link, a linked folder or a special file kept as plain text";

std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> RecordingName(std::string_view href) {
  std::string name;
  for (std::size_t i = 0; i < href.size(); ++i) {
    if (href[i] == '%' && i + 2 < href.size() && HexDigit(href[i + 1]) >= 0 && HexDigit(href[i + 2]) >= 0) {
      name += static_cast<char>(HexDigit(href[i + 1]) * 16 + HexDigit(href[i + 2]));
      i += 2;
    } else {
      name += href[i];
    }
  }
  std::string_view rest;
  if (name.starts_with("us_pron/")) {
    rest = std::string_view(name).substr(8);
  } else if (name.starts_with("uk_pron/")) {
    rest = std::string_view(name).substr(8);
  } else {
    return std::nullopt;
  }
  if (rest.empty() || rest == "." || rest == ".." ||
      rest.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
    return std::nullopt;
  }
  return name;
}

namespace {

enum class Recording { kRead, kMissing, kNotPlainFile, kTooLarge };

// Reads a recording of base_folder: neither the file nor its folder may be a symbolic
// link (it could lead out of the book source), a folder, a device or a FIFO is refused,
// and the size is checked before anything is read. Throws Error naming the file on a
// read fault.
Recording ReadRecording(const std::string& base_folder, const std::string& name, std::string& bytes) {
  OpenResult opened = OpenInside(base_folder, name, source_bounds::kRecording);
  switch (opened.status) {
    case OpenStatus::kOpened:
      break;
    case OpenStatus::kMissing:
      return Recording::kMissing;
    case OpenStatus::kTooLarge:
      return Recording::kTooLarge;
    default:
      return Recording::kNotPlainFile;
  }
  try {
    bytes.resize(static_cast<std::size_t>(opened.file.size()));
  } catch (const std::bad_alloc&) {
    throw Error(fmt::format("cannot read {}: out of memory", opened.file.path()));
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t got = opened.file.Read(bytes.data() + done, bytes.size() - done);
    if (got == 0) throw Error(fmt::format("cannot read {}: the file shrank", opened.file.path()));
    done += got;
  }
  return Recording::kRead;
}

}  // namespace

std::optional<std::size_t> FindFormatChunk(std::string_view wav) {
  if (wav.size() < 12 || wav.substr(0, 4) != "RIFF" || wav.substr(8, 4) != "WAVE") return std::nullopt;
  std::size_t at = 12;
  while (at + 8 <= wav.size()) {
    const std::uint32_t size = LittleEndian(wav, at + 4, 4);
    if (wav.substr(at, 4) == "fmt ") {
      // Readers take the 32 bytes from "fmt " on as the header's middle part.
      if (size < 16 || wav.size() - at < 32) return std::nullopt;
      return at;
    }
    at += 8 + static_cast<std::size_t>(size) + (size & 1);
  }
  return std::nullopt;
}

std::uint32_t SoundFormatWord(std::string_view format_chunk) {
  const std::uint32_t channels = LittleEndian(format_chunk, 10, 2);
  const std::uint32_t rate = LittleEndian(format_chunk, 12, 4);
  const std::uint32_t bits = LittleEndian(format_chunk, 22, 2);
  return (std::min<std::uint32_t>(rate, 0xFFFF) << 16) | (std::min<std::uint32_t>(bits, 0xFF) << 8) |
         std::min<std::uint32_t>(channels, 0xFF);
}

SoundStore::SoundStore(std::string base_folder, std::string side_path, source::WarningTally& warnings)
    : base_folder_(std::move(base_folder)), side_path_(std::move(side_path)), warnings_(warnings) {
  side_ = OpenFileStream(side_path_);
  // stdio ignores the size asked for without a buffer of our own.
  std::setvbuf(side_, side_buffer_.get(), _IOFBF, kSideBufferBytes);
}

SoundStore::~SoundStore() {
  if (side_ != nullptr) std::fclose(side_);
}

std::optional<SoundLink> SoundStore::Resolve(std::string_view href) {
  const std::optional<std::string> name = RecordingName(href);
  if (!name) {
    warnings_.Add(kBadName, std::string(href));
    return std::nullopt;
  }
  auto [it, fresh] = by_name_.try_emplace(*name);
  if (!fresh) {
    if (!it->second) warnings_.Add(kMissingRecordingWarning, *name);
    return it->second;
  }
  std::string& wav = read_buffer_;
  switch (ReadRecording(base_folder_, *name, wav)) {
    case Recording::kRead:
      break;
    case Recording::kMissing:
      warnings_.Add(kMissingRecordingWarning, *name);
      return std::nullopt;
    case Recording::kNotPlainFile:
      warnings_.Add(kNotPlain, *name);
      return std::nullopt;
    case Recording::kTooLarge:
      warnings_.Add(kNotWave, *name);
      return std::nullopt;
  }
  const std::optional<std::size_t> format = FindFormatChunk(wav);
  if (!format) {
    warnings_.Add(kNotWave, *name);
    return std::nullopt;
  }
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
