// The book check: every subbook of the book checked in turn, the findings counted.
#include "verify/verify.h"

#include <fmt/format.h>

#include "text/error.h"
#include "fs/files.h"
#include "verify/book_files.h"
#include "verify/finding_list.h"
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
  // regular file inside the book.
  const BookFiles files = LookAtBookFiles(options.book);
  for (const std::string& unsafe : files.unsafe) {
    findings.Error("a file of the book cannot be read safely, so the book was not opened",
                   "replace it with the book's own file, or get a sound copy of the book",
                   {check::Finding::kError, "", {}, "", unsafe, {}});
  }
  if (!files.unsafe.empty()) return report;
  // Reading is bounded by the book's size on the disk, so that a book whose positions
  // ask for the same bytes again and again, or whose files are mostly holes, is not read
  // for hours.
  const std::uint64_t budget = 8 * files.disk_bytes + (64u << 20);
  int subbooks = 0;
  try {
    subbooks = LibebReader(options.book).subbook_count();
  } catch (const Error& e) {
    findings.Error("the book does not open", kRebuild, {check::Finding::kError, "", {}, "", e.what(), {}});
    return report;
  }
  report.subbooks = subbooks;
  for (int s = 0; s < subbooks; ++s) SubbookCheck(options, s, report, findings, progress, budget).Run();
  return report;
}

}  // namespace tavex::verify
