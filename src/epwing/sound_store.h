// The recordings the text links to, each stored once in the book as WAVE data from its
// "fmt " chunk on (readers rebuild the RIFF header in front of it). Recordings are
// collected in a side file while the text is written and appended after it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "epwing/body_markup.h"
#include "epwing/honmon_file.h"
#include "source/recordings.h"
#include "source/warning_tally.h"

namespace tavex::epwing {

class SoundStore {
 public:
  // `base_folder` holds the recording folders; `side_path` is the side file to create.
  SoundStore(std::string base_folder, std::string side_path, source::WarningTally& warnings);
  ~SoundStore();
  SoundStore(const SoundStore&) = delete;
  SoundStore& operator=(const SoundStore&) = delete;

  // The recording a link names ("us_pron/x.wav", percent-encoded), stored on first use.
  // No value, with a counted warning, for a name outside us_pron/ and uk_pron/, a missing
  // file or one that is not WAVE data. Throws Error on a write fault.
  std::optional<SoundLink> Resolve(std::string_view href);

  std::size_t count() const { return extents_.size(); }
  // Appends the stored recordings to `file` (page aligned); returns where they start.
  std::uint64_t CopyInto(HonmonFile& file);
  // The first and last byte of recording `sound` relative to the start CopyInto returned.
  std::pair<std::uint64_t, std::uint64_t> Extent(std::uint32_t sound) const { return extents_[sound]; }

 private:
  std::string side_path_;
  static constexpr std::size_t kSideBufferBytes = 1 << 20;
  std::unique_ptr<char[]> side_buffer_ = std::make_unique<char[]>(kSideBufferBytes);  // outlives side_
  std::FILE* side_ = nullptr;
  std::uint64_t side_size_ = 0;
  source::WarningTally& warnings_;
  source::RecordingReader reader_;  // after warnings_, which it is given
  std::unordered_map<std::string, std::optional<SoundLink>> by_name_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> extents_;
  std::string read_buffer_;  // the recording being stored; reused, so no allocation per file
};

// The sound control's format word for WAVE data starting with its "fmt " chunk: the
// sample rate in Hz in the high 16 bits (at most 65535), the bits per sample in the
// next byte and the channel count in the low byte.
std::uint32_t SoundFormatWord(std::string_view format_chunk);

}  // namespace tavex::epwing
