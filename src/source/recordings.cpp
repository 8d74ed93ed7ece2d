// Reading the recordings, the checks on the names that links carry, and the MPEG frames
// inside a WAV file.
#include "source/recordings.h"

#include <fmt/format.h>

#include <new>

#include "fs/safe_file.h"
#include "source/source_bounds.h"
#include "text/error.h"

namespace tavex::source {
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

// The chunk `id` of a RIFF WAVE file: its offset and size, the size cut to the file.
std::optional<std::pair<std::size_t, std::size_t>> FindChunk(std::string_view wav, std::string_view id) {
  if (wav.size() < 12 || wav.substr(0, 4) != "RIFF" || wav.substr(8, 4) != "WAVE") return std::nullopt;
  std::size_t at = 12;
  while (at + 8 <= wav.size()) {
    const std::uint32_t size = LittleEndian(wav, at + 4, 4);
    if (wav.substr(at, 4) == id) return std::pair{at, std::min<std::size_t>(size, wav.size() - at - 8)};
    at += 8 + static_cast<std::size_t>(size) + (size & 1);
  }
  return std::nullopt;
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

std::optional<std::size_t> FindFormatChunk(std::string_view wav) {
  const auto chunk = FindChunk(wav, "fmt ");
  // Readers of the EPWING book take the 32 bytes from "fmt " on as the header's middle part.
  if (!chunk || chunk->second < 16 || wav.size() - chunk->first < 32) return std::nullopt;
  return chunk->first;
}

std::optional<std::string_view> MpegFrames(std::string_view wav) {
  const std::optional<std::size_t> format = FindFormatChunk(wav);
  if (!format) return std::nullopt;
  const std::uint32_t tag = LittleEndian(wav, *format + 8, 2);
  if (tag != 0x0055 && tag != 0x0050) return std::nullopt;
  const auto data = FindChunk(wav, "data");
  if (!data || data->second == 0) return std::nullopt;
  return wav.substr(data->first + 8, data->second);
}

std::optional<std::string> LinkedRecordingName(std::string_view href, WarningTally& warnings) {
  std::optional<std::string> name = RecordingName(href);
  if (!name) warnings.Add(kBadName, std::string(href));
  return name;
}

RecordingReader::RecordingReader(const std::string& base_folder)
    : folders_{std::make_unique<FolderInside>(base_folder, "us_pron"),
               std::make_unique<FolderInside>(base_folder, "uk_pron")} {}

RecordingReader::~RecordingReader() = default;

bool RecordingReader::Read(const std::string& name, std::string& bytes, WarningTally& warnings) const {
  // RecordingName gave "us_pron/…" or "uk_pron/…" with a plain file name after the slash.
  const FolderInside& folder = *folders_[name.starts_with("uk_pron/") ? 1 : 0];
  OpenResult opened = folder.Open(name.substr(8), source_bounds::kRecording);
  switch (opened.status) {
    case OpenStatus::kOpened:
      break;
    case OpenStatus::kMissing:
      warnings.Add(kMissingRecordingWarning, name);
      return false;
    case OpenStatus::kTooLarge:
      warnings.Add(kNotWave, name);
      return false;
    default:
      warnings.Add(kNotPlain, name);
      return false;
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
  if (!FindFormatChunk(bytes)) {
    warnings.Add(kNotWave, name);
    return false;
  }
  return true;
}

std::string BookFileName(std::string_view stem, std::string_view extension) {
  const std::size_t slash = stem.find('/');
  std::string name(stem.substr(0, slash));
  name += '_';
  for (const char c : stem.substr(slash + 1)) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_') {
      name += c;
    } else {
      name += fmt::format("_x{:02x}", byte);
    }
  }
  return name + std::string(extension);
}

std::optional<std::string> RecordingFiles::Resolve(std::string_view href, WarningTally& warnings) {
  const std::optional<std::string> name = LinkedRecordingName(href, warnings);
  if (!name) return std::nullopt;
  std::unique_lock<std::mutex> lock(mutex_);
  auto [it, fresh] = by_name_.try_emplace(*name);
  Known& known = it->second;
  if (!fresh) {
    resolved_.wait(lock, [&] { return known.done; });
    if (!known.name) warnings.Add(kMissingRecordingWarning, *name);
    return known.name;
  }
  lock.unlock();
  std::optional<std::string> book_name;
  try {
    std::string bytes;
    if (reader_.Read(*name, bytes, warnings)) {
      // One flat folder of files, as every reader of the books' resources expects: the
      // recording folder's name leads the file's ("us_pron_x.mp3").
      const std::optional<std::string_view> frames = MpegFrames(bytes);
      book_name = BookFileName(std::string_view(*name).substr(0, name->size() - 4), frames ? ".mp3" : ".wav");
      std::lock_guard<std::mutex> guard(new_mutex_);
      on_new_(*book_name, frames ? *frames : std::string_view(bytes));
    }
  } catch (...) {
    // Those waiting for it see it as not stored; the error ends the book.
    lock.lock();
    known.done = true;
    resolved_.notify_all();
    throw;
  }
  lock.lock();
  known.name = book_name;
  known.done = true;
  resolved_.notify_all();
  return book_name;
}

}  // namespace tavex::source
