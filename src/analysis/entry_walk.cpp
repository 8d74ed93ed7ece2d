// The element and text walks over one loaded entry, and the tallies they feed.
#include "analysis/entry_walk.h"

#include <fmt/format.h>

#include "text/text.h"

namespace tavex::analysis {

void TagTally::Add(const std::string& key, std::int32_t record_index) {
  auto [it, inserted] = position_.try_emplace(key, entries_.size());
  if (inserted) {
    entries_.push_back(TagCount{key, 1, record_index});
  } else {
    ++entries_[it->second].total_count;
  }
}

CharTally::CharTally() : position_(0x10000, -1) {}

void CharTally::Add(char16_t code, std::int32_t record_index) {
  std::int32_t& position = position_[code];
  if (position >= 0) {
    ++entries_[static_cast<std::size_t>(position)].total_count;
    return;
  }
  position = static_cast<std::int32_t>(entries_.size());
  entries_.push_back(CharCount{code, CodeHex(code), Utf8Hex(EncodeUnitUtf8(code)), 1, record_index});
}

bool LoadEntryDocument(std::string_view xml_text, xml::Document& doc) {
  // A document that parsed always has a root element and so serialises to something;
  // checking for the root spares serialising every entry just to see it is not empty.
  return doc.LoadXml(xml_text) && !doc.IsEmpty();
}

std::string TagKey(const xml::Node& element) {
  std::string name = element.TagName();
  if (name != "span") return name;
  return "span class=\"" + element.GetAttribute("class").value_or(std::string()) + "\"";
}

void TallyElement(const xml::Node& element, TagTally& tally, std::int32_t record_index) {
  tally.Add(TagKey(element), record_index);
}

void TallyCharacter(char16_t code, CharTally& tally, std::int32_t record_index) {
  tally.Add(code, record_index);
}

void ElementWalk(const xml::Node& node, TagTally& tally, std::int32_t record_index) {
  for (xml::Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.Kind() != xml::NodeKind::kElement) continue;
    TallyElement(child, tally, record_index);
    ElementWalk(child, tally, record_index);
  }
}

void TextWalk(const xml::Node& node, CharTally& tally, std::int32_t record_index) {
  for (xml::Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    switch (child.Kind()) {
      case xml::NodeKind::kText:
        ForEachUtf16Unit(child.Content(), [&](char16_t unit) { TallyCharacter(unit, tally, record_index); });
        break;
      case xml::NodeKind::kElement:
        TextWalk(child, tally, record_index);
        break;
      default:
        break;
    }
  }
}

std::string Utf8Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

std::string CodeHex(char16_t code) { return fmt::format("{:04X}", static_cast<unsigned>(code)); }

}  // namespace tavex::analysis
