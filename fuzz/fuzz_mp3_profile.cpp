// Fuzzes the reading of a recording's layout (tags, frame header), the WAV file built
// around its audio bytes, and the saving of that file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "audio/mp3_profile.h"
#include "fuzz_support.h"
#include "text/error.h"
#include "fs/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view stream(reinterpret_cast<const char*>(data), size);
  tavex::audio::Tmp3_profile profile;
  try {
    profile = tavex::audio::ReadMp3Profile(stream);
  } catch (const tavex::Error&) {
    return 0;
  }
  // The audio lies inside the recording.
  if (profile.audio_start < 0 || profile.audio_size < 0 ||
      static_cast<std::size_t>(profile.audio_start) + static_cast<std::size_t>(profile.audio_size) > size) {
    __builtin_trap();
  }
  const std::string wav = tavex::audio::BuildMp3Wav(stream, profile);
  // The header, then the audio bytes unchanged.
  const auto audio = stream.substr(static_cast<std::size_t>(profile.audio_start),
                                   static_cast<std::size_t>(profile.audio_size));
  if (wav.size() != 70 + audio.size() || std::string_view(wav).substr(70) != audio) __builtin_trap();

  static const std::string path = tavex::fuzz::ScratchFolder() + "/recording.wav";
  const auto outcome = tavex::audio::SaveMp3AsWav(stream, path);
  // A file only for a usable frame header, and then exactly the built one.
  const bool written = outcome == tavex::audio::WavOutcome::kWritten;
  if (written != tavex::audio::HasUsableFrameHeader(profile)) __builtin_trap();
  if (written && tavex::ReadFile(path) != wav) __builtin_trap();
  return 0;
}
