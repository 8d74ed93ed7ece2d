#include "check/wav_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace tavex::check {

namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 2> kWavFolders = {"us_pron", "uk_pron"};
constexpr const char* kRerunAudio = "re-run `tavex2epwing audio` to write the WAV files anew";

std::uint32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void CheckWavFile(const std::string& path, const std::string& name, FindingSink& sink) {
  std::array<unsigned char, 12> header{};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(header.data()), header.size());
  auto got = static_cast<std::size_t>(in.gcount());
  bool riff = got == header.size() && std::equal(header.begin(), header.begin() + 4, "RIFF") &&
              std::equal(header.begin() + 8, header.end(), "WAVE");
  if (!riff) {
    sink.Warning("wav-header", name, 0, "does not start with a RIFF/WAVE header", kRerunAudio);
    return;
  }
  std::error_code error;
  std::uintmax_t size = fs::file_size(path, error);
  std::uint64_t declared = std::uint64_t{LittleEndian32(header.data() + 4)} + 8;
  if (!error && declared != size) {
    sink.Warning("wav-size", name, 0,
                 fmt::format("its RIFF header declares {} bytes but the file has {}", declared, size),
                 kRerunAudio);
  }
}

}  // namespace

void CheckWavFolders(const std::string& base_folder, FindingSink& sink) {
  for (const char* folder : kWavFolders) {
    std::string folder_path = JoinPath(base_folder, folder);
    if (!FolderExists(folder_path)) continue;
    std::vector<std::string> names;
    std::error_code error;
    std::error_code kind_error;
    for (fs::directory_iterator it(folder_path, error), end; !error && it != end; it.increment(error)) {
      std::string name = it->path().filename().string();
      bool wav = name.size() > 4 && AsciiLower(name.substr(name.size() - 4)) == ".wav";
      if (wav && it->is_regular_file(kind_error)) names.push_back(name);
    }
    if (error) {
      sink.Warning("wav-folder", folder, 0, "cannot list the folder: " + error.message(),
                   "check the folder's permissions");
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
      CheckWavFile(JoinPath(folder_path, name), std::string(folder) + "/" + name, sink);
    }
  }
}

}  // namespace tavex::check
