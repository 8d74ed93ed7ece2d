// The layout of one MP3 recording (where its audio frames start and end, and what the
// first frame header says) and the WAV file that wraps those frames unchanged. The book's
// authoring tool takes pronunciations as WAV files whose format chunk declares MPEG
// Layer-3 data; nothing here decodes or re-encodes audio.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tavex::audio {

// What ReadMp3Profile finds in one recording. Offsets and sizes count bytes of the
// recording. The frame fields (from `version` on) are filled only when `frame_sync` is
// true; otherwise they stay 0.
struct Tmp3_profile {
  std::int32_t audio_start = 0;  // first audio byte: the end of a leading ID3v2 tag, else 0
  std::int32_t audio_size = 0;   // audio bytes from audio_start (an ID3v1 trailer excluded)
  std::array<std::uint8_t, 4> frame_header{};  // the four bytes at audio_start, in order
  bool has_id3v1 = false;        // a 128-byte "TAG" trailer was found
  std::int32_t id3v1_size = 0;   // 128 with a trailer, else 0
  bool has_id3v2 = false;        // the recording begins with "ID3"
  std::int32_t id3v2_size = 0;   // the tag's declared length with its 10-byte header, else 0
  bool frame_sync = false;       // the 11-bit frame sync stands at audio_start

  std::int32_t version = 0;            // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
  std::int32_t layer = 0;              // 0 reserved, 1 Layer III, 2 Layer II, 3 Layer I
  std::int32_t protection = 0;         // protection bit
  std::int32_t bitrate_index = 0;      // 4 bits
  std::int32_t sample_rate_index = 0;  // 2 bits
  std::int32_t padding = 0;            // padding bit
  std::int32_t private_bit = 0;        // private bit
  std::int32_t channel_mode = 0;       // 0 stereo, 1 joint stereo, 2 dual, 3 single channel
  std::int32_t mode_extension = 0;     // 2 bits
  std::int32_t copyright = 0;          // copyright bit
  std::int32_t original = 0;           // original bit
  std::int32_t emphasis = 0;           // 2 bits
  std::int32_t sample_rate = 0;        // Hz; 0 for reserved values
  std::int32_t bitrate = 0;            // kbit/s; 0 for free format, index 15 and reserved values
  std::int32_t samples_per_frame = 0;  // 0 for reserved values
  std::int32_t frame_length = 0;       // bytes per frame; 0 when a factor above is 0
  std::int32_t frame_count = 0;        // audio bytes over frame length, rounded; 0 without one
  std::int32_t total_samples = 0;      // frame_count * samples_per_frame
  std::int32_t channels = 0;           // 1 for single channel, else 2
  std::int32_t layer3_padding_flag = 0;  // wave format flags: 1 padding on, 2 padding off
  float duration = 0;                  // seconds; 0 without a sample rate
};

// Reads the profile of one complete MP3 recording. Never reads outside `stream`: a
// recording shorter than 128 bytes has no trailer, and an ID3v2 tag that claims more
// bytes than there are leaves audio_start at the end (audio_size 0, no frame sync).
// Throws Error for a recording of 2 GiB or more, which the 32-bit fields cannot describe.
Tmp3_profile ReadMp3Profile(std::string_view stream);

// True when the profile describes a playable frame: a frame sync with a known version,
// layer and sample rate. Free-format and bad bitrate indexes still count (what can be
// computed is written, the rest is 0).
bool HasUsableFrameHeader(const Tmp3_profile& profile);

// The WAV file for a recording: the 70-byte header (RIFF, MPEG Layer-3 format chunk,
// fact chunk, data chunk header), then the audio bytes unchanged, all little-endian.
std::string BuildMp3Wav(std::string_view stream, const Tmp3_profile& profile);

// What ConvertMp3ToWav did.
enum class WavOutcome {
  kWritten,         // the WAV file was written
  kNoFrameSync,     // no frame sync at the audio start: no file
  kReservedHeader,  // a frame sync, but a reserved version, layer or sample rate: no file
};

// Reads the recording's profile and, when its first frame header is usable, gives the
// WAV file to `write`; otherwise says why not. Errors of `write` pass through.
WavOutcome ConvertMp3ToWav(std::string_view stream, const std::function<void(const std::string&)>& write);

// ConvertMp3ToWav, writing the WAV file to `path` atomically (replacing a file of that
// name). Throws Error when the file cannot be written.
WavOutcome SaveMp3AsWav(std::string_view stream, const std::string& path);

}  // namespace tavex::audio
