// Builds silent MPEG audio Layer III recordings with valid frame headers.
#include "sample/sample_audio.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

#include "text/error.h"
#include "sample/sample_random.h"

namespace tavex::sample {
namespace {

constexpr std::uint64_t kAudioStream = 3;

const int kRatesMpeg1[] = {44100, 48000, 32000};
const int kRatesMpeg2[] = {22050, 24000, 16000};
const int kRatesMpeg25[] = {11025, 12000, 8000};
// Layer III bitrates by index 1 to 14.
const int kBitratesMpeg1[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
const int kBitratesMpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

// The formats the first ten recordings of a bundle take, one of each kind.
const Mp3Format kFormats[] = {
    {MpegVersion::kMpeg1, 44100, 128, false, true}, {MpegVersion::kMpeg1, 44100, 64, true},
    {MpegVersion::kMpeg1, 48000, 96, false, false}, {MpegVersion::kMpeg1, 32000, 48, true},
    {MpegVersion::kMpeg2, 24000, 32, true},         {MpegVersion::kMpeg2, 22050, 64, false, true},
    {MpegVersion::kMpeg2, 16000, 24, true},         {MpegVersion::kMpeg25, 11025, 16, true},
    {MpegVersion::kMpeg25, 8000, 8, true},          {MpegVersion::kMpeg25, 12000, 32, false, false},
};

int IndexOf(const int* values, int count, int value) {
  for (int i = 0; i < count; ++i) {
    if (values[i] == value) return i;
  }
  return -1;
}

int SampleRateIndex(const Mp3Format& format) {
  const int* rates = format.version == MpegVersion::kMpeg1   ? kRatesMpeg1
                     : format.version == MpegVersion::kMpeg2 ? kRatesMpeg2
                                                             : kRatesMpeg25;
  return IndexOf(rates, 3, format.sample_rate);
}

int BitrateIndex(const Mp3Format& format) {
  const int* rates = format.version == MpegVersion::kMpeg1 ? kBitratesMpeg1 : kBitratesMpeg2;
  int i = IndexOf(rates, 14, format.bitrate);
  return i < 0 ? -1 : i + 1;
}

// Bytes per frame before padding, times the sample rate: 144 (MPEG 1) or 72 slots.
std::int64_t FrameBytesTimesRate(const Mp3Format& format) {
  int coefficient = format.version == MpegVersion::kMpeg1 ? 144 : 72;
  return static_cast<std::int64_t>(coefficient) * format.bitrate * 1000;
}

int SideInfoBytes(const Mp3Format& format) {
  if (format.version == MpegVersion::kMpeg1) return format.mono ? 17 : 32;
  return format.mono ? 9 : 17;
}

void AppendSyncsafe(std::string& out, std::uint32_t value) {
  for (int shift = 21; shift >= 0; shift -= 7) out += static_cast<char>((value >> shift) & 0x7F);
}

std::string Id3v2Tag(std::string_view title, int padding) {
  std::string frames;
  auto add_text_frame = [&frames](const char* id, std::string_view text) {
    frames += id;
    AppendSyncsafe(frames, static_cast<std::uint32_t>(text.size() + 1));
    frames += std::string(2, '\0');  // frame flags
    frames += '\x03';                // UTF-8
    frames += text;
  };
  add_text_frame("TIT2", title);
  add_text_frame("TPE1", "TAVEX sample voice");
  std::string tag = "ID3";
  tag += '\x04';
  tag += '\x00';
  tag += '\x00';
  AppendSyncsafe(tag, static_cast<std::uint32_t>(frames.size() + padding));
  tag += frames;
  tag += std::string(padding, '\0');
  return tag;
}

std::string Id3v1Trailer(std::string_view title) {
  auto field = [](std::string_view text, std::size_t width) {
    std::string out;
    for (char c : text.substr(0, width)) out += (static_cast<unsigned char>(c) < 0x80) ? c : '?';
    out.resize(width, '\0');
    return out;
  };
  std::string tag = "TAG";
  tag += field(title, 30);
  tag += field("TAVEX sample voice", 30);
  tag += field("TAVEX pronunciations", 30);
  tag += "2010";
  tag += field("silent sample", 28);
  tag += '\0';
  tag += '\x01';  // track 1 (ID3v1.1)
  tag += '\x65';  // genre 101, speech
  return tag;
}

}  // namespace

Mp3Format SampleMp3Format(int index, std::uint64_t seed) {
  SampleRandom random(seed, kAudioStream, static_cast<std::uint64_t>(index));
  constexpr int kCount = static_cast<int>(std::size(kFormats));
  Mp3Format format = kFormats[index < kCount ? index : random.Below(kCount)];
  format.id3v2 = index % 4 == 1 || index % 8 == 3;
  format.id3v1 = index % 4 == 2 || index % 8 == 3;
  int samples_per_frame = format.version == MpegVersion::kMpeg1 ? 1152 : 576;
  int milliseconds = random.Between(100, 500);
  int frames = static_cast<int>(static_cast<std::int64_t>(milliseconds) * format.sample_rate /
                                (1000LL * samples_per_frame));
  // Fewer than five frames in a row make probing tools doubt that the file is MPEG audio.
  format.frames = std::max(frames, 5);
  return format;
}

int Mp3FrameLength(const Mp3Format& format, int frame) {
  std::int64_t total = FrameBytesTimesRate(format);
  std::int64_t rest = total % format.sample_rate;
  // Padding spreads the fractional byte over the frames, as encoders do.
  std::int64_t before = static_cast<std::int64_t>(frame) * rest / format.sample_rate;
  std::int64_t after = static_cast<std::int64_t>(frame + 1) * rest / format.sample_rate;
  return static_cast<int>(total / format.sample_rate + (after - before));
}

std::string MakeMp3(const Mp3Format& format, std::string_view title) {
  int rate_index = SampleRateIndex(format);
  int bitrate_index = BitrateIndex(format);
  if (rate_index < 0 || bitrate_index < 0) {
    throw Error(fmt::format("no mpeg audio layer iii frame has {} Hz at {} kbit/s in this version",
                            format.sample_rate, format.bitrate));
  }
  if (Mp3FrameLength(format, 0) < 4 + SideInfoBytes(format)) {
    throw Error(
        fmt::format("an mpeg audio frame at {} kbit/s and {} Hz is too short for its side information",
                    format.bitrate, format.sample_rate));
  }
  int version_bits = format.version == MpegVersion::kMpeg1   ? 3
                     : format.version == MpegVersion::kMpeg2 ? 2
                                                             : 0;
  // Sync, version, Layer III (01), no CRC.
  auto byte1 = static_cast<unsigned char>(0xE0 | (version_bits << 3) | (1 << 1) | 1);
  int channel_mode = format.mono ? 3 : format.joint_stereo ? 1 : 0;
  auto byte3 = static_cast<unsigned char>((channel_mode << 6) | (1 << 2));  // original bit set

  std::string out;
  if (format.id3v2) out += Id3v2Tag(title, title.size() % 2 == 0 ? 0 : 300);
  for (int f = 0; f < format.frames; ++f) {
    int length = Mp3FrameLength(format, f);
    bool padded = length * static_cast<std::int64_t>(format.sample_rate) > FrameBytesTimesRate(format);
    out += '\xFF';
    out += static_cast<char>(byte1);
    out += static_cast<char>((bitrate_index << 4) | (rate_index << 2) | (padded ? 2 : 0));
    out += static_cast<char>(byte3);
    // Zero side information (no main data, no granule bits) and zero main data: silence.
    out.append(static_cast<std::size_t>(length - 4), '\0');
  }
  if (format.id3v1) out += Id3v1Trailer(title);
  return out;
}

}  // namespace tavex::sample
