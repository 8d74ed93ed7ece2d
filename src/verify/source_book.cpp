// The book source read the way the writer reads it, keeping only what the check
// compares.
#include "verify/source_book.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unordered_set>
#include <utility>

#include "epwing/body_markup.h"
#include "epwing/search_index.h"
#include "epwing/sound_store.h"
#include "source/recordings.h"
#include "epwing/text_encoder.h"
#include "fs/files.h"
#include "source/book_source.h"
#include "source/gaiji_map.h"
#include "source/warning_tally.h"

namespace tavex::verify {
namespace {

// A recording larger than this is no pronunciation, and the writer does not store it.
constexpr off_t kMaxRecordingBytes = 64 << 20;

// Notes the recordings a body links to inside the recording folders (whether the
// writer stored each depends on its file, which the comparison reads); links to
// entries resolve to any entry, as only the sounds matter here.
class SoundCollector : public epwing::LinkResolver {
 public:
  std::optional<std::uint32_t> Entry(std::string_view) override { return 0; }
  std::optional<epwing::SoundLink> Sound(std::string_view href) override {
    std::optional<std::string> name = source::RecordingName(href);
    if (!name) return std::nullopt;
    names_.push_back(std::move(*name));
    return epwing::SoundLink{0, 0};
  }
  std::vector<std::string> Take() { return std::exchange(names_, {}); }

 private:
  std::vector<std::string> names_;
};

bool MentionsWav(const std::string& body) {
  for (std::size_t at = body.find('.'); at != std::string::npos; at = body.find('.', at + 1)) {
    if (body.size() - at >= 4 && (body[at + 1] | 0x20) == 'w' && (body[at + 2] | 0x20) == 'a' &&
        (body[at + 3] | 0x20) == 'v') {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<SourceEntryKeys> ReadSourceEntries(const std::string& base_folder) {
  const source::GaijiSet gaiji = source::GaijiSet::Load(base_folder);
  source::WarningTally warnings;
  SoundCollector sounds;
  epwing::BodyMarkup markup(gaiji, sounds, warnings);
  epwing::TextEncoder encoder;
  std::string text;
  std::vector<epwing::PositionPatch> patches;
  std::vector<SourceEntryKeys> entries;
  std::unordered_set<std::string> seen;
  source::ReadBookSource(JoinPath(base_folder, "html_EPW"), [&](const source::SourceEntry& entry) {
    SourceEntryKeys keys;
    // An entry may have many thousands of keys: repeats are found through a set.
    seen.clear();
    auto add = [&](std::string key) {
      if (!key.empty() && seen.insert(key).second) {
        keys.keys += key;
        keys.keys += '\0';
      }
    };
    add(epwing::NormalizedKey(entry.title, warnings));
    for (const std::string& source : entry.keys) add(epwing::NormalizedKey(source, warnings));
    if (MentionsWav(entry.body)) {
      text.clear();
      patches.clear();
      encoder.Begin(&text, &patches);
      markup.Write(entry.body, encoder);
      markup.Finish(encoder);
      keys.sounds = sounds.Take();
    }
    keys.keys.shrink_to_fit();
    entries.push_back(std::move(keys));
  });
  return entries;
}

std::string StoredSoundBytes(const std::string& base_folder, const std::string& name) {
  const std::string path = JoinPath(base_folder, name);
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  std::string bytes;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxRecordingBytes) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
  }
  close(fd);
  const std::optional<std::size_t> format = source::FindFormatChunk(bytes);
  return format ? bytes.substr(*format) : std::string();
}

}  // namespace tavex::verify
