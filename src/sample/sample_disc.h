// The sample disc: a deterministic stand-in for the TAVEX data disc, written in the
// disc's own bundle format, so that the whole conversion can be tried and tested
// without the real disc.
#pragma once

#include <cstdint>
#include <string>

#include "sample/sample_variant.h"

namespace tavex::sample {

// What the sample disc holds.
struct SampleDiscOptions {
  int entries = 60;        // records of the entry bundle fs.skn
  int recordings = 40;     // records of each pronunciation bundle (us_pron.skn, uk_pron.skn)
  std::uint64_t seed = 1;  // the same seed gives the same bytes
  SampleVariant variant = SampleVariant::kStandard;
};

// Writes DIR/tavex.data/{fs.skn,us_pron.skn,uk_pron.skn}/files.skn/ with config.cft,
// index, catalogue, content and data files. The disc is written whole beside DIR and
// then put in its place, which must be missing, an empty folder or a disc this program
// wrote; anything else stops it before it writes. Entry i refers to recording i of both
// pronunciation bundles (sound/<id>.mp3) when i < recordings and the variant has it
// (see HasRecording). Throws Error naming
// the file or folder that could not be written, or a negative count.
void WriteSampleDisc(const std::string& dir, const SampleDiscOptions& options);

// The bundle folder names.
inline constexpr const char* kEntryBundle = "fs.skn";
inline constexpr const char* kUsPronBundle = "us_pron.skn";
inline constexpr const char* kUkPronBundle = "uk_pron.skn";

}  // namespace tavex::sample
