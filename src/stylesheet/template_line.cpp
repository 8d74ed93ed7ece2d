#include "stylesheet/template_line.h"

#include <fmt/format.h>

#include "fs/files.h"
#include "text/text.h"
#include "store/database.h"

namespace tavex {

namespace {

constexpr std::string_view kSpanPrefix = "span class=\"";
constexpr std::string_view kNoBreakSpace =
    "<xsl:text disable-output-escaping=\"yes\">&amp;nbsp;</xsl:text>";
constexpr std::string_view kUpperContent =
    "<xsl:value-of select=\"translate(., 'abcdefghijklmnopqrstuvwxyz', "
    "'ABCDEFGHIJKLMNOPQRSTUVWXYZ')\" />";
constexpr std::string_view kLowerContent =
    "<xsl:value-of select=\"translate(., 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', "
    "'abcdefghijklmnopqrstuvwxyz')\" />";
constexpr std::string_view kApplyContent = "<xsl:apply-templates/>";

// The class value of a span key, or no value when the key has another form.
bool SpanClass(std::string_view key, std::string_view& value) {
  if (key.size() < kSpanPrefix.size() + 1 || key.substr(0, kSpanPrefix.size()) != kSpanPrefix ||
      key.back() != '"') {
    return false;
  }
  value = key.substr(kSpanPrefix.size(), key.size() - kSpanPrefix.size() - 1);
  return true;
}

// Escapes what a double-quoted attribute value cannot hold as it is.
std::string EscapeAttribute(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// An XPath string literal for `value`, as it is written inside a double-quoted attribute.
std::string XPathLiteral(std::string_view value) {
  if (value.find('\'') == std::string_view::npos) return "'" + EscapeAttribute(value) + "'";
  if (value.find('"') == std::string_view::npos) return "&quot;" + EscapeAttribute(value) + "&quot;";
  // Both quote kinds: join the pieces between apostrophes with concat().
  std::string out = "concat(";
  std::size_t start = 0;
  for (;;) {
    std::size_t quote = value.find('\'', start);
    std::string_view piece = value.substr(start, quote == std::string_view::npos ? quote : quote - start);
    out += "'" + EscapeAttribute(piece) + "'";
    if (quote == std::string_view::npos) break;
    out += ", &quot;'&quot;, ";
    start = quote + 1;
  }
  return out + ")";
}

}  // namespace

std::string MatchPattern(std::string_view tag_key) {
  std::string_view value;
  if (!SpanClass(tag_key, value)) return std::string(tag_key);
  if (value.empty()) return "span[not(@class) or @class='']";
  return "span[@class=" + XPathLiteral(value) + "]";
}

std::string LeaveTagOpen(std::string_view tag_key) {
  std::string_view value;
  if (!SpanClass(tag_key, value)) return fmt::format("<{}>", tag_key);
  // The value of a literal result attribute is a template: braces must be doubled.
  std::string escaped = ReplaceAll(ReplaceAll(EscapeAttribute(value), "{", "{{"), "}", "}}");
  return "<span class=\"" + escaped + "\">";
}

std::string LeaveTagClose(std::string_view tag_key) {
  std::string_view value;
  if (SpanClass(tag_key, value)) return "</span>";
  return fmt::format("</{}>", tag_key);
}

std::string TemplateLine(const RuleRow& row) {
  std::string front = fmt::format("<xsl:template match=\"{}\">", MatchPattern(row.tag));
  std::string back = "</xsl:template>";
  if (!IsOn(row.apply_templates)) return front + back;

  // Opening texts go at the end of the front part, closing texts before the back
  // part, so the option applied first ends up outermost.
  auto wrap = [&](std::string_view open, std::string_view close) {
    front += open;
    back.insert(0, close);
  };
  if (IsOn(row.pre_br)) wrap("<br/>", "");
  if (IsOn(row.post_br)) wrap("", "<br/>");
  if (IsOn(row.leave_tag)) wrap(LeaveTagOpen(row.tag), LeaveTagClose(row.tag));
  if (!row.indent.empty()) {
    wrap(fmt::format("<p><indent val=\"{}\"/>", row.indent), "</p><indent val=\"1\"/>");
  }
  if (IsOn(row.pre_sp)) wrap(kNoBreakSpace, "");
  if (IsOn(row.post_sp)) wrap("", kNoBreakSpace);
  if (!row.pre_text.empty()) wrap(row.pre_text, "");
  if (!row.post_text.empty()) wrap("", row.post_text);
  if (IsOn(row.bold)) wrap("<b>", "</b>");
  if (IsOn(row.italic)) wrap("<i>", "</i>");
  if (IsOn(row.sup)) wrap("<sup>", "</sup>");
  if (IsOn(row.sub)) wrap("<sub>", "</sub>");

  if (IsOn(row.upper_case)) {
    wrap("", kUpperContent);
  } else if (IsOn(row.lower_case)) {
    wrap("", kLowerContent);
  } else {
    wrap("", kApplyContent);
  }
  return front + back;
}

std::string TemplateTextForTag(const std::string& db_path, const std::string& tag_key) {
  if (db_path.empty() || !FileExists(db_path)) return {};

  // The case options and the indent are not read: this view never shows them.
  static constexpr int kRead[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16};
  std::string sql = "select ";
  for (int k : kRead) {
    if (k != kRead[0]) sql += ",";
    sql += fmt::format("[{}]", kRuleColumns[k]);
  }
  sql += " from [xsl] where [tag]=? COLLATE NOCASE";

  RuleRow row;
  {
    store::Connection db(db_path);
    store::Statement select = db.Prepare(sql);
    select.BindText(1, tag_key);
    if (select.Step()) {
      for (int c = 0; c < static_cast<int>(std::size(kRead)); ++c) {
        RuleText(row, kRead[c]) = TrimControl(select.Text(c));
      }
    }
  }
  if (!row.custom_xsl.empty()) return row.custom_xsl;
  return TemplateLine(row);
}

}  // namespace tavex
