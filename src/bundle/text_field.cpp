// Reading one data field of every record of a bundle.
#include "bundle/text_field.h"

#include <fmt/format.h>

#include "bundle/extract.h"
#include "bundle/record_file.h"
#include "text/error.h"

namespace tavex::bundle {
namespace {

// A name field is small; a data file beyond this is no list of names.
constexpr std::uint64_t kMaxFieldFileSize = 256u << 20;

}  // namespace

std::vector<std::string> ReadTextField(const BundleLocation& where, std::string_view bundle_name,
                                       std::string_view field) {
  const BundleConfig config = ParseBundleConfig(where, bundle_name);
  NullProgress quiet;  // the extraction reports the index's faults when it reads it
  const IndexColumns index = ReadIndex(config, quiet);
  for (const IndexColumn& column : index.columns) {
    if (column.name != field || !column.reference) continue;
    if (column.data_path.empty()) {
      throw Error(fmt::format("bundle {}: {} has no [${}] section naming the data file of field ${}",
                              config.bundle_name, config.config_path, field, field));
    }
    const RecordFile file(BundleFilePath(config, column.data_path, fmt::format("PATH of [${}]", field)));
    if (file.size() > kMaxFieldFileSize) {
      throw Error(fmt::format("bundle {}: data file {} has {} bytes, more than a field of names may have",
                              config.bundle_name, file.path(), file.size()));
    }
    std::vector<std::string> texts;
    const auto count = static_cast<std::size_t>(index.record_count);
    texts.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t start = column.values[i];
      const std::uint64_t end = i + 1 < count ? column.values[i + 1] : file.size();
      if (end < start || end > file.size()) {
        throw Error(
            fmt::format("bundle {}: record {} points outside {} (offsets {} to {}, the file has {} bytes)",
                        config.bundle_name, i, file.path(), start, end, file.size()));
      }
      texts.push_back(file.ReadAt(start, static_cast<std::size_t>(end - start)));
    }
    return texts;
  }
  throw Error(
      fmt::format("bundle {}: {} declares no data field ${}", config.bundle_name, config.config_path, field));
}

}  // namespace tavex::bundle
