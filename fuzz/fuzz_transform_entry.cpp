// Fuzzes the transformation of one entry into the book's headword, body and keywords,
// with the main stylesheet the sample rules give and a small gaiji table. The input is
// split into the entry's title and its XML; the title's first byte, when there is one,
// also chooses the operating mode.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "book/transform.h"
#include "fuzz_support.h"
#include "text/error.h"
#include "sample/sample_rules.h"
#include "stylesheet/stylesheet_files.h"

namespace {

tavex::RuleRow ToRuleRow(const tavex::sample::SampleRule& rule) {
  return tavex::RuleRow{rule.tag,     rule.apply_templates, rule.leave_tag, rule.bold,       rule.italic,
                        rule.sup,     rule.sub,             rule.pre_br,    rule.post_br,    rule.pre_sp,
                        rule.post_sp, rule.pre_text,        rule.post_text, rule.upper_case, rule.lower_case,
                        rule.indent,  rule.custom_xsl};
}

tavex::book::GaijiTable SmallGaijiTable() {
  std::vector<tavex::book::GaijiChar> rows;
  for (char16_t unit : {u'\u00E9', u'\u0259', u'\u2002', u'\xD83D'}) {
    tavex::book::GaijiChar row;
    row.ws = unit;
    row.ws_code = unit;
    row.ws_hex = fmt::format("{:04X}", static_cast<unsigned>(unit));
    row.reference = "&#x" + row.ws_hex + ";";
    row.alt = unit == u'\u00E9' ? "e" : "";
    rows.push_back(row);
  }
  return tavex::book::GaijiTable(std::move(rows));
}

// One transformer per operating mode, made once.
struct Transformers {
  tavex::book::GaijiTable table = SmallGaijiTable();
  std::unique_ptr<tavex::book::EntryTransformer> by_mode[3];

  Transformers() {
    const std::string& folder = tavex::fuzz::ScratchFolder();
    std::vector<tavex::RuleRow> rows;
    for (const auto& rule : tavex::sample::SampleRules()) rows.push_back(ToRuleRow(rule));
    tavex::WriteMainStylesheet(folder + "/epwing_dic.xsl", rows);
    tavex::WriteScriptStylesheet(folder + "/user_script.xsl");
    // Ids resolve to their length, except those starting with "x", which are unknown.
    const tavex::book::TopicResolver resolve = [](std::string_view id) -> std::int64_t {
      return !id.empty() && id.front() == 'x' ? -1 : static_cast<std::int64_t>(id.size());
    };
    for (int mode = 0; mode < 3; ++mode) {
      by_mode[mode] = std::make_unique<tavex::book::EntryTransformer>(folder + "/epwing_dic.xsl", table, resolve,
                                                                      tavex::OperatingMode{mode});
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Transformers transformers;
  const auto parts = tavex::fuzz::SplitInput(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  const int mode = parts[0].empty() ? 0 : static_cast<unsigned char>(parts[0].front()) % 3;
  try {
    const tavex::book::TransformedEntry entry = transformers.by_mode[mode]->TransformEntry(parts[1], parts[0]);
    if (!entry.parsed && (!entry.keywords.empty() || !entry.body.empty())) __builtin_trap();
  } catch (const tavex::Error&) {
  }
  return 0;
}
