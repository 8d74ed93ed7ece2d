// Pronunciation recordings for the sample disc: real MPEG audio Layer III frames
// that decode as silence (every side-information and main-data byte is zero), in
// the versions, sample rates, bitrates and channel modes a disc may hold, some with
// a leading ID3v2 tag and some with an ID3v1 trailer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavex::sample {

// The MPEG version of a recording.
enum class MpegVersion { kMpeg1, kMpeg2, kMpeg25 };

// How one recording is encoded and tagged.
struct Mp3Format {
  MpegVersion version = MpegVersion::kMpeg1;
  int sample_rate = 44100;  // Hz; must be one of the version's three rates
  int bitrate = 128;        // kbit/s; must be in the version's Layer III table
  bool mono = false;        // single channel; otherwise stereo or joint stereo
  bool joint_stereo = false;
  bool id3v2 = false;  // a leading ID3v2.4 tag with the title
  bool id3v1 = false;  // a 128-byte "TAG" trailer
  int frames = 10;     // audio frames
};

// The format of recording `index` of a bundle: the first ten cover every format,
// the tags follow the index, the length (0.1 to 0.5 seconds) follows the seed.
Mp3Format SampleMp3Format(int index, std::uint64_t seed);

// The bytes of an MP3 file: the optional ID3v2 tag, the frames, the optional trailer.
// `title` goes into the tags. Throws Error for a rate or bitrate the version lacks.
std::string MakeMp3(const Mp3Format& format, std::string_view title);

// Bytes of one audio frame, padding bit included, for frame number `frame` (0-based).
int Mp3FrameLength(const Mp3Format& format, int frame);

}  // namespace tavex::sample
