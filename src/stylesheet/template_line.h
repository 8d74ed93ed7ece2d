// One XSLT template per tag rule: the rule by which a row of options becomes the
// template line of the main stylesheet, and the single-tag text the tag editor shows.
#pragma once

#include <string>
#include <string_view>

#include "stylesheet/rule_row.h"

namespace tavex {

// The pattern written in a template's match attribute for a tag key. A key of the form
// span class="x" (which has quotes of its own) becomes span[@class='x'], and the key
// span class="" becomes span[not(@class) or @class='']; every other key stands as it is.
std::string MatchPattern(std::string_view tag_key);

// The start and end tags that `leave_tag` wraps around the output: <tag> and </tag>,
// or <span class="x"> and </span> for a span key.
std::string LeaveTagOpen(std::string_view tag_key);
std::string LeaveTagClose(std::string_view tag_key);

// The template of one rule row on one line (UTF-8): the empty template when
// `apply_templates` is off, otherwise the options wrapped around the content in their
// fixed order, the first applied outermost.
std::string TemplateLine(const RuleRow& row);

// What the tag editor shows for one tag key: the row of `xsl` whose tag equals the key
// (ASCII letter case ignored), its values trimmed, without the case options and the
// indent; the row's custom_xsl when it has one. A key without a row gives
// <xsl:template match=""></xsl:template>. Empty when `db_path` is empty or no file
// exists there. Throws Error on a database fault (a missing table included).
std::string TemplateTextForTag(const std::string& db_path, const std::string& tag_key);

}  // namespace tavex
