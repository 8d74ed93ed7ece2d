#include "check/project_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "check/line_reader.h"
#include "text/cp932.h"
#include "fs/files.h"
#include "text/text.h"

namespace tavex::check {

namespace {

constexpr const char* kProjectName = "TAVEX.ebs";
constexpr std::string_view kBase = "$(BASE)";
// The settings whose value names a file; Source= lists more fields after a ";".
constexpr std::array<std::string_view, 4> kFileKeys = {"Copyright", "GaijiFile", "GaijiMapFile", "Source"};

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::string Slashes(std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

// True when the file exists, with the last name compared ignoring letter case as the
// authoring tool's file system does.
bool ProjectFileExists(const std::string& path) {
  if (FileExists(path)) return true;
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  return FileExists(ResolveCaseInsensitive(path.substr(0, slash), path.substr(slash + 1)));
}

}  // namespace

std::string ProjectPathToLocal(const std::string& base_folder, const std::string& value) {
  std::string name = TrimControl(SjisToUtf8(Sjis(value)));
  if (StartsWithIgnoreCase(name, kBase)) {
    std::string rest = Slashes(name.substr(kBase.size()));
    rest.erase(0, rest.find_first_not_of('/'));
    return rest.empty() ? std::string() : JoinPath(base_folder, rest);
  }
  if (name.size() > 3 && (name[0] == 'Z' || name[0] == 'z') && name[1] == ':' &&
      (name[2] == '\\' || name[2] == '/')) {
    return Slashes(name.substr(2));  // Wine's drive Z: is the root of the file system
  }
  return std::string();
}

void CheckProjectFile(const std::string& base_folder, const std::set<std::string>& already_missing,
                      FindingSink& sink) {
  LineReader reader(base_folder, kProjectName);
  if (!reader.is_open()) return;
  bool has_source = false;
  std::string_view line;
  while (reader.Next(line)) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals);
    auto file_key = std::find_if(kFileKeys.begin(), kFileKeys.end(),
                                 [&](std::string_view k) { return EqualsIgnoreAsciiCase(k, key); });
    if (file_key == kFileKeys.end()) continue;
    std::string_view value = line.substr(equals + 1);
    bool source = *file_key == "Source";
    if (source) {
      has_source = true;
      value = value.substr(0, value.find(';'));
      if (TrimControl(value).empty()) {
        sink.Error("project-source", kProjectName, reader.line_number(), "Source= names no book source file",
                   "re-run `tavex2epwing -m 1 create` to write the project file anew");
        continue;
      }
    }
    std::string path = ProjectPathToLocal(base_folder, std::string(value));
    if (path.empty() || ProjectFileExists(path)) continue;
    bool reported = std::any_of(already_missing.begin(), already_missing.end(), [&](const std::string& name) {
      return EqualsIgnoreAsciiCase(path, JoinPath(base_folder, name));
    });
    if (reported) continue;
    sink.Error("project-file", kProjectName, reader.line_number(),
               fmt::format("{} names {}, which does not exist", std::string(key), path),
               "write the file (re-run `tavex2epwing create` with -m 1 to redo missing steps) or "
               "correct the name in the project file");
  }
  reader.ReportTallies(sink);
  if (!has_source) {
    sink.Error("project-source", kProjectName, 0, "no Source= line names the book's source",
               "re-run `tavex2epwing -m 1 create` to write the project file anew");
  }
}

}  // namespace tavex::check
