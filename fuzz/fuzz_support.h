// Helpers the fuzz targets share: a scratch folder that lives as long as the fuzzer
// (on tmpfs when there is one, so that the files each input becomes cost no disk
// writes), whole-file writes, and the split of one input into several files.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavex::fuzz {

// A folder made for the fuzzer and removed with everything in it when the process ends.
class ScratchFolderOwner {
 public:
  ScratchFolderOwner() {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    if (const char* tmp = std::getenv("TAVEX_FUZZ_TMP")) base = tmp;
    path_ = base + "/tavex-fuzz-XXXXXX";
    if (mkdtemp(path_.data()) == nullptr) std::abort();
  }
  ~ScratchFolderOwner() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolderOwner(const ScratchFolderOwner&) = delete;
  ScratchFolderOwner& operator=(const ScratchFolderOwner&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The fuzzer's scratch folder, created on first use.
inline const std::string& ScratchFolder() {
  static const ScratchFolderOwner folder;
  return folder.path();
}

// Writes `bytes` to `path`, replacing it; aborts when that is impossible, since the
// target would then test nothing.
inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  std::fclose(file);
}

// Splits an input into `count` parts: it begins with count-1 little-endian 32-bit
// lengths (each cut to what remains), then holds the parts in order; the last part is
// whatever follows. Short inputs give empty parts.
inline std::vector<std::string_view> SplitInput(std::string_view input, std::size_t count) {
  std::vector<std::string_view> parts(count);
  const std::size_t header = 4 * (count - 1);
  if (input.size() < header) return parts;
  std::string_view rest = input.substr(header);
  for (std::size_t k = 0; k + 1 < count; ++k) {
    std::uint32_t length = 0;
    for (int b = 0; b < 4; ++b) length |= static_cast<std::uint32_t>(static_cast<unsigned char>(input[4 * k + b])) << (8 * b);
    const std::size_t take = std::min<std::size_t>(length, rest.size());
    parts[k] = rest.substr(0, take);
    rest.remove_prefix(take);
  }
  parts[count - 1] = rest;
  return parts;
}

// The inverse of SplitInput, for writing seeds.
inline std::string JoinParts(const std::vector<std::string>& parts) {
  std::string joined;
  for (std::size_t k = 0; k + 1 < parts.size(); ++k) {
    const auto length = static_cast<std::uint32_t>(parts[k].size());
    for (int b = 0; b < 4; ++b) joined += static_cast<char>((length >> (8 * b)) & 0xFF);
  }
  for (const std::string& part : parts) joined += part;
  return joined;
}

}  // namespace tavex::fuzz
