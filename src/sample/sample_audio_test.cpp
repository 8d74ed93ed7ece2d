#include "sample/sample_audio.h"

#include <gtest/gtest.h>

#include <set>

#include "text/error.h"
#include "sample/sample_test_tools.h"
#include "testing/test_util.h"

namespace tavex::sample {
namespace {

// Frame lengths from the header fields alone, by the standard's formula.
int FrameLengthFromHeader(const unsigned char* h) {
  static const int kMpeg1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static const int kMpeg2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static const int kRates[4][3] = {
      {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  int version = (h[1] >> 3) & 3;
  int bitrate = (version == 3 ? kMpeg1 : kMpeg2)[h[2] >> 4];
  int rate = kRates[version][(h[2] >> 2) & 3];
  int padding = (h[2] >> 1) & 1;
  return (version == 3 ? 144 : 72) * bitrate * 1000 / rate + padding;
}

TEST(SampleAudio, FramesChainFromTagToTrailer) {
  std::set<int> versions;
  std::set<int> channel_modes;
  std::set<int> bitrate_indexes;
  int with_v2 = 0;
  int with_v1 = 0;
  for (int i = 0; i < 16; ++i) {
    Mp3Format format = SampleMp3Format(i, 1);
    std::string mp3 = MakeMp3(format, "o'clock");
    auto bytes = reinterpret_cast<const unsigned char*>(mp3.data());
    std::size_t at = 0;
    if (mp3.starts_with("ID3")) {
      ++with_v2;
      // The syncsafe size counts the bytes after the 10-byte header.
      at = 10 + ((bytes[6] << 21) | (bytes[7] << 14) | (bytes[8] << 7) | bytes[9]);
    }
    std::size_t end = mp3.size();
    if (format.id3v1) {
      ++with_v1;
      ASSERT_EQ(mp3.substr(end - 128, 3), "TAG") << i;
      end -= 128;
    }
    int frames = 0;
    while (at < end) {
      ASSERT_EQ(bytes[at], 0xFF) << "recording " << i << " frame " << frames;
      ASSERT_EQ(bytes[at + 1] >> 5, 7);
      ASSERT_EQ((bytes[at + 1] >> 1) & 3, 1) << "Layer III";
      versions.insert((bytes[at + 1] >> 3) & 3);
      bitrate_indexes.insert(bytes[at + 2] >> 4);
      channel_modes.insert(bytes[at + 3] >> 6);
      int length = FrameLengthFromHeader(bytes + at);
      EXPECT_EQ(length, Mp3FrameLength(format, frames));
      at += static_cast<std::size_t>(length);
      ++frames;
    }
    EXPECT_EQ(at, end) << "the last frame ends where the trailer starts";
    EXPECT_EQ(frames, format.frames);
    EXPECT_GE(frames, 5);
  }
  EXPECT_EQ(versions, (std::set<int>{0, 2, 3}));
  EXPECT_TRUE(channel_modes.count(3) && channel_modes.count(0) && channel_modes.count(1));
  EXPECT_GE(bitrate_indexes.size(), 6u);
  EXPECT_GT(with_v2, 2);
  EXPECT_GT(with_v1, 2);
}

TEST(SampleAudio, PaddingKeepsTheAverageFrameLength) {
  Mp3Format format{MpegVersion::kMpeg1, 44100, 128};
  format.frames = 100;
  std::string mp3 = MakeMp3(format, "x");
  // 100 frames of 417.959… bytes: the padding bits add up to the whole bytes.
  EXPECT_EQ(mp3.size(), 41795u);
  EXPECT_EQ(Mp3FrameLength(format, 0), 417);
}

TEST(SampleAudio, RejectsRatesTheVersionLacks) {
  EXPECT_THROW(MakeMp3({MpegVersion::kMpeg1, 22050, 128}, "x"), Error);
  EXPECT_THROW(MakeMp3({MpegVersion::kMpeg2, 24000, 320}, "x"), Error);
}

TEST(SampleAudio, FfprobeDecodesEveryFormat) {
  if (!testing::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
  tavex::testing::TempDir dir;
  for (int i = 0; i < 10; ++i) {
    Mp3Format format = SampleMp3Format(i, 1);
    std::string path = dir / ("rec" + std::to_string(i) + ".mp3");
    testing::WriteBytes(path, MakeMp3(format, "café"));
    auto probe = testing::RunCommand("ffprobe -v error -show_streams " + testing::Quote(path));
    EXPECT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find("codec_name=mp3"), std::string::npos) << i << probe.output;
    EXPECT_NE(probe.output.find("sample_rate=" + std::to_string(format.sample_rate) + "\n"),
              std::string::npos)
        << i << probe.output;
    EXPECT_NE(probe.output.find(std::string("channels=") + (format.mono ? "1" : "2") + "\n"),
              std::string::npos)
        << i << probe.output;
    // Decoding the whole file must not report damaged frames.
    auto decode = testing::RunCommand("ffmpeg -v error -i " + testing::Quote(path) + " -f null -");
    EXPECT_EQ(decode.status, 0) << decode.output;
    EXPECT_EQ(decode.output, "") << i;
  }
}

}  // namespace
}  // namespace tavex::sample
