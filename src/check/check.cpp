#include "check/check.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <set>

#include "check/book_check.h"
#include "check/finding_sink.h"
#include "check/gaiji_check.h"
#include "check/line_reader.h"
#include "check/project_check.h"
#include "check/wav_check.h"
#include "source/book_source.h"
#include "source/gaiji_map.h"
#include "text/error.h"
#include "fs/files.h"
#include "fs/safe_file.h"
#include "source/source_bounds.h"

namespace tavex::check {

namespace {

// The files the authoring tool needs, with the command that writes each.
struct RequiredFile {
  const char* name;
  const char* advice;
};
constexpr std::array<RequiredFile, 5> kRequiredFiles = {{
    {"TAVEX.ebs", "run `tavex2epwing -m 1 create` to redo the missing steps"},
    {"GaijiMap.xml", "run `tavex2epwing gaiji`"},
    {"Gaiji.xml", "run `tavex2epwing gaiji`"},
    {"copyright.html", "run `tavex2epwing html`"},
    {"html_EPW", "run `tavex2epwing html`"},
}};

// Reads a file only for its encoding and line ends.
void CheckTextFile(const std::string& base_folder, const char* name, FindingSink& sink) {
  LineReader reader(base_folder, name);
  std::string_view line;
  while (reader.Next(line)) {
  }
  reader.ReportTallies(sink);
}

bool HasErrorIn(const CheckReport& report, std::initializer_list<std::string_view> files) {
  for (const Finding& f : report.findings) {
    if (f.severity == Finding::kError && std::find(files.begin(), files.end(), f.file) != files.end()) return true;
  }
  return false;
}

// Reads the files as the EPWING writer does, with its parser and bounds, when the checks
// above found nothing wrong in them: what the writer refuses is an error here too, so a
// clean report means the book can be written.
void CheckAsWriterReads(const std::string& base_folder, const std::set<std::string>& missing,
                        CheckReport& report, FindingSink& sink) {
  constexpr const char* kAdvice =
      "the file is not as `tavex2epwing html` or `gaiji` writes it: undo the hand edit, or write it anew";
  if (missing.count("html_EPW") == 0 && !HasErrorIn(report, {"html_EPW"})) {
    try {
      source::ReadBookSource(JoinPath(base_folder, "html_EPW"), [](const source::SourceEntry&) {});
    } catch (const source::SourceFormError& error) {
      sink.Error("writer-refuses", "html_EPW", static_cast<int>(error.line()),
                 std::string("the EPWING writer refuses it: ") + error.what(), kAdvice);
    } catch (const Error& error) {
      sink.Error("writer-refuses", "html_EPW", 0, std::string("the EPWING writer refuses it: ") + error.what(),
                 kAdvice);
    }
  }
  if (missing.count("Gaiji.xml") == 0 && missing.count("GaijiMap.xml") == 0 &&
      !HasErrorIn(report, {"Gaiji.xml", "GaijiMap.xml"})) {
    try {
      source::GaijiSet::Load(base_folder);
    } catch (const Error& error) {
      sink.Error("writer-refuses", "Gaiji.xml", 0, std::string("the EPWING writer refuses it: ") + error.what(),
                 kAdvice);
    }
  }
}

// Orders the findings by line within each file, the files staying in the order they were
// first reported, so that a report reads down each file once.
void SortByFileAndLine(std::vector<Finding>& findings) {
  std::map<std::string, std::size_t> rank;
  for (const auto& f : findings) rank.emplace(f.file, rank.size());
  std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
    std::size_t ra = rank[a.file];
    std::size_t rb = rank[b.file];
    return ra != rb ? ra < rb : a.line < b.line;
  });
}

}  // namespace

int CheckReport::errors() const {
  return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                        [](const Finding& f) { return f.severity == Finding::kError; }));
}

int CheckReport::warnings() const { return static_cast<int>(findings.size()) - errors(); }

CheckReport CheckBookSource(const std::string& base_folder, const SourceHints& hints) {
  if (!FolderExists(base_folder)) throw Error("cannot check " + base_folder + ": no such folder");
  CheckReport report;
  report.base_folder = base_folder;
  FindingSink sink(report);

  std::set<std::string> missing;
  for (const auto& file : kRequiredFiles) {
    // Opened as the EPWING writer opens it: a regular file, no link followed, bounded.
    const std::uint64_t bound = source_bounds::Of(file.name);
    const OpenResult opened = OpenInside(base_folder, file.name, bound);
    switch (opened.status) {
      case OpenStatus::kOpened:
        continue;
      case OpenStatus::kMissing:
        sink.Error("missing", file.name, 0, "file is missing", file.advice);
        break;
      case OpenStatus::kSymbolicLink:
        sink.Error("not-regular", file.name, 0,
                   "is a symbolic link: the book's files are read only as regular files inside base_folder",
                   "replace the link by a copy of the file it names, or write the file anew: " +
                       std::string(file.advice));
        break;
      case OpenStatus::kNotRegular:
        sink.Error("not-regular", file.name, 0, "is not a regular file (a folder, FIFO or device)",
                   "remove it and write the file anew: " + std::string(file.advice));
        break;
      case OpenStatus::kTooLarge:
        sink.Error("too-large", file.name, 0,
                   fmt::format("has {} bytes, more than the {} the book's source may hold", opened.size,
                               SizeText(bound)),
                   "the file is damaged or is not the book's: write it anew: " + std::string(file.advice));
        break;
      case OpenStatus::kUnreadable:
        sink.Error("unreadable", file.name, 0, "cannot be read: " + opened.reason,
                   "check the file's permissions");
        break;
    }
    missing.insert(file.name);
  }
  // Files in the order the authoring tool meets them: the project, the gaiji files it
  // loads, then the pages; each kind's overflow is summed up before the next file.
  CheckProjectFile(base_folder, missing, sink);
  sink.Finish();
  GaijiMapSummary gaiji = CheckGaijiFiles(base_folder, sink);
  sink.Finish();
  CheckTextFile(base_folder, "copyright.html", sink);
  ReadabilityTally readability;
  SoundLinkCheck sound_links(base_folder);
  CheckBookHtml(base_folder, gaiji, sink, readability, sound_links);
  sink.Finish();
  sound_links.Report(sink, hints);
  sink.Finish();
  const std::int64_t recordings = CheckWavFolders(base_folder, sink);
  sink.Finish();
  readability.Report(sink, hints, recordings);
  CheckAsWriterReads(base_folder, missing, report, sink);
  sink.Finish();
  SortByFileAndLine(report.findings);
  return report;
}

}  // namespace tavex::check
