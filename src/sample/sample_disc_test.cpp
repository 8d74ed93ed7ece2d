#include "sample/sample_disc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "text/error.h"
#include "sample/sample_entries.h"
#include "sample/sample_test_tools.h"
#include "sample/sample_words.h"
#include "testing/test_util.h"

namespace tavex::sample {
namespace {

using testing::Quote;
using testing::ReadBytes;
using testing::RunCommand;
using testing::WriteBytes;

// A reader written for the test from the format's description, independent of the
// generator: sections, "$" fields with their widths, files found ignoring case.
struct Field {
  std::string name;
  int width = 0;
  bool data = false;
};

struct Bundle {
  std::map<std::string, std::map<std::string, std::string>> sections;  // name → key → value
  std::vector<Field> fields;
  int record_size = 0;
  std::vector<std::map<std::string, std::string>> records;  // column → value (text or number)
};

std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    if (lower(item.path().filename().string()) == lower(name)) return item.path().string();
  }
  ADD_FAILURE() << "no file like " << name << " in " << folder;
  return folder + "/" + name;
}

std::uint64_t ReadLe(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

Bundle ReadBundle(const std::string& disc, const std::string& name) {
  Bundle bundle;
  std::string folder = disc + "/tavex.data/" + name + "/files.skn";
  std::string config = ReadBytes(folder + "/config.cft");
  EXPECT_EQ(config.find('\r'), std::string::npos) << "config lines end with LF alone";
  EXPECT_TRUE(config.ends_with("\n\n")) << "the last section needs its empty line";

  std::vector<std::pair<std::string, std::string>> dat;  // declarations in order
  std::istringstream lines(config);
  std::string line;
  std::string section;
  while (std::getline(lines, line)) {
    if (line.empty()) {
      section.clear();
      continue;
    }
    if (line.front() == '[') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    std::size_t eq = line.find(" = ");
    if (eq == std::string::npos) {
      ADD_FAILURE() << "not a declaration: " << line;
      continue;
    }
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 3);
    bundle.sections[section][key] = value;
    if (section == "DAT" && key != "PATH") dat.emplace_back(key, value);
  }
  static const std::map<std::string, int> kWidths = {{"UBYTE", 1}, {"USHORT", 2}, {"U24", 3}, {"ULONG", 4}};
  dat.pop_back();  // the last declaration of the record section takes no part
  for (std::size_t i = 0; i < dat.size(); ++i) {
    const auto& [key, value] = dat[i];
    if (key.find(',') != std::string::npos) continue;
    Field field{key, 0, value == "DATA"};
    if (field.data) {
      EXPECT_EQ(dat.at(i + 1).first, key + ",OFFSET");
      field.width = kWidths.at(dat.at(i + 1).second);
    } else if (key.starts_with("$")) {
      field.width = kWidths.at(value);
    }
    bundle.record_size += field.width;
    if (key.starts_with("$")) bundle.fields.push_back(field);
  }

  std::string index = ReadBytes(FindIgnoringCase(folder, bundle.sections["DAT"]["PATH"]));
  EXPECT_EQ(index.size() % bundle.record_size, 0u);
  std::size_t count = index.size() / bundle.record_size;

  // Unpack every stream as the catalogue lists it, back to back.
  std::string catalogue = ReadBytes(FindIgnoringCase(folder, bundle.sections["$CONTENT"]["CATALOG"]));
  std::string packed = ReadBytes(FindIgnoringCase(folder, bundle.sections["$CONTENT"]["PATH"]));
  EXPECT_EQ(catalogue.size() % 8, 0u);
  std::string unpacked;
  std::size_t at = 0;
  for (std::size_t k = 0; k + 8 <= catalogue.size(); k += 8) {
    auto size = ReadLe(catalogue, k, 4);
    auto packed_size = ReadLe(catalogue, k + 4, 4);
    std::string out(size, '\0');
    uLongf out_size = size;
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &out_size,
                         reinterpret_cast<const Bytef*>(packed.data() + at), packed_size),
              Z_OK);
    EXPECT_EQ(out_size, size);
    unpacked += out;
    at += packed_size;
  }
  EXPECT_EQ(at, packed.size());

  std::map<std::string, std::string> data_files;
  for (const Field& field : bundle.fields) {
    if (field.data && field.name != "$CONTENT") {
      data_files[field.name] = ReadBytes(FindIgnoringCase(folder, bundle.sections[field.name]["PATH"]));
    }
  }
  std::map<std::string, std::vector<std::uint64_t>> values;
  for (std::size_t r = 0; r < count; ++r) {
    std::size_t pos = r * bundle.record_size;
    for (const Field& field : bundle.fields) {
      values[field.name].push_back(ReadLe(index, pos, field.width));
      pos += field.width;
    }
  }
  for (std::size_t r = 0; r < count; ++r) {
    std::map<std::string, std::string> record;
    for (const Field& field : bundle.fields) {
      const auto& v = values[field.name];
      if (!field.data) {
        record[field.name] = std::to_string(v[r]);
        continue;
      }
      const std::string& file = field.name == "$CONTENT" ? unpacked : data_files[field.name];
      std::uint64_t end = r + 1 < count ? v[r + 1] : file.size();
      EXPECT_LE(v[r], end) << field.name << " offsets ascend";
      record[field.name] = file.substr(v[r], end - v[r]);
    }
    bundle.records.push_back(std::move(record));
  }
  return bundle;
}

TEST(SampleDisc, BundlesFollowTheDiscLayout) {
  tavex::testing::TempDir dir;
  WriteSampleDisc(dir.path(), {});
  Bundle fs = ReadBundle(dir.path(), "fs.skn");
  ASSERT_EQ(fs.fields.size(), 3u);
  EXPECT_EQ(fs.fields[0].name, "$TEXTTITLE");
  EXPECT_EQ(fs.fields[1].name, "$CONTENT");
  EXPECT_EQ(fs.fields[2].name, "$FLAGS");
  EXPECT_EQ(fs.record_size, 10);
  ASSERT_EQ(fs.records.size(), 60u);

  // The configuration names files in another letter case than the disc stores them.
  EXPECT_EQ(fs.sections["$CONTENT"]["PATH"], "FS.DAT");
  EXPECT_TRUE(std::filesystem::exists(dir / "tavex.data/fs.skn/files.skn/fs.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir / "tavex.data/fs.skn/files.skn/FS.DAT"));

  std::vector<Headword> words = MakeHeadwords(60, 1);
  for (int i = 0; i < 60; ++i) {
    const auto& record = fs.records[i];
    EXPECT_EQ(record.at("$TEXTTITLE"), words[i].text);
    const std::string& content = record.at("$CONTENT");
    switch (SampleEntryKind(i)) {
      case EntryKind::kEntry:
        EXPECT_TRUE(content.starts_with("<entry id=\"" + XmlEscape(words[i].id) + "\">")) << i;
        EXPECT_TRUE(content.ends_with("</entry>")) << i;
        break;
      case EntryKind::kNotMarkup:
        EXPECT_NE(content.front(), '<');
        break;
      default:
        EXPECT_EQ(content.front(), '<');
    }
  }

  for (const char* name : {"us_pron.skn", "uk_pron.skn"}) {
    Bundle pron = ReadBundle(dir.path(), name);
    ASSERT_EQ(pron.fields.size(), 2u);
    EXPECT_EQ(pron.fields[0].name, "$NAME");
    ASSERT_EQ(pron.records.size(), 40u);
    for (int i = 0; i < 40; ++i) {
      EXPECT_EQ(pron.records[i].at("$NAME"), RecordingName(words[i]));
      const std::string& mp3 = pron.records[i].at("$CONTENT");
      EXPECT_TRUE(mp3.starts_with("ID3") || static_cast<unsigned char>(mp3[0]) == 0xFF) << i;
    }
  }
}

TEST(SampleDisc, SameSeedSameBytesOtherSeedOtherEntries) {
  tavex::testing::TempDir a;
  tavex::testing::TempDir b;
  tavex::testing::TempDir c;
  SampleDiscOptions options{30, 12, 7};
  WriteSampleDisc(a.path(), options);
  WriteSampleDisc(b.path(), options);
  options.seed = 8;
  WriteSampleDisc(c.path(), options);
  int files = 0;
  for (const auto& item : std::filesystem::recursive_directory_iterator(a.path())) {
    if (!item.is_regular_file() || item.path().filename() == ".tavex2epwing-manifest") continue;
    std::string relative = std::filesystem::relative(item.path(), a.path()).string();
    EXPECT_EQ(ReadBytes(item.path().string()), ReadBytes(b / relative)) << relative;
    ++files;
  }
  EXPECT_EQ(files, 15);
  EXPECT_NE(ReadBytes(a / "tavex.data/fs.skn/files.skn/fs.dat"),
            ReadBytes(c / "tavex.data/fs.skn/files.skn/fs.dat"));
}

TEST(SampleDisc, EntriesAreWellFormedExceptTheBrokenOnes) {
  if (!testing::HaveTool("xmllint")) GTEST_SKIP() << "xmllint is not installed";
  tavex::testing::TempDir dir;
  WriteSampleDisc(dir.path(), {120, 10, 3});
  Bundle fs = ReadBundle(dir.path(), "fs.skn");
  std::string files;
  for (std::size_t i = 0; i < fs.records.size(); ++i) {
    std::string path = dir / ("entry" + std::to_string(i) + ".xml");
    WriteBytes(path, fs.records[i].at("$CONTENT"));
    files += " " + Quote(path);
  }
  auto result = RunCommand("xmllint --noout" + files);
  std::set<int> failed;
  for (std::size_t i = 0; i < fs.records.size(); ++i) {
    if (result.output.find("/entry" + std::to_string(i) + ".xml:") != std::string::npos)
      failed.insert(static_cast<int>(i));
  }
  EXPECT_EQ(failed, (std::set<int>{21, 47})) << result.output;
}

TEST(SampleDisc, EntriesCarryEveryFeatureAndValidReferences) {
  tavex::testing::TempDir dir;
  WriteSampleDisc(dir.path(), {});
  Bundle fs = ReadBundle(dir.path(), "fs.skn");
  Bundle us = ReadBundle(dir.path(), "us_pron.skn");
  std::set<std::string> ids;
  std::set<std::string> names;
  for (const auto& record : us.records) names.insert(record.at("$NAME"));
  std::string all;
  std::size_t smallest = SIZE_MAX;
  std::size_t largest = 0;
  for (std::size_t i = 0; i < fs.records.size(); ++i) {
    const std::string& xml = fs.records[i].at("$CONTENT");
    all += xml;
    smallest = std::min(smallest, xml.size());
    largest = std::max(largest, xml.size());
    if (SampleEntryKind(static_cast<int>(i)) == EntryKind::kEntry) {
      std::size_t start = xml.find('"') + 1;
      ids.insert(xml.substr(start, xml.find('"', start) - start));
    }
  }
  EXPECT_LT(smallest, 1000u);
  EXPECT_GT(largest, 20000u);
  for (const char* feature : {"<h-g><top-g>",
                              "<side-g><side-panel>",
                              "</sn-g><side-g>",
                              "<inflection>",
                              "<vs>",
                              "<dr>",
                              "<id>",
                              "<pv>",
                              "<span>also</span>",
                              "<span class=\"hl\">",
                              "<span class=\"lab\">",
                              "<span class=\"sc\">",
                              "<sup>",
                              "<inf>",
                              "<hm>",
                              "<![CDATA[",
                              "<!--",
                              "<editor-note>",
                              "ə",
                              "ʃ",
                              "ŋ",
                              "ˈ",
                              "é",
                              "—",
                              "𝄞",
                              "id=\"o'clock_1\"",
                              "<x-ref topic=\"o'clock_1\">o'clock</x-ref>"}) {
    EXPECT_NE(all.find(feature), std::string::npos) << feature;
  }
  for (std::size_t at = all.find("topic=\""); at != std::string::npos; at = all.find("topic=\"", at + 1)) {
    std::string id = all.substr(at + 7, all.find('"', at + 7) - at - 7);
    // Every reference has its entry, so the sample book passes the pre-flight check.
    EXPECT_TRUE(ids.count(id)) << id;
  }
  int sounds = 0;
  for (std::size_t at = all.find("path=\"sound/"); at != std::string::npos;
       at = all.find("path=\"sound/", at + 1)) {
    std::string name = all.substr(at + 12, all.find('"', at + 12) - at - 12);
    EXPECT_TRUE(names.count(name)) << name;
    ++sounds;
  }
  EXPECT_GT(sounds, 40);
  EXPECT_TRUE(names.count("o'clock_1.mp3"));
}

TEST(SampleDisc, EmptyAndInvalidSizes) {
  tavex::testing::TempDir dir;
  WriteSampleDisc(dir.path(), {0, 0, 1});
  EXPECT_EQ(std::filesystem::file_size(dir / "tavex.data/fs.skn/files.skn/fs.idx"), 0u);
  EXPECT_TRUE(std::filesystem::exists(dir / "tavex.data/uk_pron.skn/files.skn/config.cft"));
  EXPECT_THROW(WriteSampleDisc(dir.path(), {-1, 0, 1}), Error);
  // A file where a folder must go.
  WriteBytes(dir / "blocked", "x");
  EXPECT_THROW(WriteSampleDisc(dir / "blocked", {}), Error);
}

// The size the benchmark asks for; run with --gtest_also_run_disabled_tests.
TEST(SampleDisc, DISABLED_FullSizeDisc) {
  tavex::testing::TempDir dir;
  auto start = std::chrono::steady_clock::now();
  WriteSampleDisc(dir.path(), {50000, 40000, 1});
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "50000 entries, 2 x 40000 recordings: " << seconds << " s\n";
  EXPECT_LT(seconds, 30.0);
}

}  // namespace
}  // namespace tavex::sample
