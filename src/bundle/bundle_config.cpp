#include "bundle/bundle_config.h"

#include <climits>
#include <cstdlib>

#include <fmt/format.h>

#include "text/error.h"
#include "fs/files.h"
#include "text/regex.h"

namespace tavex::bundle {

namespace {

// A section: its header line, its PATH line, its declaration lines and one empty line.
// Lines end in a line feed alone; a last section without its empty line is not found.
constexpr std::string_view kSectionPattern = R"(\[(.+?)\]\nPATH = (.+?)\n((?:(?:.+?)\n)*?)\n)";

// A declaration line, optionally followed by the OFFSET line of the same name.
constexpr std::string_view kDeclarationPattern = R"((?:(?:(.+?) = (.+?)\n)(?:\1,OFFSET = (.+?)\n)?))";

const Regex& SectionRegex() {
  static const Regex regex(kSectionPattern);
  return regex;
}

const Regex& DeclarationRegex() {
  static const Regex regex(kDeclarationPattern);
  return regex;
}

const std::string& Group(const RegexMatch& match, std::size_t index) {
  static const std::string empty;
  return index < match.groups.size() ? match.groups[index] : empty;
}

[[noreturn]] void Fail(std::string_view bundle_name, std::string_view what) {
  throw Error(fmt::format("bundle {}: {}", bundle_name, what));
}

}  // namespace

int TypeWidth(std::string_view type_name) {
  if (type_name == "UBYTE") return 1;
  if (type_name == "USHORT") return 2;
  if (type_name == "U24") return 3;
  if (type_name == "ULONG") return 4;
  return -1;
}

std::vector<FieldDeclaration> ParseDeclarations(std::string_view text) {
  std::vector<FieldDeclaration> declarations;
  for (const RegexMatch& match : DeclarationRegex().FindAll(text)) {
    FieldDeclaration declaration;
    declaration.name = Group(match, 0);
    const std::string& value = Group(match, 1);
    if (value == "DATA") {
      declaration.value = "DATA";
      declaration.type = Group(match, 2);
      declaration.width = TypeWidth(declaration.type);
    } else if (!declaration.name.empty() && declaration.name.front() == '$') {
      declaration.type = value;
      declaration.width = TypeWidth(value);
    } else {
      declaration.value = value;
      declaration.type = "0";
    }
    declarations.push_back(std::move(declaration));
  }
  return declarations;
}

BundleConfig ParseBundleConfigText(std::string_view text, std::string_view bundle_name) {
  BundleConfig config;
  config.bundle_name = bundle_name;
  const std::vector<RegexMatch> sections = SectionRegex().FindAll(text);

  // With several DAT sections the last one wins.
  for (const RegexMatch& section : sections) {
    if (Group(section, 0) != "DAT") continue;
    config.index_path = Group(section, 1);
    config.dat_declarations = ParseDeclarations(Group(section, 2));
  }

  // The last DAT declaration is not a record field.
  const std::size_t count = config.dat_declarations.size();
  for (std::size_t i = 0; i + 1 < count; ++i) {
    const FieldDeclaration& declaration = config.dat_declarations[i];
    config.fields.push_back(declaration);
    config.record_size += declaration.width;
    if (declaration.name == "PAGESIZE") config.page_size = declaration.value;
  }

  // A section named like a field describes the file that field points into.
  for (const RegexMatch& section : sections) {
    for (FieldDeclaration& field : config.fields) {
      if (field.name != Group(section, 0)) continue;
      field.data_path = Group(section, 1);
      field.settings = ParseDeclarations(Group(section, 2));
      break;
    }
  }
  return config;
}

std::string BundleFilePath(const BundleConfig& config, std::string_view relative, std::string_view key) {
  auto refuse = [&](std::string_view why) {
    Fail(config.bundle_name, fmt::format("{} in {} is \"{}\", which {}; the disc's files must lie inside {}",
                                         key, config.config_path, relative, why, config.bundle_folder));
  };
  std::string path = config.files_folder;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string_view part = relative.substr(start, end - start);
    if (part == "..") refuse("has a \"..\" part");
    if (!part.empty() && part != ".") path = ResolveCaseInsensitive(path, part);
    start = end + 1;
  }
  // A symbolic link on the disc may still point elsewhere. A path that does not exist
  // is left to the caller, whose open fails naming it.
  char resolved[PATH_MAX];
  char folder[PATH_MAX];
  if (!config.bundle_folder.empty() && ::realpath(path.c_str(), resolved) != nullptr &&
      ::realpath(config.bundle_folder.c_str(), folder) != nullptr &&
      std::string_view(resolved).rfind(std::string(folder) + "/", 0) != 0) {
    refuse(fmt::format("resolves to {} outside the bundle", resolved));
  }
  return path;
}

BundleConfig ParseBundleConfig(const BundleLocation& where, std::string_view bundle_name) {
  const std::string bundle_folder = ResolveCaseInsensitive(where.source_data_folder, bundle_name);
  if (!FolderExists(bundle_folder)) Fail(bundle_name, fmt::format("no bundle folder {}", bundle_folder));
  const std::string files_folder = ResolveCaseInsensitive(bundle_folder, "files.skn");
  const std::string config_path = ResolveCaseInsensitive(files_folder, "config.cft");
  if (!FileExists(config_path)) Fail(bundle_name, fmt::format("no configuration file {}", config_path));

  // A few hundred bytes on a real disc; read whole, so bounded before it is read.
  constexpr std::uint64_t kMaxConfigSize = 1 << 20;
  std::string text;
  try {
    if (const std::uint64_t size = FileSize(config_path); size > kMaxConfigSize) {
      throw Error(fmt::format("configuration file {} has {} bytes, more than the 1 MiB it may have",
                              config_path, size));
    }
    text = ReadFile(config_path);
  } catch (const Error& error) {
    Fail(bundle_name, error.what());
  }

  BundleConfig config = ParseBundleConfigText(text, bundle_name);
  config.bundle_folder = bundle_folder;
  config.files_folder = files_folder;
  config.config_path = config_path;
  if (!FolderExists(where.unzip_folder)) CreateFolders(where.unzip_folder);
  config.unpacked_path = JoinPath(where.unzip_folder, std::string(bundle_name) + ".dat");
  return config;
}

}  // namespace tavex::bundle
