// Fuzzes the extraction of a bundle from damaged files. The configuration is the
// sample disc's entry bundle; each input is split into its index, catalogue, content
// and title data files, which are extracted into a new working database.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bundle/bundle_config.h"
#include "bundle/extract.h"
#include "fuzz_support.h"
#include "text/error.h"
#include "fs/files.h"
#include "platform/progress.h"
#include "sample/sample_disc.h"
#include "store/database.h"

namespace {

// The bundle's files as the configuration names them, found once.
struct Bundle {
  tavex::bundle::ExtractOptions options;
  std::string index, catalogue, content, titles, unpacked;
};

const Bundle& SampleBundle() {
  static const Bundle bundle = [] {
    const std::string& scratch = tavex::fuzz::ScratchFolder();
    tavex::sample::WriteSampleDisc(scratch + "/disc", {.entries = 1, .recordings = 0, .seed = 1});
    Bundle b;
    b.options = {scratch + "/disc/tavex.data", scratch + "/unzip", scratch + "/TAVEX_data"};
    const tavex::bundle::BundleConfig config = tavex::bundle::ParseBundleConfig(
        {b.options.source_data_folder, b.options.unzip_folder}, tavex::sample::kEntryBundle);
    b.index = tavex::bundle::BundleFilePath(config, config.index_path);
    b.unpacked = config.unpacked_path;
    for (const auto& field : config.fields) {
      if (field.name == "$CONTENT") {
        b.content = tavex::bundle::BundleFilePath(config, field.data_path);
        for (const auto& setting : field.settings) {
          if (setting.name == "CATALOG") b.catalogue = tavex::bundle::BundleFilePath(config, setting.value);
        }
      } else if (field.value == "DATA") {
        b.titles = tavex::bundle::BundleFilePath(config, field.data_path);
      }
    }
    if (b.catalogue.empty() || b.titles.empty()) __builtin_trap();
    return b;
  }();
  return bundle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bundle& bundle = SampleBundle();
  const auto parts = tavex::fuzz::SplitInput(std::string_view(reinterpret_cast<const char*>(data), size), 4);
  tavex::fuzz::WriteBytes(bundle.index, parts[0]);
  tavex::fuzz::WriteBytes(bundle.catalogue, parts[1]);
  tavex::fuzz::WriteBytes(bundle.content, parts[2]);
  tavex::fuzz::WriteBytes(bundle.titles, parts[3]);
  std::remove(bundle.unpacked.c_str());
  std::remove(bundle.options.database_file.c_str());
  tavex::store::CreateDatabase(bundle.options.database_file);

  tavex::NullProgress progress;
  try {
    const std::int64_t rows = tavex::bundle::ExtractBundle(bundle.options, tavex::sample::kEntryBundle, progress);
    // A whole index record per row, never more.
    if (rows < 0 || static_cast<std::size_t>(rows) > parts[0].size()) __builtin_trap();
  } catch (const tavex::Error&) {
    // A failed extraction leaves no unpacked file half written.
    if (tavex::FileExists(bundle.unpacked + ".tmp")) __builtin_trap();
  }
  return 0;
}
