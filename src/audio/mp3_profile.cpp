// Reading an MP3 recording's layout and wrapping its frames in a WAV container.

#include "audio/mp3_profile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <fmt/format.h>

#include "text/error.h"
#include "fs/files.h"

namespace tavex::audio {
namespace {

constexpr std::size_t kId3v1Size = 128;
constexpr std::size_t kId3v2HeaderSize = 10;
constexpr std::size_t kWavHeaderSize = 70;

// Sample rate in Hz by version (0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1) and index.
constexpr std::int32_t kSampleRates[4][4] = {
    {11025, 12000, 8000, 0},
    {0, 0, 0, 0},
    {22050, 24000, 16000, 0},
    {44100, 48000, 32000, 0},
};

// Bitrate in kbit/s by layer field (1 Layer III, 2 Layer II, 3 Layer I) and bitrate
// index; MPEG 1 rows, then the low-sampling-frequency rows shared by MPEG 2 and 2.5.
// Index 0 (free format) and index 15 (bad) hold 0.
constexpr std::int32_t kMpeg1Bitrates[4][16] = {
    {},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
};
constexpr std::int32_t kMpeg2Bitrates[4][16] = {
    {},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
};

// Samples per frame by version and layer field.
constexpr std::int32_t kSamplesPerFrame[4][4] = {
    {0, 576, 1152, 384},
    {0, 0, 0, 0},
    {0, 576, 1152, 384},
    {0, 1152, 1152, 384},
};

// Rounds to the nearest integer, a tie going to the even neighbour, whatever the
// floating-point environment's rounding mode is.
long double RoundHalfEven(long double value) {
  long double floor_value = std::floor(value);
  long double diff = value - floor_value;
  if (diff > 0.5L) return floor_value + 1;
  if (diff < 0.5L) return floor_value;
  return std::fmod(floor_value, 2.0L) == 0 ? floor_value : floor_value + 1;
}

// Saturates a non-negative count to the 32-bit fields of the profile.
std::int32_t ToInt32(long double value) {
  if (!(value >= 0)) return 0;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

void DecodeFrameFields(Tmp3_profile& p) {
  const std::uint8_t b1 = p.frame_header[1];
  const std::uint8_t b2 = p.frame_header[2];
  const std::uint8_t b3 = p.frame_header[3];
  p.version = (b1 >> 3) & 3;
  p.layer = (b1 >> 1) & 3;
  p.protection = b1 & 1;
  p.bitrate_index = b2 >> 4;
  if (p.version == 3) {
    p.bitrate = kMpeg1Bitrates[p.layer][p.bitrate_index];
  } else if (p.version == 2 || p.version == 0) {
    p.bitrate = kMpeg2Bitrates[p.layer][p.bitrate_index];
  }
  p.sample_rate_index = (b2 >> 2) & 3;
  p.sample_rate = kSampleRates[p.version][p.sample_rate_index];
  p.padding = (b2 >> 1) & 1;
  p.private_bit = b2 & 1;
  p.channel_mode = (b3 >> 6) & 3;
  p.mode_extension = (b3 >> 4) & 3;
  p.copyright = (b3 >> 3) & 1;
  p.original = (b3 >> 2) & 1;
  p.emphasis = b3 & 3;
  p.samples_per_frame = kSamplesPerFrame[p.version][p.layer];

  // One formula for all layers. A zero factor (reserved values, free format) leaves the
  // frame length, and with it the frame count, at 0 rather than dividing by zero or
  // taking the padding bit for a whole frame.
  if (p.samples_per_frame > 0 && p.bitrate > 0 && p.sample_rate > 0) {
    long double length = static_cast<long double>(p.samples_per_frame) / 8 * p.bitrate * 1000 /
                             p.sample_rate +
                         p.padding;
    p.frame_length = ToInt32(RoundHalfEven(length));
  }
  if (p.frame_length > 0) {
    p.frame_count = ToInt32(RoundHalfEven(static_cast<long double>(p.audio_size) / p.frame_length));
  }
  p.total_samples =
      ToInt32(static_cast<long double>(p.frame_count) * static_cast<long double>(p.samples_per_frame));
  if (p.sample_rate > 0) {
    p.duration = static_cast<float>(static_cast<double>(p.total_samples) / p.sample_rate);
  }
  p.channels = p.channel_mode >= 3 ? 1 : 2;
  p.layer3_padding_flag = p.padding == 1 ? 1 : 2;
}

void PutU16(std::string& out, std::size_t offset, std::uint32_t value) {
  out[offset] = static_cast<char>(value & 0xFF);
  out[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void PutU32(std::string& out, std::size_t offset, std::uint32_t value) {
  PutU16(out, offset, value & 0xFFFF);
  PutU16(out, offset + 2, value >> 16);
}

void PutTag(std::string& out, std::size_t offset, const char (&tag)[5]) {
  std::memcpy(out.data() + offset, tag, 4);
}

}  // namespace

Tmp3_profile ReadMp3Profile(std::string_view stream) {
  if (stream.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw Error(fmt::format("mp3 recording too large: {} bytes", stream.size()));
  }
  const auto size = static_cast<std::int32_t>(stream.size());
  Tmp3_profile p;

  if (stream.substr(0, 3) == "ID3") {
    p.has_id3v2 = true;
    // The four size bytes are taken whole, as the recordings were written; a byte with
    // its high bit set only makes the tag look longer.
    std::uint32_t b[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < 4 && 6 + i < stream.size(); ++i) {
      b[i] = static_cast<std::uint8_t>(stream[6 + i]);
    }
    p.id3v2_size = static_cast<std::int32_t>(((b[0] << 21) | (b[1] << 14) | (b[2] << 7) | b[3]) +
                                             kId3v2HeaderSize);
    // A tag longer than the recording leaves no audio; nothing past the end is read.
    p.audio_start = std::min(p.id3v2_size, size);
    p.audio_size = size - p.audio_start;
  } else {
    p.audio_start = 0;
    p.audio_size = size;
    if (stream.size() >= kId3v1Size && stream.substr(stream.size() - kId3v1Size, 3) == "TAG") {
      p.has_id3v1 = true;
      p.id3v1_size = static_cast<std::int32_t>(kId3v1Size);
      p.audio_size -= p.id3v1_size;
    }
  }

  // The first frame must begin exactly at the audio start; there is no search for a sync.
  // Only header bytes inside the audio count, so a trailer is never taken for a frame.
  for (std::size_t i = 0; i < 4 && i < static_cast<std::size_t>(p.audio_size); ++i) {
    p.frame_header[i] = static_cast<std::uint8_t>(stream[p.audio_start + i]);
  }
  p.frame_sync = p.audio_size >= 4 && p.frame_header[0] == 0xFF && (p.frame_header[1] >> 5) == 7;
  if (p.frame_sync) DecodeFrameFields(p);
  return p;
}

bool HasUsableFrameHeader(const Tmp3_profile& profile) {
  return profile.frame_sync && profile.version != 1 && profile.layer != 0 &&
         profile.sample_rate > 0;
}

std::string BuildMp3Wav(std::string_view stream, const Tmp3_profile& p) {
  const auto audio_size = static_cast<std::uint32_t>(p.audio_size);
  std::string out(kWavHeaderSize, '\0');
  out.reserve(kWavHeaderSize + audio_size);
  PutTag(out, 0, "RIFF");
  PutU32(out, 4, audio_size + 62);
  PutTag(out, 8, "WAVE");
  PutTag(out, 12, "fmt ");
  PutU32(out, 16, 30);
  PutU16(out, 20, 0x0055);  // MPEG Layer-3
  PutU16(out, 22, static_cast<std::uint32_t>(p.channels));
  PutU32(out, 24, static_cast<std::uint32_t>(p.sample_rate));
  PutU32(out, 28, static_cast<std::uint32_t>(p.bitrate) * 125);  // bytes per second
  PutU16(out, 32, 1);   // block align
  PutU16(out, 34, 0);   // bits per sample
  PutU16(out, 36, 12);  // extra format bytes
  PutU16(out, 38, 1);   // MPEG Layer-3 ID: MPEG
  PutU32(out, 40, static_cast<std::uint32_t>(p.layer3_padding_flag));
  PutU16(out, 44, static_cast<std::uint32_t>(p.frame_length) & 0xFFFF);  // block size
  PutU16(out, 46, 1);     // frames per block
  PutU16(out, 48, 1393);  // codec delay
  PutTag(out, 50, "fact");
  PutU32(out, 54, 4);
  PutU32(out, 58, static_cast<std::uint32_t>(p.total_samples));
  PutTag(out, 62, "data");
  PutU32(out, 66, audio_size);
  out.append(stream.substr(static_cast<std::size_t>(p.audio_start), audio_size));
  return out;
}

WavOutcome ConvertMp3ToWav(std::string_view stream, const std::function<void(const std::string&)>& write) {
  const Tmp3_profile profile = ReadMp3Profile(stream);
  if (!profile.frame_sync) return WavOutcome::kNoFrameSync;
  if (!HasUsableFrameHeader(profile)) return WavOutcome::kReservedHeader;
  write(BuildMp3Wav(stream, profile));
  return WavOutcome::kWritten;
}

WavOutcome SaveMp3AsWav(std::string_view stream, const std::string& path) {
  return ConvertMp3ToWav(stream, [&](const std::string& wav) { WriteFileAtomic(path, wav); });
}

}  // namespace tavex::audio
