// The check of a finished EPWING book, ours or anyone's: it reads the book back through
// libeb as the readers on Linux do and proves that every subbook opens, every entry's
// heading and text read to their end, every search key finds the entry it points at,
// every link and sound lies where the book keeps them and every gaiji has a glyph.
// Beside the book source it was built from (base_folder), it also proves that every
// title and key of the source is found and that the glyphs and sounds are the
// source's. Everything it reads is bounded, so a damaged book gives findings, never a
// hang or a crash.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/check.h"
#include "platform/progress.h"
#include "verify/libeb_reader.h"

namespace tavex::verify {

// What to check.
struct VerifyOptions {
  std::string book = {};         // the folder holding CATALOGS
  std::string base_folder = {};  // the book source to compare with; empty for none
  // Full-text reads limited to this many entries, spread over the book; all when none.
  std::optional<std::size_t> sample = std::nullopt;
  // Keep every finding (for a full listing); otherwise the first few of each kind.
  bool keep_all = false;
  // How long the check of the whole book may take; by default two minutes and a second
  // for every 4 MiB it may read. Past it, the check stops with an error.
  std::optional<std::chrono::seconds> time_bound = std::nullopt;
};

// One thing found in the book.
struct VerifyFinding {
  check::Finding::Severity severity = check::Finding::kError;
  std::string subbook;   // the subbook's folder name; empty for the whole book
  BookPosition at;       // where in the text file; page 0 when nowhere in particular
  std::string headword;  // the heading of the entry concerned, when there is one
  std::string detail;    // what exactly is wrong here, UTF-8, lowercase
  BookPosition entry;    // the entry concerned (page 0 for none), for its headword
};

// All findings of one kind: how often it occurred and the first (or every) occurrence.
struct FindingGroup {
  check::Finding::Severity severity = check::Finding::kError;
  std::string kind;    // what is wrong, lowercase, no trailing period
  std::string advice;  // what to do about it
  std::int64_t count = 0;
  std::vector<VerifyFinding> examples;
};

// What the check saw and found.
struct VerifyReport {
  std::string book;
  std::string base_folder;  // empty when the book was checked on its own
  int subbooks = 0;
  std::size_t entries = 0;           // entries met walking the text
  std::size_t keys = 0;              // keys in the word and endword indexes
  std::size_t keys_found = 0;        // of those, found by a search through libeb
  std::size_t texts_read = 0;        // entries whose text was read to its end
  std::size_t sounds = 0;            // distinct sounds checked
  std::size_t gaiji = 0;             // distinct gaiji codes met in the text
  std::vector<FindingGroup> groups;  // in the order each kind was first found

  std::int64_t errors() const;
  std::int64_t warnings() const;
};

// Checks the book in `options.book`. Problems of the book are findings; throws
// tavex::Error only when the folder holds no CATALOGS.
VerifyReport VerifyBook(const VerifyOptions& options, Progress& progress);

// One line per kind of finding ("error: kind: N times, first at …: detail (advice)"),
// or with `verbose` one line per finding; then the summary line. Lines end with "\n".
std::string FormatVerifyReport(const VerifyReport& report, bool verbose);

// The report as one JSON object: book, base_folder, the counts and the findings
// (severity, kind, subbook, page, offset, headword, message, advice), each kind's total
// in "kinds". Always valid JSON.
std::string FormatVerifyJson(const VerifyReport& report);

// "verify: 50,001 entries, 148,233 keys found, 0 errors" (and the warnings, when any),
// without a line end.
std::string FormatVerifySummary(const VerifyReport& report);

// The findings as rows of the pre-flight check's findings list: the place in `file`
// ("epwing TAVEX 12:0345 café"), line 0, and for each kind with more findings than
// listed one row that counts the rest.
std::vector<check::Finding> AsCheckFindings(const VerifyReport& report);

}  // namespace tavex::verify
