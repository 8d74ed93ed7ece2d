// The entries of the sample dictionary: one XML document per record with the root
// element entry, made from invented words. Every element and character kind the
// conversion handles appears somewhere in the first few dozen entries, and a few
// records are deliberately broken, as on a real disc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sample/sample_variant.h"
#include "sample/sample_words.h"

namespace tavex::sample {

// What a record of the entry bundle holds.
enum class EntryKind {
  kEntry,        // a well-formed entry document
  kMalformed,    // starts with "<" but does not parse
  kForeignRoot,  // well-formed, but its root element is not entry
  kNotMarkup,    // plain text that does not start with "<"
};

// The kind of the record at `index`: every 500 records hold one of each broken kind
// (at 21, 33 and 47 of each block); all others are entries.
EntryKind SampleEntryKind(int index);

// One record of the entry bundle.
struct SampleEntry {
  std::string title;    // the headword, stored uncompressed in the title data file
  std::string content;  // the record's text before compression
  std::uint16_t flags;  // bit 0: has recordings, bit 1: has a side panel, bit 2: long entry
};

// Makes the entries of one disc. Entry i depends only on the seed, its headword, the
// headwords it refers to and whether recording i exists.
class SampleEntryMaker {
 public:
  // `headwords` must hold one headword per entry and outlive the maker.
  SampleEntryMaker(const std::vector<Headword>& headwords, int recordings, std::uint64_t seed,
                   SampleVariant variant = SampleVariant::kStandard);

  // The record at `index` (0 ≤ index < number of headwords).
  SampleEntry Make(int index) const;

 private:
  std::string MakeEntryXml(int index, std::uint16_t& flags) const;
  // The id a cross reference from entry `from` points at: another entry, or now and
  // then an id no entry has.
  std::string RefTarget(int from, SampleRandom& random, std::string& label) const;
  // The pronunciations: a label, the IPA and the recording of each accent.
  void AppendPronunciations(std::string& xml, int index) const;

  const std::vector<Headword>& headwords_;
  int recordings_;
  std::uint64_t seed_;
  SampleVariant variant_;
};

// Escapes "&", "<", ">" and the double quote for element text and attribute values.
std::string XmlEscape(std::string_view text);

}  // namespace tavex::sample
