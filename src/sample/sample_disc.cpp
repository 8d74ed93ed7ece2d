// Writes the three bundles of the sample disc.
#include "sample/sample_disc.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "text/error.h"
#include "fs/folder_swap.h"
#include "fs/write_layer.h"
#include "sample/bundle_writer.h"
#include "sample/sample_audio.h"
#include "sample/sample_entries.h"
#include "sample/sample_words.h"

namespace tavex::sample {
namespace {

// The recordings of the UK bundle are drawn from another stream than the US ones.
constexpr std::uint64_t kUkSeedOffset = 0x5A5A5A5AULL;

std::string MakeFilesFolder(const std::string& dir, const char* bundle) {
  std::string folder = dir + "/tavex.data/" + bundle + "/files.skn";
  CreateFolders(folder);
  return folder;
}

// The configuration names some files in another letter case than the stored files.
BundleLayout EntryLayout() {
  BundleLayout layout;
  layout.text_field = "TEXTTITLE";
  layout.flags_field = true;
  layout.index = {"FS.IDX", "fs.idx"};
  layout.content = {"FS.DAT", "fs.dat"};
  layout.catalogue = {"fs.cat", "FS.CAT"};
  layout.text_data = {"fs.ttl", "fs.ttl"};
  return layout;
}

BundleLayout PronLayout(const std::string& stem) {
  std::string upper = stem;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  BundleLayout layout;
  layout.text_field = "NAME";
  layout.index = {stem + ".idx", upper + ".IDX"};
  layout.content = {upper + ".DAT", stem + ".dat"};
  layout.catalogue = {stem + ".cat", stem + ".cat"};
  layout.text_data = {stem + ".NAM", stem + ".nam"};
  return layout;
}

void WritePronBundle(const std::string& dir, const char* bundle, const std::string& stem,
                     const std::vector<Headword>& names, std::uint64_t seed, SampleVariant variant) {
  BundleWriter writer(MakeFilesFolder(dir, bundle), PronLayout(stem));
  const int count = static_cast<int>(names.size());
  for (int i = 0; i < count; ++i) {
    if (!HasRecording(variant, i, count, stem == "uk_pron")) continue;
    std::string name = RecordingName(names[i]);
    writer.Add(name, MakeMp3(SampleMp3Format(i, seed), names[i].text));
  }
  writer.Finish();
}

void WriteDisc(const std::string& dir, const SampleDiscOptions& options);

}  // namespace

void WriteSampleDisc(const std::string& target, const SampleDiscOptions& options) {
  if (options.entries < 0 || options.recordings < 0) {
    throw Error(fmt::format("sample disc sizes must not be negative: {} entries, {} recordings",
                            options.entries, options.recordings));
  }
  // The disc is written beside its folder and put in place whole, so it replaces only an
  // empty folder or a disc this program wrote: a user's own copy of a disc stops the
  // command before anything is written.
  std::string normal = std::filesystem::absolute(target).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  const WriteAnchor anchor(std::filesystem::path(normal).parent_path().string());
  RecoverFolderSwap(normal);
  const std::string dir = CreateStagingFolder(normal);
  try {
    WriteDisc(dir, options);
    SwapInFolder(dir, normal);
  } catch (...) {
    RemoveStagingFolder(dir);
    throw;
  }
}

namespace {

void WriteDisc(const std::string& dir, const SampleDiscOptions& options) {
  {
    std::vector<Headword> headwords = MakeHeadwords(options.entries, options.seed);
    SampleEntryMaker maker(headwords, options.recordings, options.seed, options.variant);
    BundleWriter writer(MakeFilesFolder(dir, kEntryBundle), EntryLayout());
    for (int i = 0; i < options.entries; ++i) {
      SampleEntry entry = maker.Make(i);
      writer.Add(entry.title, entry.content, entry.flags);
    }
    writer.Finish();
  }

  // Recording i is named after headword i: the ids of the first headwords do not
  // depend on how many follow, so the names match the entries' references.
  std::vector<Headword> headwords = MakeHeadwords(options.recordings, options.seed);
  WritePronBundle(dir, kUsPronBundle, "us_pron", headwords, options.seed, options.variant);
  WritePronBundle(dir, kUkPronBundle, "uk_pron", headwords, options.seed + kUkSeedOffset, options.variant);
}

}  // namespace

}  // namespace tavex::sample
