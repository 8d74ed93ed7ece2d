// The book check: every subbook of the book checked in turn, the findings counted.
#include "verify/verify.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>

#include "epwing/appendix.h"
#include "fs/files.h"
#include "text/error.h"
#include "verify/book_files.h"
#include "verify/finding_list.h"
#include "verify/pinned_book.h"
#include "verify/subbook_check.h"

namespace tavex::verify {

std::int64_t VerifyReport::errors() const {
  std::int64_t count = 0;
  for (const FindingGroup& group : groups)
    count += group.severity == check::Finding::kError ? group.count : 0;
  return count;
}

std::int64_t VerifyReport::warnings() const {
  std::int64_t count = 0;
  for (const FindingGroup& group : groups)
    count += group.severity == check::Finding::kWarning ? group.count : 0;
  return count;
}

VerifyReport VerifyBook(const VerifyOptions& options, Progress& progress) {
  if (!FolderExists(options.book)) throw Error(fmt::format("cannot verify {}: no such folder", options.book));
  if (!FileExists(ResolveCaseInsensitive(options.book, "CATALOGS"))) {
    throw Error(fmt::format("cannot verify {}: no CATALOGS in it", options.book));
  }
  VerifyReport report;
  report.book = options.book;
  report.base_folder = options.base_folder;
  FindingList findings(report, options.keep_all);
  // Nothing is opened through libeb until every file it may open is known to be a
  // regular file inside the book, and libeb is given those very files.
  BookFiles files = LookAtBookFiles(options.book);
  std::optional<PinnedBook> pinned;
  if (files.unsafe.empty()) pinned.emplace(options.book, files.unsafe);
  for (const std::string& unsafe : files.unsafe) {
    findings.Error("a file of the book cannot be read safely, so the book was not opened",
                   "replace it with the book's own file, or get a sound copy of the book",
                   {check::Finding::kError, "", {}, "", unsafe, {}});
  }
  if (!files.unsafe.empty()) return report;
  // Reading is bounded by the book's size on the disk, so that a book whose positions
  // ask for the same bytes again and again, or whose files are mostly holes, is not read
  // for hours; and the time of the whole check is bounded, however many subbooks the
  // catalogue lists.
  BookBounds bounds;
  bounds.path = pinned->path();
  bounds.budget = 8 * files.disk_bytes + (64u << 20);
  const auto bound = std::chrono::seconds(120 + static_cast<std::int64_t>(bounds.budget >> 22));
  bounds.deadline = std::chrono::steady_clock::now() + options.time_bound.value_or(bound);
  std::vector<std::string> folders;
  try {
    bounds.catalogs = ReadFileBounded(ResolveCaseInsensitive(bounds.path, "CATALOGS"), 1 << 16, "catalogue");
    folders = SubbookFolders(bounds.path);
  } catch (const Error& e) {
    findings.Error("the book does not open", kRebuild, {check::Finding::kError, "", {}, "", e.what(), {}});
    return report;
  }
  report.subbooks = static_cast<int>(folders.size());
  for (std::size_t s = 0; s < folders.size(); ++s) {
    // libeb looks the subbook's folder up by name in the book's folder, ".." included.
    if (!IsPlainFolderName(folders[s])) {
      findings.Error("the book does not open", kRebuild,
                     {check::Finding::kError,
                      "",
                      {},
                      "",
                      fmt::format("subbook {} of {} names the folder “{}”, which is not inside the book",
                                  s + 1, options.book, folders[s]),
                      {}});
      return report;
    }
  }
  std::vector<std::string> checked;
  for (int s = 0; s < static_cast<int>(folders.size()) && !bounds.stop; ++s) {
    std::string upper = folders[s];
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (std::find(checked.begin(), checked.end(), upper) != checked.end()) {
      findings.Error(
          "the catalogue lists one subbook folder twice; it was checked once", kRebuild,
          {check::Finding::kError, upper, {}, "", fmt::format("subbook {} repeats {}", s + 1, upper), {}});
      continue;
    }
    checked.push_back(upper);
    SubbookCheck(options, s, folders[s], report, findings, progress, bounds).Run();
  }
  // libeb's messages name the folder it was given; the user knows the book's own.
  for (FindingGroup& group : report.groups) {
    for (VerifyFinding& finding : group.examples) {
      for (std::size_t at = finding.detail.find(bounds.path); at != std::string::npos;
           at = finding.detail.find(bounds.path, at + options.book.size())) {
        finding.detail.replace(at, bounds.path.size(), options.book);
      }
    }
  }
  if (std::chrono::steady_clock::now() >= bounds.deadline) {
    findings.Error(
        "the check of the book ran past its time bound, so it stopped", kRebuild,
        {check::Finding::kError,
         "",
         {},
         "",
         fmt::format(
             "more than {} s",
             std::chrono::duration_cast<std::chrono::seconds>(options.time_bound.value_or(bound)).count()),
         {}});
  }
  // ebzip carries only the files of the book itself: the maps of the gaiji stay behind.
  if (files.compressed && report.gaiji > 0) {
    std::vector<std::string> missing;
    for (const char* name : {"afonts_0", "TAVEX.map", epwing::kAppendixFolder}) {
      const std::string path = ResolveCaseInsensitive(options.book, name);
      if (!FileExists(path) && !FolderExists(path)) missing.emplace_back(name);
    }
    if (!missing.empty()) {
      findings.Warning(
          "the gaiji maps are not beside the compressed book, so GoldenDict shows some gaiji as other "
          "letters and eblook as codes",
          "copy them from the book that was compressed: cp -r BOOK/afonts_0 BOOK/TAVEX.map BOOK/appendix "
          "COPY/",
          {check::Finding::kWarning,
           "",
           {},
           "",
           "missing: " + fmt::format("{}", fmt::join(missing, ", ")),
           {}});
    }
  }
  return report;
}

}  // namespace tavex::verify
