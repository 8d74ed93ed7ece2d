// The three ways a check report is shown: as lines for people, as JSON for programs,
// and as the one-line summary the create run ends with.
#include <fmt/format.h>

#include "check/check.h"
#include "check/finding_sink.h"
#include "text/text.h"

namespace tavex::check {

namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when it is not one.
std::size_t ValidUtf8Length(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  std::size_t length;
  std::uint32_t min;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  std::uint32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t length = ValidUtf8Length(text.substr(i));
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    char c = text[i];
    if (c == '"') {
      out += "\\\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += fmt::format("\\u{:04x}", static_cast<unsigned char>(c));
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out + "\"";
}

namespace {

const char* SeverityName(Finding::Severity severity) {
  return severity == Finding::kError ? "error" : "warning";
}

}  // namespace

std::string FormatSummary(const CheckReport& report) {
  return fmt::format("check: {}, {} in {}", Counted(report.errors(), "error"),
                     Counted(report.warnings(), "warning"), report.base_folder);
}

std::string FormatReport(const CheckReport& report) {
  std::string out;
  // Findings quote the book's own text: its control characters are shown as "\xNN", so
  // that escape codes in a hand-edited file cannot act on the terminal.
  for (const auto& f : report.findings) {
    std::string where = EscapeControls(f.line > 0 ? fmt::format("{}:{}", f.file, f.line) : f.file);
    out += fmt::format("{}: {}: {}", where, SeverityName(f.severity), EscapeControls(f.message));
    if (!f.advice.empty()) out += " (" + EscapeControls(f.advice) + ")";
    out += "\n";
  }
  return out + EscapeControls(FormatSummary(report)) + "\n";
}

std::string FormatReportJson(const CheckReport& report) {
  std::string out = fmt::format("{{\"base_folder\": {}, \"errors\": {}, \"warnings\": {}, \"findings\": [",
                                JsonString(report.base_folder), report.errors(), report.warnings());
  const char* separator = "\n  ";
  for (const auto& f : report.findings) {
    out += separator;
    out += fmt::format(
        "{{\"severity\": \"{}\", \"file\": {}, \"line\": {}, \"message\": {}, \"advice\": {}}}",
        SeverityName(f.severity), JsonString(f.file), f.line, JsonString(f.message), JsonString(f.advice));
    separator = ",\n  ";
  }
  out += report.findings.empty() ? "]}\n" : "\n]}\n";
  return out;
}

}  // namespace tavex::check
