#include "audio/mp3_profile.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "audio/test_recordings.h"
#include "fs/files.h"
#include "testing/test_util.h"

namespace tavex::audio {
namespace {

using test_mp3::Id3v1Trailer;
using test_mp3::Id3v2Tag;
using test_mp3::Mpeg1Frames;
using test_mp3::SilentFrames;

std::uint32_t U16(const std::string& s, std::size_t at) {
  return static_cast<std::uint8_t>(s[at]) | (static_cast<std::uint8_t>(s[at + 1]) << 8);
}
std::uint32_t U32(const std::string& s, std::size_t at) { return U16(s, at) | (U16(s, at + 2) << 16); }

TEST(Mp3ProfileTest, TagsDecideWhereTheAudioLies) {
  const std::string frames = Mpeg1Frames(3);

  // Size bytes 00 00 02 01: 256 + 1 + 10.
  const std::string tagged = Id3v2Tag(0, 0, 2, 1, 257) + frames;
  Tmp3_profile p = ReadMp3Profile(tagged);
  EXPECT_TRUE(p.has_id3v2);
  EXPECT_EQ(p.id3v2_size, 267);
  EXPECT_EQ(p.audio_start, 267);
  EXPECT_EQ(p.audio_size, static_cast<std::int32_t>(tagged.size()) - 267);
  EXPECT_TRUE(p.frame_sync);
  EXPECT_EQ(p.frame_count, 3);

  // The size bytes are taken whole: a high bit is not masked away.
  p = ReadMp3Profile(Id3v2Tag(0, 0, 0, 0x80, 128) + frames);
  EXPECT_EQ(p.id3v2_size, 138);
  EXPECT_TRUE(p.frame_sync);

  // A trailer alone costs exactly its 128 bytes, and stays out of the data chunk.
  const std::string trailed = frames + Id3v1Trailer();
  p = ReadMp3Profile(trailed);
  EXPECT_TRUE(p.has_id3v1);
  EXPECT_EQ(p.id3v1_size, 128);
  EXPECT_EQ(p.audio_start, 0);
  EXPECT_EQ(p.audio_size, static_cast<std::int32_t>(trailed.size()) - 128);
  EXPECT_EQ(BuildMp3Wav(trailed, p).substr(70), frames);

  // Behind an ID3v2 tag the trailer is not looked for and stays in the data chunk.
  const std::string both = Id3v2Tag(0, 0, 0, 5, 5) + frames + Id3v1Trailer();
  p = ReadMp3Profile(both);
  EXPECT_FALSE(p.has_id3v1);
  EXPECT_EQ(p.id3v1_size, 0);
  EXPECT_EQ(p.audio_size, static_cast<std::int32_t>(both.size()) - 15);
  EXPECT_EQ(BuildMp3Wav(both, p).substr(70), frames + Id3v1Trailer());
}

TEST(Mp3ProfileTest, FrameFieldsFollowTheHeader) {
  // Mono MPEG 2 Layer III, 32 kbit/s, 24000 Hz, without and with padding.
  for (int padding : {0, 1}) {
    const auto b2 = static_cast<std::uint8_t>(0x44 | (padding << 1));
    const std::string mono = SilentFrames(0xFF, 0xF3, b2, 0xC0, 4, 96 + padding);
    const Tmp3_profile p = ReadMp3Profile(mono);
    EXPECT_EQ(p.version, 2);
    EXPECT_EQ(p.channels, 1);
    EXPECT_EQ(p.samples_per_frame, 576);
    EXPECT_EQ(p.frame_length, 96 + padding);
    EXPECT_EQ(p.frame_count, 4);
    EXPECT_EQ(p.total_samples, 4 * 576);
    EXPECT_FLOAT_EQ(p.duration, 4 * 576 / 24000.0f);
    EXPECT_EQ(p.layer3_padding_flag, padding == 1 ? 1 : 2);
    const std::string wav = BuildMp3Wav(mono, p);
    EXPECT_EQ(U16(wav, 22), 1u);
    EXPECT_EQ(U32(wav, 28), 4000u);
    EXPECT_EQ(U16(wav, 44), static_cast<std::uint32_t>(96 + padding));
  }

  // Every bit of the last two header bytes lands in its field.
  const Tmp3_profile bits = ReadMp3Profile(SilentFrames(0xFF, 0xFA, 0x93, 0x6F, 1, 418));
  EXPECT_EQ(bits.protection, 0);
  EXPECT_EQ(bits.padding, 1);
  EXPECT_EQ(bits.private_bit, 1);
  EXPECT_EQ(bits.channel_mode, 1);
  EXPECT_EQ(bits.mode_extension, 2);
  EXPECT_EQ(bits.copyright, 1);
  EXPECT_EQ(bits.original, 1);
  EXPECT_EQ(bits.emphasis, 3);
  EXPECT_EQ(bits.frame_length, 419);  // 417.96 + 1
}

TEST(Mp3ProfileTest, TablesAndRounding) {
  struct Case {
    std::uint8_t b1, b2;
    int bitrate, sample_rate, samples, frame_length;
  };
  const Case cases[] = {
      {0xFB, 0x90, 128, 44100, 1152, 418},  // MPEG 1 Layer III
      {0xFB, 0xE4, 320, 48000, 1152, 960},  // MPEG 1 Layer III, highest rate
      {0xFD, 0xE4, 384, 48000, 1152, 1152},  // MPEG 1 Layer II
      {0xFF, 0xE8, 448, 32000, 384, 672},   // MPEG 1 Layer I: no slot factor
      {0xF3, 0xE0, 160, 22050, 576, 522},   // MPEG 2 Layer III: 522.45
      {0xF5, 0xE0, 160, 22050, 1152, 1045},  // MPEG 2 Layer II shares the row
      {0xF7, 0xE0, 256, 22050, 384, 557},   // MPEG 2 Layer I: 557.28
      {0xE3, 0x18, 8, 8000, 576, 72},       // MPEG 2.5 Layer III
      {0xE3, 0x14, 8, 12000, 576, 48},      // MPEG 2.5 Layer III
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame_length);
    const Tmp3_profile p = ReadMp3Profile(SilentFrames(0xFF, c.b1, c.b2, 0x00, 2, c.frame_length));
    EXPECT_EQ(p.bitrate, c.bitrate);
    EXPECT_EQ(p.sample_rate, c.sample_rate);
    EXPECT_EQ(p.samples_per_frame, c.samples);
    EXPECT_EQ(p.frame_length, c.frame_length);
    EXPECT_EQ(p.frame_count, 2);
  }

  // Frame counts round half to even: 2.5 frames give 2, 3.5 give 4.
  EXPECT_EQ(ReadMp3Profile(Mpeg1Frames(3).substr(0, 418 * 2 + 209)).frame_count, 2);
  EXPECT_EQ(ReadMp3Profile(Mpeg1Frames(4).substr(0, 418 * 3 + 209)).frame_count, 4);
}

TEST(Mp3ProfileTest, ReservedValuesAndShortStreamsAreSafe) {
  tavex::testing::TempDir dir;
  const std::string path = dir / "out.wav";
  struct Case {
    std::uint8_t b1, b2;
    WavOutcome outcome;
  };
  const Case cases[] = {
      {0xEB, 0x90, WavOutcome::kReservedHeader},  // version 1
      {0xF9, 0x90, WavOutcome::kReservedHeader},  // layer 0
      {0xFB, 0x9C, WavOutcome::kReservedHeader},  // sample-rate index 3
      {0xFB, 0x00, WavOutcome::kWritten},         // free format: bitrate 0
      {0xFB, 0xF0, WavOutcome::kWritten},         // bitrate index 15
  };
  for (const Case& c : cases) {
    const Tmp3_profile p = ReadMp3Profile(SilentFrames(0xFF, c.b1, c.b2, 0x00, 3, 400));
    EXPECT_TRUE(p.frame_sync);
    EXPECT_EQ(p.frame_length, 0);
    EXPECT_EQ(p.frame_count, 0);
    EXPECT_EQ(p.total_samples, 0);
    EXPECT_EQ(p.duration, 0.0f);
    EXPECT_EQ(SaveMp3AsWav(SilentFrames(0xFF, c.b1, c.b2, 0x00, 3, 400), path), c.outcome);
    EXPECT_EQ(FileExists(path), c.outcome == WavOutcome::kWritten);
    std::remove(path.c_str());
  }

  // Ten bytes: no room for a trailer; a frame header alone is still read.
  Tmp3_profile p = ReadMp3Profile(SilentFrames(0xFF, 0xFB, 0x90, 0x44, 1, 10));
  EXPECT_FALSE(p.has_id3v1);
  EXPECT_EQ(p.audio_size, 10);
  EXPECT_TRUE(p.frame_sync);
  // A tag that claims more than there is leaves no audio and no frame.
  p = ReadMp3Profile(Id3v2Tag(0x7F, 0x7F, 0x7F, 0x7F, 0));
  EXPECT_EQ(p.audio_start, 10);
  EXPECT_EQ(p.audio_size, 0);
  EXPECT_FALSE(p.frame_sync);
  EXPECT_EQ(ReadMp3Profile(std::string_view("ID3", 3)).audio_size, 0);
  EXPECT_EQ(ReadMp3Profile("").audio_size, 0);

  // Audio that does not begin with a frame sync gets no file.
  EXPECT_EQ(SaveMp3AsWav(std::string(500, '\0'), path), WavOutcome::kNoFrameSync);
  EXPECT_EQ(SaveMp3AsWav(" " + Mpeg1Frames(2), path), WavOutcome::kNoFrameSync);
  EXPECT_FALSE(FileExists(path));
}

TEST(Mp3ProfileTest, WavHeaderLayout) {
  tavex::testing::TempDir dir;
  // An odd audio size: no pad byte follows the data.
  const std::string mp3 = Id3v2Tag(0, 0, 0, 3, 3) + Mpeg1Frames(5) + "x";
  ASSERT_EQ(SaveMp3AsWav(mp3, dir / "a.wav"), WavOutcome::kWritten);
  const std::string wav = ReadFile(dir / "a.wav");
  const std::uint32_t audio = 417 * 5 + 1;
  ASSERT_EQ(wav.size(), 70 + audio);
  EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 8) + wav.substr(50, 4) + wav.substr(62, 4),
            "RIFFWAVEfmt factdata");
  EXPECT_EQ(U32(wav, 4), audio + 62);
  EXPECT_EQ(U32(wav, 16), 30u);
  EXPECT_EQ(U16(wav, 20), 0x55u);
  EXPECT_EQ(U32(wav, 28), 16000u);
  EXPECT_EQ(U32(wav, 40), 2u);
  EXPECT_EQ(U16(wav, 44), 418u);
  EXPECT_EQ(U16(wav, 48), 1393u);
  EXPECT_EQ(U32(wav, 58), 5u * 1152);
  EXPECT_EQ(U32(wav, 66), audio);
  EXPECT_EQ(wav.substr(70), mp3.substr(13));
}

// ffprobe's "key=value" lines for the first audio stream and the container.
std::map<std::string, std::string> Probe(const std::string& path) {
  const std::string command =
      "ffprobe -v error -select_streams a:0 -show_entries "
      "stream=codec_name,sample_rate,channels,bit_rate:format=duration "
      "-of default=noprint_wrappers=1 '" + path + "'";
  std::map<std::string, std::string> out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  char line[512];
  while (fgets(line, sizeof line, pipe.get())) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t eq = text.find('=');
    if (eq != std::string::npos) out[text.substr(0, eq)] = text.substr(eq + 1);
  }
  return out;
}

TEST(Mp3ProfileTest, FfprobeDecodesTheWav) {
  if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
  tavex::testing::TempDir dir;
  struct Case {
    std::string mp3;
    int frames, samples, sample_rate, channels;
  };
  const Case cases[] = {
      {Mpeg1Frames(40), 40, 1152, 44100, 2},
      {Id3v2Tag(0, 0, 0, 20, 20) + SilentFrames(0xFF, 0xF3, 0x44, 0xC0, 50, 96), 50, 576, 24000, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample_rate);
    tavex::testing::WriteTestFile(dir / "in.mp3", c.mp3);
    ASSERT_EQ(SaveMp3AsWav(c.mp3, dir / "out.wav"), WavOutcome::kWritten);
    auto wav = Probe(dir / "out.wav");
    auto mp3 = Probe(dir / "in.mp3");
    EXPECT_EQ(wav["codec_name"], "mp3");
    EXPECT_EQ(wav["sample_rate"], std::to_string(c.sample_rate));
    EXPECT_EQ(wav["channels"], std::to_string(c.channels));
    const double expected = static_cast<double>(c.frames) * c.samples / c.sample_rate;
    const double frame = static_cast<double>(c.samples) / c.sample_rate;
    EXPECT_NEAR(std::atof(wav["duration"].c_str()), expected, frame);
    // The header agrees with ffprobe's own reading of the recording.
    const std::string header = ReadFile(dir / "out.wav");
    EXPECT_EQ(std::to_string(U32(header, 24)), mp3["sample_rate"]);
    EXPECT_EQ(std::to_string(U16(header, 22)), mp3["channels"]);
    EXPECT_EQ(std::to_string(U32(header, 28) * 8), mp3["bit_rate"]);
  }
}

}  // namespace
}  // namespace tavex::audio
