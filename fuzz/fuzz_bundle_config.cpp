// Fuzzes the reading of a bundle's configuration text: sections, declarations,
// OFFSET lines, type names and the data sections that fields refer to.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bundle/bundle_config.h"
#include "bundle/extract.h"
#include "text/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    tavex::bundle::BundleConfig config = tavex::bundle::ParseBundleConfigText(text, "fs.skn");
    int widths = 0;
    for (const auto& field : config.fields) widths += field.width;
    // The record size is what the fields add up to (an unknown type counts -1).
    if (widths != config.record_size) __builtin_trap();
    (void)tavex::bundle::BundleColumnList(config);
  } catch (const tavex::Error&) {
  }
  try {
    (void)tavex::bundle::ParseDeclarations(text);
  } catch (const tavex::Error&) {
  }
  return 0;
}
