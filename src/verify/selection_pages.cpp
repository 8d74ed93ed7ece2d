// The text file's first page and multi-search pages, read without libeb: a plain file
// by its offset, an ebzip-compressed one (a header, a table of where each slice starts,
// then the slices, each deflated unless deflating did not make it smaller) one slice at
// a time.
#include "verify/selection_pages.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "fs/read_at.h"
#include "verify/book_index.h"

namespace tavex::verify {
namespace {

constexpr std::uint64_t kPage = 2048;
constexpr std::size_t kMultiEntries = 5;  // the room libeb's table has

std::uint64_t Big(const std::string& bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::string ReadAt(int fd, std::uint64_t at, std::size_t size) {
  std::string bytes(size, '\0');
  bytes.resize(static_cast<std::size_t>(std::max<ssize_t>(0, tavex::ReadAt(fd, bytes.data(), size, at))));
  return bytes;
}

// One page of the text file, plain or ebzip-compressed; empty when it does not read.
class TextFile {
 public:
  TextFile(int fd, bool zipped) : fd_(fd), zipped_(zipped) {}

  std::string Page(std::uint32_t page) {
    const std::uint64_t at = (static_cast<std::uint64_t>(page) - 1) * kPage;
    if (!zipped_) return ReadAt(fd_, at, kPage);
    const std::string header = ReadAt(fd_, 0, 22);
    if (header.size() < 22 || header.compare(0, 5, "EBZip") != 0) return {};
    const unsigned level = static_cast<unsigned char>(header[5]) & 0x0F;
    if (level > 5) return {};
    const std::uint64_t slice = kPage << level;
    const std::uint64_t size = Big(header, 9, 5);
    const int width = size < (1ull << 16) ? 2 : size < (1ull << 24) ? 3 : size < (1ull << 32) ? 4 : 5;
    if (at >= size) return {};
    const std::string index = ReadAt(fd_, 22 + at / slice * width, 2 * width);
    if (index.size() < 2u * width) return {};
    const std::uint64_t start = Big(index, 0, width), end = Big(index, width, width);
    if (end <= start || end - start > slice) return {};
    const std::string stored = ReadAt(fd_, start, end - start);
    std::string plain(slice, '\0');
    if (stored.size() == slice) {
      plain = stored;
    } else {
      z_stream z{};
      if (inflateInit(&z) != Z_OK) return {};
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
      z.avail_in = static_cast<uInt>(stored.size());
      z.next_out = reinterpret_cast<Bytef*>(plain.data());
      z.avail_out = static_cast<uInt>(plain.size());
      const int status = inflate(&z, Z_FINISH);
      plain.resize(plain.size() - z.avail_out);
      inflateEnd(&z);
      if (status != Z_STREAM_END && status != Z_OK && status != Z_BUF_ERROR) return {};
    }
    const std::uint64_t in_slice = at % slice;
    if (in_slice >= plain.size()) return {};
    return plain.substr(in_slice, kPage);
  }

 private:
  int fd_;
  bool zipped_;
};

// The entry of `folder` whose name is `name` in any letter case, or none.
std::optional<std::string> Find(const std::string& folder, const char* name) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = readdir(listing)) {
    if (strcasecmp(entry->d_name, name) == 0) found = entry->d_name;
  }
  closedir(listing);
  return found;
}

bool IsTextFileName(const std::string& name, bool& zipped, bool& other) {
  static const char* const kPlain[] = {"honmon", "honmon.", "honmon;1", "honmon.;1"};
  static const char* const kZipped[] = {"honmon.ebz", "honmon.ebz;1"};
  for (const char* plain : kPlain) {
    if (strcasecmp(name.c_str(), plain) == 0) return true;
  }
  for (const char* z : kZipped) {
    if (strcasecmp(name.c_str(), z) == 0) return zipped = true;
  }
  if (strncasecmp(name.c_str(), "honmon2", 7) == 0) return other = true;
  return false;
}

}  // namespace

std::vector<std::string> CheckSelectionPages(const std::string& book, const std::string& directory) {
  std::vector<std::string> faults;
  const std::optional<std::string> sub = Find(book, directory.c_str());
  if (!sub) return faults;  // libeb does not open the subbook, and says so
  const std::string sub_path = book + "/" + *sub;
  const std::optional<std::string> data = Find(sub_path, "data");
  if (!data) return faults;
  const std::string data_path = sub_path + "/" + *data;
  std::vector<std::string> candidates;
  bool zipped = false, other = false;
  DIR* listing = opendir(data_path.c_str());
  if (listing == nullptr) return faults;
  while (const dirent* entry = readdir(listing)) {
    bool z = false, o = false;
    if (IsTextFileName(entry->d_name, z, o)) {
      candidates.emplace_back(entry->d_name);
      zipped = z;
      other = o;
    }
  }
  closedir(listing);
  if (candidates.empty()) return faults;
  if (candidates.size() > 1) {
    faults.push_back(fmt::format("{}/{}: {} text files ({} and {}), so which one a reader reads is unsure",
                                 *sub, *data, candidates.size(), candidates[0], candidates[1]));
    return faults;
  }
  const std::string file = data_path + "/" + candidates[0];
  if (other) {
    faults.push_back(fmt::format("{}: compressed in a way this check cannot read before libeb does", file));
    return faults;
  }
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    faults.push_back(fmt::format("{}: does not open as a regular file", file));
    return faults;
  }
  TextFile text(fd, zipped);
  for (const BookRegion& region : ParseIndexPage(text.Page(1))) {
    if (region.id != 0xFF) continue;
    const std::string page = text.Page(region.start_page);
    if (page.size() < kPage) {
      faults.push_back(fmt::format("{}: the multi-search page {} does not read", file, region.start_page));
      continue;
    }
    const std::uint64_t entries = Big(page, 0, 2);
    std::uint64_t at = 16;
    bool fits = entries <= kMultiEntries;
    for (std::uint64_t e = 0; fits && e < entries; ++e) {
      fits = at + 32 <= kPage;
      if (fits) at += 32 + 16 * static_cast<unsigned char>(page[at]);
      fits = fits && at <= kPage;
    }
    if (!fits) {
      faults.push_back(
          fmt::format("{}: the multi-search page {} lists {} entries whose index lists run past "
                      "what libeb holds (room for {})",
                      file, region.start_page, entries, kMultiEntries));
    }
  }
  close(fd);
  return faults;
}

}  // namespace tavex::verify
