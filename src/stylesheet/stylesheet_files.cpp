#include "stylesheet/stylesheet_files.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <string_view>

#include "text/error.h"
#include "fs/files.h"
#include "stylesheet/template_line.h"

namespace tavex {

const char* const kSidePanelPaths[2] = {"/entry/h-g/top-g/side-g/side-panel", "/entry/p-g/side-g/side-panel"};

const char* const kHtmlNamespace = "http://www.w3.org/profiles/XHTML-strict";
const char* const kScriptNamespace = "urn:schemas-microsoft-com:xslt";

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kXslNamespace = "http://www.w3.org/1999/XSL/Transform";

void AddLines(std::string& text, std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) {
    text += line;
    text += kLineEnd;
  }
}

}  // namespace

std::string MainStylesheetText(const std::vector<RuleRow>& rows,
                               std::vector<std::string>* generated_lines) {
  std::string text;
  const std::string start_tag = fmt::format(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"{}\" xmlns:html=\"{}\" "
      "xmlns:user=\"urn:user-scripts\">",
      kXslNamespace, kHtmlNamespace);
  AddLines(text, {
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
                     start_tag,
                     "<xsl:include href=\"./user_script.xsl\"/>",
                     "<xsl:template match=\"/\">",
                     "<html>",
                     "<head>",
                     "<title>",
                     "</title>",
                     "</head>",
                     "<xsl:element name=\"body\">",
                     "<xsl:apply-templates/>",
                     fmt::format("<xsl:apply-templates select=\"{}\"/>", kSidePanelPaths[0]),
                     fmt::format("<xsl:apply-templates select=\"{}\"/>", kSidePanelPaths[1]),
                     "</xsl:element>",
                     "</html>",
                     "</xsl:template>",
                     "",
                 });
  for (const RuleRow& row : rows) {
    if (!row.custom_xsl.empty()) {
      AddLines(text, {row.custom_xsl});
      continue;
    }
    std::string line = TemplateLine(row);
    AddLines(text, {line});
    if (generated_lines != nullptr && IsOn(row.apply_templates)) {
      generated_lines->push_back(std::move(line));
    }
  }
  AddLines(text, {"", "</xsl:stylesheet>"});
  return text;
}

void WriteMainStylesheet(const std::string& path, const std::vector<RuleRow>& rows,
                         std::vector<std::string>* generated_lines) {
  std::vector<std::string> lines;
  std::string text = MainStylesheetText(rows, generated_lines != nullptr ? &lines : nullptr);
  WriteFileAtomic(path, text);
  // Hand the lines over only once the file is in place.
  if (generated_lines != nullptr) {
    generated_lines->insert(generated_lines->end(), lines.begin(), lines.end());
  }
}

std::string ScriptStylesheetText() {
  std::string text;
  const std::string start_tag = fmt::format(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"{}\" xmlns:msxsl=\"{}\" "
      "xmlns:user=\"urn:user-scripts\" extension-element-prefixes=\"msxsl\">",
      kXslNamespace, kScriptNamespace);
  const std::string script_tag = fmt::format(
      "<msxsl:script xmlns:msxsl=\"{}\" language=\"JavaScript\" implements-prefix=\"user\">",
      kScriptNamespace);
  AddLines(text, {
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
                     start_tag,
                     script_tag,
                     "  <![CDATA[",
                     "    function mp3_wav(topic,resource){",
                     "      var reg;",
                     "      var submatch;",
                     R"(      reg = new RegExp(/\/([^\/]+?)\.mp3/g);)",
                     "      submatch = reg.exec(topic);",
                     "      if (submatch.length>0){",
                     R"(      return (resource + "/" + submatch[1] + ".wav");)",
                     "      }",
                     "      else{",
                     R"(      return "null";)",
                     "      }",
                     "    }",
                     "    ]]>",
                     "</msxsl:script>",
                     "</xsl:stylesheet>",
                 });
  return text;
}

void WriteScriptStylesheet(const std::string& path) { WriteFileAtomic(path, ScriptStylesheetText()); }

std::string BackupFileName(const std::string& main_path) {
  struct stat info {};
  if (stat(main_path.c_str(), &info) != 0) {
    throw Error(fmt::format("cannot read the time of {}: {}", main_path, SystemMessage(errno)));
  }
  // The stamp keeps the two-second resolution the backup names have always had.
  std::time_t when = info.st_mtime - (info.st_mtime % 2 + 2) % 2;
  std::tm local {};
  localtime_r(&when, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return std::filesystem::path(main_path).stem().string() + stamp + ".xsl";
}

bool BackupMainStylesheet(const std::string& main_path, const std::string& backup_folder) {
  if (!FileExists(main_path)) return false;
  CreateFolders(backup_folder);
  // Two versions written within the same two seconds share the dated name; a counter
  // after the date keeps both, since the earlier backup may be the only copy of a hand edit.
  const std::string name = BackupFileName(main_path);
  const std::string stem = name.substr(0, name.size() - 4);
  constexpr int kMaxCounter = 1000;
  for (int counter = 1; counter <= kMaxCounter; ++counter) {
    const std::string target =
        JoinPath(backup_folder, counter == 1 ? name : fmt::format("{}_{}.xsl", stem, counter));
    if (std::filesystem::exists(target)) continue;
    RenamePath(main_path, target);
    return true;
  }
  throw Error(fmt::format("cannot back up {}: {} backups named {}_N.xsl exist already in {}", main_path,
                          kMaxCounter, stem, backup_folder));
}

}  // namespace tavex
