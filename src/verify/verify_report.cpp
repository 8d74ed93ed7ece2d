// The ways a verify report is shown: lines for people (one per kind, or one per
// finding), JSON for programs, the one-line summary, and rows for the window's findings
// list.
#include <fmt/format.h>

#include "check/finding_sink.h"
#include "verify/verify.h"

namespace tavex::verify {
namespace {

// 148233 as "148,233".
std::string Grouped(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

const char* SeverityName(check::Finding::Severity severity) {
  return severity == check::Finding::kError ? "error" : "warning";
}

// "TAVEX 12:0345 café": the subbook, the position and the entry's headword, as known.
std::string Where(const VerifyFinding& f) {
  std::string where = f.subbook;
  if (f.at.page > 0) where += fmt::format("{}{}:{:04}", where.empty() ? "" : " ", f.at.page, f.at.offset);
  if (!f.headword.empty()) where += fmt::format("{}{}", where.empty() ? "" : " ", f.headword);
  return where.empty() ? "book" : where;
}

// The detail after the place, when there is one.
std::string Detailed(const VerifyFinding& f) {
  return f.detail.empty() ? Where(f) : Where(f) + ": " + f.detail;
}

}  // namespace

std::string FormatVerifySummary(const VerifyReport& report) {
  std::string summary = fmt::format("verify: {} entries, {} keys found, {}", Grouped(report.entries),
                                    Grouped(report.keys_found), check::Counted(report.errors(), "error"));
  if (report.warnings() > 0) summary += ", " + check::Counted(report.warnings(), "warning");
  return summary;
}

std::string FormatVerifyReport(const VerifyReport& report, bool verbose) {
  std::string out;
  for (const FindingGroup& group : report.groups) {
    if (verbose) {
      for (const VerifyFinding& f : group.examples) {
        out += fmt::format("{}: {}: {}", Where(f), SeverityName(group.severity), group.kind);
        if (!f.detail.empty()) out += ": " + f.detail;
        out += fmt::format(" ({})\n", group.advice);
      }
      continue;
    }
    out += fmt::format("{}: {} ({}", SeverityName(group.severity), group.kind,
                       group.count == 1 ? std::string("once") : Grouped(group.count) + " times");
    for (std::size_t i = 0; i < group.examples.size(); ++i) {
      out += (i == 0 ? "; " : ", ") + Detailed(group.examples[i]);
    }
    if (static_cast<std::int64_t>(group.examples.size()) < group.count) out += ", …; -v lists all";
    out += fmt::format(") ({})\n", group.advice);
  }
  return out + FormatVerifySummary(report) + (report.base_folder.empty() ? "" : " beside its source") + "\n";
}

std::string FormatVerifyJson(const VerifyReport& report) {
  std::string out = fmt::format(
      "{{\"book\": {}, \"base_folder\": {}, \"subbooks\": {}, \"entries\": {}, \"keys\": {}, \"keys_found\": "
      "{}, "
      "\"texts_read\": {}, \"sounds\": {}, \"gaiji\": {}, \"errors\": {}, \"warnings\": {},\n \"kinds\": [",
      check::JsonString(report.book), check::JsonString(report.base_folder), report.subbooks, report.entries,
      report.keys, report.keys_found, report.texts_read, report.sounds, report.gaiji, report.errors(),
      report.warnings());
  const char* separator = "\n  ";
  for (const FindingGroup& group : report.groups) {
    out += separator;
    out += fmt::format("{{\"severity\": \"{}\", \"message\": {}, \"count\": {}, \"advice\": {}}}",
                       SeverityName(group.severity), check::JsonString(group.kind), group.count,
                       check::JsonString(group.advice));
    separator = ",\n  ";
  }
  out += report.groups.empty() ? "],\n \"findings\": [" : "\n ],\n \"findings\": [";
  separator = "\n  ";
  bool any = false;
  for (const FindingGroup& group : report.groups) {
    for (const VerifyFinding& f : group.examples) {
      out += separator;
      out += fmt::format(
          "{{\"severity\": \"{}\", \"subbook\": {}, \"page\": {}, \"offset\": {}, \"headword\": {}, "
          "\"message\": {}, \"detail\": {}, \"advice\": {}}}",
          SeverityName(group.severity), check::JsonString(f.subbook), f.at.page, f.at.offset,
          check::JsonString(f.headword), check::JsonString(group.kind), check::JsonString(f.detail),
          check::JsonString(group.advice));
      separator = ",\n  ";
      any = true;
    }
  }
  out += any ? "\n ]}\n" : "]}\n";
  return out;
}

std::vector<check::Finding> AsCheckFindings(const VerifyReport& report) {
  std::vector<check::Finding> rows;
  for (const FindingGroup& group : report.groups) {
    for (const VerifyFinding& f : group.examples) {
      rows.push_back({group.severity, "epwing " + Where(f), 0,
                      f.detail.empty() ? group.kind : group.kind + ": " + f.detail, group.advice});
    }
    const std::int64_t left = group.count - static_cast<std::int64_t>(group.examples.size());
    if (left > 0) {
      rows.push_back({group.severity, "epwing", 0,
                      fmt::format("{} more findings of this kind: {}", left, group.kind), group.advice});
    }
  }
  return rows;
}

}  // namespace tavex::verify
