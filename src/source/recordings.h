// The recordings of the book source: WAV files in us_pron/ and uk_pron/ that the entries'
// sound links name. They are read as untrusted input like every file of base_folder.
#pragma once

#include <cstdint>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "source/warning_tally.h"

namespace tavex {
class FolderInside;
}  // namespace tavex

namespace tavex::source {

// The warning counted for each link to a recording that base_folder lacks.
inline constexpr char kMissingRecordingWarning[] = "sound link to a missing recording kept as plain text";

// The recording a sound link names ("us_pron/x.wav", percent-decoded), or none when it
// leads outside the two recording folders.
std::optional<std::string> RecordingName(std::string_view href);

// The "fmt " chunk's offset in a RIFF WAVE file, or none when `wav` is not one.
std::optional<std::size_t> FindFormatChunk(std::string_view wav);

// The MPEG audio frames a WAVE file wraps (format 0x0055, MPEG Layer-3, or 0x0050, MPEG),
// as they stood in the disc's MP3 recording; none for any other WAVE data.
std::optional<std::string_view> MpegFrames(std::string_view wav);

// RecordingName, counting a warning in `warnings` when the link leads elsewhere.
std::optional<std::string> LinkedRecordingName(std::string_view href, WarningTally& warnings);

// Reads the recordings of base_folder that links name. us_pron/ and uk_pron/ are opened
// once and held: neither may be a symbolic link, and every file is then opened relative
// to its held folder. Read may be called from several threads at once.
class RecordingReader {
 public:
  explicit RecordingReader(const std::string& base_folder);
  ~RecordingReader();
  RecordingReader(const RecordingReader&) = delete;
  RecordingReader& operator=(const RecordingReader&) = delete;

  // Reads the recording `name` (from RecordingName) into `bytes`: the file may not be a
  // symbolic link, a folder, a device or a FIFO, and its size is checked before anything
  // is read. False, with a warning counted in `warnings`, when it is missing, refused or
  // not WAVE data. Throws Error naming the file on a read fault.
  bool Read(const std::string& name, std::string& bytes, WarningTally& warnings) const;

 private:
  std::unique_ptr<FolderInside> folders_[2];  // us_pron/, uk_pron/
};

// The file name in the books of the recording `stem` ("us_pron/Zürich_1", without its
// ".wav"): the folder and the name joined by "_", and every byte but a lower-case ASCII
// letter, a digit, "-", "." and "_" written "_xHH" ("us_pron__x5a_xc3_xbcrich_1.mp3").
// Readers take what follows "sound://" for a host name, which they lower-case and turn
// into punycode; a name that has neither to fear is found as it was written.
std::string BookFileName(std::string_view stem, std::string_view extension);

// Each linked recording once, in the form the disc held it: the MPEG frames as
// "us_pron_x.mp3" where the WAV file "us_pron/x.wav" wraps them, else the WAV file as
// it is ("us_pron_x.wav"), named by BookFileName.
class RecordingFiles {
 public:
  // Told of each recording the first time a link names it: its file name in the book
  // ("us_pron_x.mp3") and its bytes. Calls never overlap, whatever thread makes them.
  using NewFn = std::function<void(const std::string& name, std::string_view bytes)>;

  RecordingFiles(const std::string& base_folder, NewFn on_new) : reader_(base_folder), on_new_(std::move(on_new)) {}

  // The book's file name of the recording `href` names, or none (warned in `warnings`)
  // for a name outside us_pron/ and uk_pron/, a missing file or one that is not WAVE
  // data. Several threads may resolve at once: each recording is read once, and a
  // thread that names one being read waits for it.
  std::optional<std::string> Resolve(std::string_view href, WarningTally& warnings);

 private:
  struct Known {
    bool done = false;
    std::optional<std::string> name;  // the book's file name, none when it could not be stored
  };
  RecordingReader reader_;
  NewFn on_new_;
  std::mutex mutex_;
  std::condition_variable resolved_;
  std::unordered_map<std::string, Known> by_name_;  // its values stay in place as it grows
  std::mutex new_mutex_;                            // one call of on_new_ at a time
};

}  // namespace tavex::source
