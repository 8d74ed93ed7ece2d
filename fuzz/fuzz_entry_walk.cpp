// Fuzzes the loading of entry XML and the element and text walks over it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "analysis/entry_walk.h"
#include "text/error.h"
#include "xml/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static tavex::xml::Document doc;  // reused, as the statistics pass reuses one document
  try {
    if (!tavex::analysis::LoadEntryDocument(text, doc)) return 0;
    const tavex::xml::Node root = doc.DocumentElement();
    tavex::analysis::TagTally tags;
    tavex::analysis::CharTally chars;
    tavex::analysis::TallyElement(root, tags, 0);
    tavex::analysis::ElementWalk(root, tags, 1);
    tavex::analysis::TextWalk(root, chars, 1);
    for (const auto& entry : tags.entries()) {
      if (entry.total_count < 1 || entry.tag.empty()) __builtin_trap();
    }
    for (const auto& entry : chars.entries()) {
      if (entry.code_hex.size() != 4 || entry.utf8_hex.empty()) __builtin_trap();
    }
  } catch (const tavex::Error&) {
  }
  return 0;
}
