// Conversion of the pronunciation tables to WAV files, and saving one recording as MP3.

#include "audio/pron_convert.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include "audio/mp3_profile.h"
#include "text/error.h"
#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/write_layer.h"
#include "store/database.h"

namespace tavex::audio {
namespace {

// How many names a warning lists before it says "…".
constexpr std::size_t kWarnNames = 5;

// Only the two known tables are accepted, so no caller's text ever reaches SQL.
std::string_view CheckedTable(std::string_view table) {
  if (table == kUsPronTable) return kUsPronTable;
  if (table == kUkPronTable) return kUkPronTable;
  throw Error(fmt::format("not a pronunciation table: {}", table));
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// The name with its control characters written as \xNN, so a warning stays one line.
std::string Printable(std::string_view name) {
  std::string text;
  for (char c : name) {
    if (IsControl(c)) {
      text += fmt::format("\\x{:02X}", static_cast<unsigned char>(c));
    } else {
      text += c;
    }
  }
  return text;
}

// Recordings that got no file, gathered for one warning at the end of a table.
class Skipped {
 public:
  void Add(const std::string& name) {
    if (names_.size() < kWarnNames) names_.push_back(Printable(name));
    ++count_;
  }
  // "TABLE: N recordings got no WAV file (REASON): a.mp3, b.mp3, …", or nothing when
  // none was skipped.
  void Report(Progress& progress, std::string_view table, std::string_view reason) const {
    if (count_ == 0) return;
    std::string list = fmt::format("{}", fmt::join(names_, ", "));
    if (count_ > names_.size()) list += ", …";
    progress.Warn(fmt::format("{}: {} recording{} got no WAV file ({}): {}", table, count_,
                              count_ == 1 ? "" : "s", reason, list));
  }

 private:
  std::vector<std::string> names_;
  std::size_t count_ = 0;
};

// How ConvertRows writes each file.
enum class WavWrite {
  kAtomic,   // under a temporary name, renamed over any file of that name
  kInPlace,  // straight to its name, inside a folder that is itself still temporary
};

// Writes every recording of the table into `folder`, which exists; `how` says whether
// each file must replace an existing one atomically.
void ConvertRows(store::Connection& db, std::string_view table, const std::string& folder, WavWrite how,
                 Progress& progress) {
  std::int64_t rows = 0;
  {
    store::Statement count = db.Prepare(fmt::format("select count(*) from {}", table));
    if (count.Step()) rows = count.Int(0);
  }
  store::Statement select = db.Prepare(fmt::format("select CONTENT,NAME from {}", table));
  ProgressLoop loop(progress, static_cast<int>(rows), fmt::format("{} mp3→wav変換中", table));
  Skipped no_frame;
  Skipped no_name;
  // One buffer serves every row, so that only one recording is held at a time.
  std::string recording;
  // A folder still under its temporary name is opened once for all its files.
  std::optional<FolderFiles> in_place;
  if (how == WavWrite::kInPlace) in_place.emplace(folder);
  while (select.Step()) {
    if (select.IsNull(1)) continue;
    const std::string name = select.Text(1);
    const std::string file_name = WavFileName(name);
    if (file_name.empty()) {
      no_name.Add(name);
    } else {
      recording = select.Blob(0);
      const auto write = [&](const std::string& wav) {
        if (in_place) {
          in_place->WriteInPlace(file_name, wav);
        } else {
          WriteFileAtomic(JoinPath(folder, file_name), wav);
        }
      };
      if (ConvertMp3ToWav(recording, write) != WavOutcome::kWritten) {
        no_frame.Add(name);
      }
      recording.clear();
    }
    loop.Step();
  }
  no_frame.Report(progress, table, "no valid MPEG frame header at the audio start");
  no_name.Report(progress, table, "the name gives no file name");
}

}  // namespace

std::string RecordingFileName(std::string_view name) {
  const std::size_t slash = name.find_last_of("/\\");
  std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  // A control character (a line feed, a NUL) makes a name no file should have.
  if (base.empty() || base == "." || base == ".." || std::any_of(base.begin(), base.end(), IsControl)) {
    return {};
  }
  return std::string(base);
}

std::string WavFileName(std::string_view name) {
  std::string base = RecordingFileName(name);
  if (base.empty()) return base;
  const std::size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.erase(dot);
  return base + ".wav";
}

void ConvertPronToWav(const std::string& db_path, std::string_view table,
                      const std::string& folder, Progress& progress) {
  table = CheckedTable(table);
  store::Connection db(db_path);
  const std::string target = WithoutTrailingSlashes(folder);
  if (FolderExists(target)) {
    ConvertRows(db, table, target, WavWrite::kAtomic, progress);
    return;
  }
  // A folder that exists is taken as done by a resumed run, so it appears only whole.
  const std::string temp = CreateStagingFolder(target);
  try {
    // The folder only gets its name when whole, so its files need no names of their own.
    ConvertRows(db, table, temp, WavWrite::kInPlace, progress);
    SwapInFolder(temp, target);  // flushed whole before its name says it is done
  } catch (...) {
    RemoveStagingFolder(temp);  // the first error is the one to report
    throw;
  }
}

bool SaveOriginalMp3(const std::string& db_path, std::string_view name, std::string_view table,
                     const std::string& folder) {
  table = CheckedTable(table);
  const std::string file_name = RecordingFileName(name);
  if (file_name.empty()) return false;
  store::Connection db(db_path);
  store::Statement select = db.Prepare(
      fmt::format("select CONTENT,NAME from {} where NAME = ?1 COLLATE NOCASE", table));
  select.BindText(1, name);
  if (!select.Step()) return false;
  const std::string target = WithoutTrailingSlashes(folder);
  if (!FolderExists(target)) CreateFolder(target);
  WriteFileAtomic(JoinPath(target, file_name), select.Blob(0));
  return true;
}

bool SaveOriginalMp3Both(const std::string& db_path, std::string_view name,
                         const std::string& folder) {
  const bool uk = SaveOriginalMp3(db_path, name, kUkPronTable, folder);
  const bool us = SaveOriginalMp3(db_path, name, kUsPronTable, folder);
  return uk || us;
}

}  // namespace tavex::audio
