// Invented words for the sample disc: headwords with their entry ids and recording
// names, pronunciations in IPA, and the small vocabulary the definitions are made of.
// Nothing here is taken from a real dictionary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sample/sample_random.h"

namespace tavex::sample {

// One headword of the sample dictionary.
struct Headword {
  std::string text;    // as printed: "x-ray", "café", "3D printer", "o'clock"
  std::string id;      // entry id: spaces become "_", then "_" and the homograph number
  int homograph = 1;   // 1 for the first entry of this spelling, 2 for the next…
  int homographs = 1;  // how many entries share the spelling
};

// The headwords of entries 0 to count − 1. The first ones are fixed (they carry the
// awkward characters every disc must survive); the rest are invented from syllables.
// Ids are unique ignoring ASCII letter case, as the topic lookup compares them.
std::vector<Headword> MakeHeadwords(int count, std::uint64_t seed);

// The file name of the recording that belongs to a headword: its id and ".mp3".
std::string RecordingName(const Headword& headword);

// A plausible IPA transcription of an invented word, with a stress mark.
std::string IpaFor(std::string_view word, bool american);

// An invented part of speech for an entry.
enum class PartOfSpeech { kNoun, kVerb, kAdjective, kAdverb };
const char* PartOfSpeechName(PartOfSpeech pos);

// The inflected forms of a headword for its part of speech (none for adverbs).
std::vector<std::string> Inflections(std::string_view word, PartOfSpeech pos);

// The spelling in kana of a loanword among the fixed headwords (katakana カラオケ for
// "karaoke", hiragana つなみ for "tsunami"), written as a variant; empty for the others.
std::string_view KanaSpelling(std::string_view headword);

// One definition sentence in plain words (no markup), ending with a full stop.
std::string MakeDefinition(SampleRandom& random);
// One example sentence that uses `word`, split around it: prefix + word + suffix.
struct ExampleSentence {
  std::string prefix;
  std::string suffix;
};
ExampleSentence MakeExample(SampleRandom& random);
// A short phrase of two to four plain words, for idioms and phrasal verbs.
std::string MakePhrase(SampleRandom& random, std::string_view word);

}  // namespace tavex::sample
