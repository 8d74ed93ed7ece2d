// Turns the rows of the pronunciation tables (one MP3 recording per row: its bytes in
// CONTENT, its file name in NAME) into files: every recording of a table as a WAV file
// in a folder (the book's audio), or one recording as the MP3 file it was on the disc.
#pragma once

#include <string>
#include <string_view>

#include "platform/progress.h"

namespace tavex::audio {

// The two tables whose rows are recordings.
inline constexpr std::string_view kUsPronTable = "us_pron_skn";
inline constexpr std::string_view kUkPronTable = "uk_pron_skn";

// The last part of a recording's name after any "/" or "\", so that a name never
// reaches outside the folder it is written to. Empty when nothing usable remains
// (an empty last part, ".", "..", or a name holding a control character such as NUL or
// a line feed).
std::string RecordingFileName(std::string_view name);

// The WAV file name for a recording's name: RecordingFileName with its extension
// replaced by ".wav" ("a_b_c.mp3" gives "a_b_c.wav", "word" gives "word.wav").
// Empty when the name gives no file name.
std::string WavFileName(std::string_view name);

// Writes one WAV file per recording of `table` (kUsPronTable or kUkPronTable; any other
// name is an error) of the database at `db_path` into `folder`. Rows without a NAME are
// skipped without a progress step; the bar's maximum counts every row, and each other row
// advances it with the status "[<table> mp3→wav変換中] n/N".
//
// A folder that does not exist is filled under "<folder>.tmp" (a stale one is deleted
// first) and renamed into place when complete, so an existing folder is always whole; on
// an error the temporary folder is removed again. In a folder that exists, each file is
// replaced atomically. Recordings without a usable frame header get no file and are
// reported in one warning naming the table, their count and the first few names; names
// that give no file name are reported the same way. Database and file errors throw Error.
void ConvertPronToWav(const std::string& db_path, std::string_view table,
                      const std::string& folder, Progress& progress);

// Writes the recording of `table` whose NAME equals `name` (ignoring ASCII letter case;
// the first such row only) unchanged into `folder` under RecordingFileName(name),
// replacing a file of that name; creates the folder (one level) when missing. Returns
// whether a file was written: false when no row matches or the name gives no file name.
bool SaveOriginalMp3(const std::string& db_path, std::string_view name, std::string_view table,
                     const std::string& folder);

// The menu's "save one original recording": the UK recording, then the US recording, to
// the same path, so that the US one remains when both tables hold the name. Returns
// whether anything was written.
bool SaveOriginalMp3Both(const std::string& db_path, std::string_view name,
                         const std::string& folder);

}  // namespace tavex::audio
