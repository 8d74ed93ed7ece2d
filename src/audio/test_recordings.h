// Synthetic MP3 recordings for the audio tests: silent frames behind a chosen header,
// with optional ID3v2 tags and ID3v1 trailers. Used only by the *_test.cpp files here.
#pragma once

#include <cstdint>
#include <string>

namespace tavex::audio::test_mp3 {

// `count` frames of `frame_length` bytes, each the four header bytes followed by zeros
// (all-zero side information decodes as silence).
inline std::string SilentFrames(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                                std::uint8_t b3, int count, int frame_length) {
  std::string frame(static_cast<std::size_t>(frame_length), '\0');
  frame[0] = static_cast<char>(b0);
  frame[1] = static_cast<char>(b1);
  frame[2] = static_cast<char>(b2);
  frame[3] = static_cast<char>(b3);
  std::string out;
  for (int i = 0; i < count; ++i) out += frame;
  return out;
}

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo, without padding: decoders take
// 417 bytes for such a frame (the profile's rounded frame length says 418).
inline std::string Mpeg1Frames(int count) { return SilentFrames(0xFF, 0xFB, 0x90, 0x44, count, 417); }

// An ID3v2 tag whose four size bytes are given as they stand; the body is zeros.
inline std::string Id3v2Tag(std::uint8_t s0, std::uint8_t s1, std::uint8_t s2, std::uint8_t s3,
                            std::size_t body) {
  std::string tag = "ID3";
  tag += '\x03';
  tag += '\0';
  tag += '\0';
  tag += static_cast<char>(s0);
  tag += static_cast<char>(s1);
  tag += static_cast<char>(s2);
  tag += static_cast<char>(s3);
  tag.append(body, '\0');
  return tag;
}

// A 128-byte ID3v1 trailer.
inline std::string Id3v1Trailer() {
  std::string tag = "TAG";
  tag.resize(128, ' ');
  return tag;
}

}  // namespace tavex::audio::test_mp3
