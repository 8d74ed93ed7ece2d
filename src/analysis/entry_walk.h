// The walk over one dictionary entry: load its XML, then either count every element
// below the root under its tag key (the element walk) or count every UTF-16 code unit
// of the entry's text (the text walk). The tallies keep the order in which keys and
// characters were first met, with the record index of the entry where that happened;
// the statistics turn them into the rows of the tag and character tables.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/xml.h"

namespace tavex::analysis {

// One distinct tag key and how often it was met.
struct TagCount {
  std::string tag;          // the tag key (see TagKey)
  std::int32_t total_count;  // elements seen with this key; 1 when first met
  std::int32_t first_index;  // record index of the entry where it was first met
};

// Tag keys in order of first appearance; finding a key costs one hash lookup.
class TagTally {
 public:
  // Counts one more element with `key`, met in the entry with `record_index`.
  void Add(const std::string& key, std::int32_t record_index);
  // The entries in order of first appearance.
  const std::vector<TagCount>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<TagCount> entries_;
  std::unordered_map<std::string, std::size_t> position_;
};

// One distinct UTF-16 code unit and how often it was met.
struct CharCount {
  char16_t code;             // the code unit; the character is exactly this one unit
  std::string code_hex;      // four upper-case hexadecimal digits ("00E9")
  std::string utf8_hex;      // the unit's UTF-8 bytes as upper-case hex pairs ("C3A9")
  std::int32_t total_count;  // occurrences; 1 when first met
  std::int32_t first_index;  // record index of the entry where it was first met
};

// Code units in order of first appearance; finding a unit costs one array lookup.
class CharTally {
 public:
  CharTally();
  // Counts one more occurrence of `code`, met in the entry with `record_index`.
  void Add(char16_t code, std::int32_t record_index);
  // The entries in order of first appearance.
  const std::vector<CharCount>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<CharCount> entries_;
  std::vector<std::int32_t> position_;  // per code unit: its entry, or -1
};

// Loads an entry's XML into `doc`. False when it does not parse: such an entry is
// skipped by the passes (the loaded document would serialise to empty markup).
bool LoadEntryDocument(std::string_view xml_text, xml::Document& doc);

// The key under which an element's rule is kept: `span class="<class>"` for an
// element named exactly "span" (an absent class counts as empty), else the qualified
// tag name as it stands.
std::string TagKey(const xml::Node& element);

// Counts `element` under its tag key.
void TallyElement(const xml::Node& element, TagTally& tally, std::int32_t record_index);

// Counts one code unit.
void TallyCharacter(char16_t code, CharTally& tally, std::int32_t record_index);

// Counts every element below `node` in document order, parents before children.
// `node` itself is not counted; attributes and non-element children are passed over.
void ElementWalk(const xml::Node& node, TagTally& tally, std::int32_t record_index);

// Counts every code unit of the text nodes below `node`, in document order. CDATA
// sections, comments and processing instructions are passed over with their content;
// attribute values are never read. A character beyond the BMP counts as its two
// surrogate units.
void TextWalk(const xml::Node& node, CharTally& tally, std::int32_t record_index);

// Each byte as two upper-case hexadecimal digits, concatenated ("\xC3\xA9" -> "C3A9").
std::string Utf8Hex(std::string_view bytes);

// A code unit as four upper-case hexadecimal digits (233 -> "00E9").
std::string CodeHex(char16_t code);

}  // namespace tavex::analysis
