#include "check/wav_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "text/error.h"
#include "fs/files.h"
#include "fs/safe_file.h"
#include "source/source_bounds.h"
#include "text/text.h"

namespace tavex::check {

namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 2> kWavFolders = {"us_pron", "uk_pron"};
constexpr const char* kRerunAudio = "re-run `tavex2epwing audio` to write the WAV files anew";

std::uint32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void CheckWavFile(ReadOnlyFile& file, const std::string& name, FindingSink& sink) {
  std::array<unsigned char, 12> header{};
  std::size_t got = 0;
  try {
    while (got < header.size()) {
      const std::size_t part = file.Read(reinterpret_cast<char*>(header.data()) + got, header.size() - got);
      if (part == 0) break;
      got += part;
    }
  } catch (const Error& e) {
    sink.Warning("wav-unreadable", name, 0, e.what(),
                 "check the file's permissions, or " + std::string(kRerunAudio));
    return;
  }
  bool riff = got == header.size() && std::equal(header.begin(), header.begin() + 4, "RIFF") &&
              std::equal(header.begin() + 8, header.end(), "WAVE");
  if (!riff) {
    sink.Warning("wav-header", name, 0, "does not start with a RIFF/WAVE header", kRerunAudio);
    return;
  }
  std::uint64_t declared = std::uint64_t{LittleEndian32(header.data() + 4)} + 8;
  if (declared != file.size()) {
    sink.Warning("wav-size", name, 0,
                 fmt::format("its RIFF header declares {} bytes but the file has {}", declared, file.size()),
                 kRerunAudio);
  }
}

}  // namespace

std::int64_t CheckWavFolders(const std::string& base_folder, FindingSink& sink) {
  std::int64_t count = 0;
  for (const char* folder : kWavFolders) {
    switch (InspectFolderInside(base_folder, folder)) {
      case OpenStatus::kOpened:
        break;
      case OpenStatus::kMissing:
        continue;
      case OpenStatus::kSymbolicLink:
        sink.Warning(
            "wav-folder", folder, 0,
            "is a symbolic link: the book takes recordings only from a real folder inside base_folder, "
            "so it leaves out every one linked to here",
            "replace the link by the folder itself, or re-run `tavex2epwing audio`");
        continue;
      default:
        sink.Warning("wav-folder", folder, 0,
                     "is not a folder: the book leaves out every recording linked to here",
                     "remove it and re-run `tavex2epwing audio`");
        continue;
    }
    std::string folder_path = JoinPath(base_folder, folder);
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder_path, error), end; !error && it != end; it.increment(error)) {
      std::string name = it->path().filename().string();
      bool wav = name.size() > 4 && AsciiLower(name.substr(name.size() - 4)) == ".wav";
      if (wav) names.push_back(name);
    }
    if (error) {
      sink.Warning("wav-folder", folder, 0, "cannot list the folder: " + error.message(),
                   "check the folder's permissions");
    }
    std::sort(names.begin(), names.end());
    count += static_cast<std::int64_t>(names.size());
    for (const auto& name : names) {
      const std::string relative = std::string(folder) + "/" + name;
      OpenResult opened = OpenInside(base_folder, relative, source_bounds::kRecording);
      switch (opened.status) {
        case OpenStatus::kOpened:
          CheckWavFile(opened.file, relative, sink);
          break;
        case OpenStatus::kSymbolicLink:
        case OpenStatus::kNotRegular:
          sink.Warning("wav-not-regular", relative, 0,
                       "is a symbolic link or not a regular file: the book leaves this recording out",
                       "replace it by the WAV file itself, or " + std::string(kRerunAudio));
          break;
        case OpenStatus::kTooLarge:
          sink.Warning(
              "wav-too-large", relative, 0,
              fmt::format("has {} bytes, more than the {} a recording may have: the book leaves it out",
                          opened.size, SizeText(source_bounds::kRecording)),
              kRerunAudio);
          break;
        default:
          sink.Warning("wav-unreadable", relative, 0, "cannot be read: " + opened.reason,
                       "check the file's permissions");
          break;
      }
    }
  }
  return count;
}

}  // namespace tavex::check
