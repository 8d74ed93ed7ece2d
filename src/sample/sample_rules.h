// The sample rules: an xsl_data.xml exchange file with a formatting rule for every
// tag key the sample entries use. It shows what a rule can do: bold headwords,
// italic parts of speech, indented senses, side panels moved to the end, dropped
// elements, spans styled by class, links between entries and recording links.
#pragma once

#include <string>
#include <vector>

#include "sample/sample_variant.h"

namespace tavex::sample {

// One row of the tag rule table as the exchange file carries it. Flags are "1" or "0".
struct SampleRule {
  std::string tag;
  std::string apply_templates = "1";
  std::string leave_tag = "0";
  std::string bold = "0";
  std::string italic = "0";
  std::string sup = "0";
  std::string sub = "0";
  std::string pre_br = "0";
  std::string post_br = "0";
  std::string pre_sp = "0";
  std::string post_sp = "0";
  std::string pre_text;
  std::string post_text;
  std::string upper_case = "0";
  std::string lower_case = "0";
  std::string indent;
  std::string custom_xsl;  // one XSLT template on one line, or empty
};

// The rules in file order. A custom_xsl template may use the prefixes xsl and
// user (namespace "urn:user-scripts", which offers mp3_wav).
// A variant's rules do for its entries what the standard rules do for the standard ones,
// under the variant's element names.
std::vector<SampleRule> SampleRules(SampleVariant variant = SampleVariant::kStandard);

// The whole exchange file: the Shift_JIS declaration, root, one tags element per rule
// with its twenty column elements (total_count 0, first_index −1). Only ASCII bytes,
// with character references for the rest, so the text is valid Shift_JIS as it is.
std::string SampleRulesXml(SampleVariant variant = SampleVariant::kStandard);

// Writes SampleRulesXml(variant) to `path`. Throws Error naming the file.
void WriteSampleRules(const std::string& path, SampleVariant variant = SampleVariant::kStandard);

}  // namespace tavex::sample
