#include "book/project_file.h"

#include <filesystem>

#include "text/cp932.h"
#include "fs/files.h"
#include "text/text.h"

namespace tavex {

namespace {

// The settings after the two folder lines, one per line.
constexpr const char* kFixedLines[] = {
    "Copyright=$(BASE)\\copyright.html",
    "GaijiFile=$(BASE)\\Gaiji.xml",
    "GaijiMapFile=$(BASE)\\GaijiMap.xml",
    "EBType=0",
    "MenuSearch=1",
    "WordSearchHyoki=1",
    "WordSearchKana=1",
    "EndWordSearchHyoki=1",
    "EndWordSearchKana=1",
    "KeywordSearch=0",
    "CrossSearch=0",
    "ComplexSearch=0",
    "singleLine=0",
    "makeFig=1",
    "leftMargin=1",
    "indent=0",
    "StopWord=",
    "delBlank=1",
    "delSym=1",
    "delChars=",
    "refAuto=0",
    "titleWord=1",
    "autoWord=0",
    "autoEWord=0",
    "HTagIndex=0",
    "DTTagIndex=1",
    "addKana=0",
    "autoKana=0",
    "kwordLen=1",
    "withHeader=1",
    "optMono=0",
    "Size=40000;30000;10;49000000;4000;50000;10;10;50000;10;500",
    "Book=TAVEX;TAVEX;一般書物;_;_;GAI16H00;GAI16F00;_;_;_;_;_;_;",
    "Source=$(BASE)\\html_EPW;_;_;HTML;",
};

}  // namespace

std::string EbsBasePath(const std::string& base_folder) {
  std::string path = std::filesystem::absolute(base_folder).lexically_normal().string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  path = ReplaceAll(path, "/", "\\");
  if (path.empty() || path.back() != '\\') path += '\\';
  return "Z:" + path;
}

std::string ProjectFileText(const std::string& base_folder_as_seen) {
  std::string base = base_folder_as_seen;
  // Without the backslash OutPath would name a sibling folder ("...baseTAVEX").
  if (!base.empty() && base.back() != '\\') base += '\\';
  std::string text = "InPath=" + base + "\r\n";
  text += "OutPath=" + base + "TAVEX\\\r\n";
  for (const char* line : kFixedLines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void WriteProjectFile(const std::string& path, const std::string& base_folder_as_seen) {
  WriteFileAtomic(path, ToSjis(ProjectFileText(base_folder_as_seen)).bytes);
}

}  // namespace tavex
