// Checks the pronunciation folders us_pron/ and uk_pron/ of the book: each WAV file must
// begin with a RIFF header of form WAVE whose size covers the whole file, or the book's
// sound links play nothing (a file cut short by an interrupted run shows up here too).
#pragma once

#include <cstdint>
#include <string>

#include "check/finding_sink.h"

namespace tavex::check {

// Checks the *.wav files (any letter case) of the two folders in `base_folder`, when
// present. Returns how many there are.
std::int64_t CheckWavFolders(const std::string& base_folder, FindingSink& sink);

}  // namespace tavex::check
