// The rule rows of the sample rules file and their exchange format.
#include "sample/sample_rules.h"

#include <fmt/format.h>

#include "sample/bundle_writer.h"

namespace tavex::sample {
namespace {

// Escapes markup characters and writes every non-ASCII character as a reference.
std::string ExchangeText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '&')
        out += "&amp;";
      else if (c == '<')
        out += "&lt;";
      else if (c == '>')
        out += "&gt;";
      else
        out += static_cast<char>(c);
      ++i;
      continue;
    }
    int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    std::uint32_t code = c & (0xFF >> (length + 1));
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    out += fmt::format("&#x{:X};", code);
    i += static_cast<std::size_t>(length);
  }
  return out;
}

SampleRule Rule(std::string tag) {
  SampleRule rule;
  rule.tag = std::move(tag);
  return rule;
}

std::string SoundTemplate(const char* tag, const char* folder, const char* label) {
  return fmt::format(
      "<xsl:template match=\"{}\"><xsl:text> </xsl:text><a href=\"{{user:mp3_wav(@path, "
      "'{}')}}\">{}</a></xsl:template>",
      tag, folder, label);
}

// One sound element for both accents: the bundle from the element, and its label.
std::string VariantSoundTemplate(SampleVariant variant) {
  const bool in_path = variant == SampleVariant::kBundlePath;
  return fmt::format(
      "<xsl:template match=\"snd\"><xsl:text> </xsl:text><a href=\"{{user:mp3_wav({}, {})}}\"><xsl:choose>"
      "<xsl:when test=\"{}\">US</xsl:when><xsl:otherwise>UK</xsl:otherwise></xsl:choose></a></xsl:template>",
      in_path ? "concat('/', @path)" : "@path", in_path ? "substring-before(@path, '/')" : "@set",
      in_path ? "starts-with(@path, 'us_pron/')" : "@set='us_pron'");
}

}  // namespace

std::vector<SampleRule> SampleRules(SampleVariant variant) {
  std::vector<SampleRule> rules;
  auto add = [&rules](std::string tag) -> SampleRule& {
    rules.push_back(Rule(std::move(tag)));
    return rules.back();
  };
  add("h-g");
  add("top-g").post_br = "1";
  add("h").bold = "1";
  add("hm").sup = "1";
  add("pron-g").pre_sp = "1";
  {
    // Spaced on both sides: "UK" and "NAmE" stay apart, with a recording or without.
    SampleRule& r = add("geo");
    r.italic = "1";
    r.pre_sp = "1";
    r.post_sp = "1";
  }
  {
    SampleRule& r = add("phon");
    r.pre_text = "/";
    r.post_text = "/";
  }
  add("snd-uk").custom_xsl = SoundTemplate("snd-uk", "uk_pron", "UK");
  add("snd-us").custom_xsl = SoundTemplate("snd-us", "us_pron", "US");
  // Side panels are dropped where they stand; the main template shows them at the end.
  add("side-g").apply_templates = "0";
  {
    SampleRule& r = add("side-panel");
    r.pre_br = "1";
    r.indent = "3";
  }
  {
    SampleRule& r = add("title");
    r.bold = "1";
    r.post_br = "1";
  }
  add("p");
  {
    SampleRule& r = add("infl-g");
    r.pre_sp = "1";
    r.pre_text = "(";
    r.post_text = ")";
  }
  // A space between inflections only, so that none stands before the closing ")".
  add("inflection").custom_xsl =
      "<xsl:template match=\"inflection\"><xsl:if test=\"preceding-sibling::inflection\"><xsl:text> "
      "</xsl:text></xsl:if><i><xsl:apply-templates/></i></xsl:template>";
  add("vs-g").pre_sp = "1";
  add("span class=\"\"").post_sp = "1";
  add("vs").bold = "1";
  add("p-g").pre_br = "1";
  {
    SampleRule& r = add("pos");
    r.italic = "1";
    r.post_sp = "1";
  }
  {
    SampleRule& r = add("gram");
    r.pre_text = "[";
    r.post_text = "]";
  }
  add("sn-g").indent = "2";
  {
    SampleRule& r = add("sn");
    r.bold = "1";
    r.post_sp = "1";
  }
  {
    SampleRule& r = add("span class=\"lab\"");
    r.italic = "1";
    r.pre_text = "(";
    r.post_text = ")";
    r.post_sp = "1";
  }
  add("def");
  add("x-g").pre_br = "1";
  add("x").italic = "1";
  add("span class=\"hl\"").bold = "1";
  {
    SampleRule& r = add("xr");
    r.pre_br = "1";
    r.pre_text = "→";
  }
  {
    SampleRule& r = add("span class=\"sc\"");
    r.upper_case = "1";
    r.pre_sp = "1";
    r.post_sp = "1";
  }
  // The book's link pass expects exactly <A topic="id">text</A> on one line.
  add("x-ref").custom_xsl =
      "<xsl:template match=\"x-ref\"><A topic=\"{@topic}\"><xsl:value-of select=\".\"/></A></xsl:template>";
  add("sup").leave_tag = "1";
  add("inf").sub = "1";
  add("id-g").pre_br = "1";
  {
    SampleRule& r = add("id");
    r.bold = "1";
    r.post_sp = "1";
  }
  add("pv-g").pre_br = "1";
  {
    SampleRule& r = add("pv");
    r.bold = "1";
    r.post_sp = "1";
  }
  {
    SampleRule& r = add("dr-g");
    r.pre_br = "1";
    r.pre_text = "—";
  }
  {
    SampleRule& r = add("dr");
    r.bold = "1";
    r.pre_sp = "1";
    r.post_sp = "1";
  }
  add("editor-note").apply_templates = "0";
  if (variant == SampleVariant::kStandard) return rules;

  std::vector<SampleRule> renamed;
  for (SampleRule& rule : rules) {
    if (rule.tag == "snd-us") continue;
    // leave_tag would write the variant's name, which is no HTML.
    if (rule.tag == "sup") {
      rule.leave_tag = "0";
      rule.sup = "1";
    }
    if (rule.tag == "snd-uk") {
      rule.tag = "snd";
      rule.custom_xsl = VariantSoundTemplate(variant);
    }
    // A key is an element name, with a class after a space for spans.
    const std::size_t space = rule.tag.find(' ');
    rule.tag = VariantTag(variant, rule.tag.substr(0, space)) +
               (space == std::string::npos ? std::string() : rule.tag.substr(space));
    rule.custom_xsl = RenameElements(variant, rule.custom_xsl);
    renamed.push_back(std::move(rule));
  }
  renamed.push_back(Rule(VariantTag(variant, "usage-note")));
  renamed.back().pre_br = "1";
  return renamed;
}

std::string SampleRulesXml(SampleVariant variant) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<root>\n";
  int index = 0;
  for (const SampleRule& r : SampleRules(variant)) {
    const std::pair<const char*, std::string> columns[] = {{"index", std::to_string(++index)},
                                                           {"tag", r.tag},
                                                           {"apply_templates", r.apply_templates},
                                                           {"leave_tag", r.leave_tag},
                                                           {"bold", r.bold},
                                                           {"italic", r.italic},
                                                           {"sup", r.sup},
                                                           {"sub", r.sub},
                                                           {"pre_br", r.pre_br},
                                                           {"post_br", r.post_br},
                                                           {"pre_sp", r.pre_sp},
                                                           {"post_sp", r.post_sp},
                                                           {"pre_text", r.pre_text},
                                                           {"post_text", r.post_text},
                                                           {"upper_case", r.upper_case},
                                                           {"lower_case", r.lower_case},
                                                           {"indent", r.indent},
                                                           {"custom_xsl", r.custom_xsl},
                                                           {"total_count", "0"},
                                                           {"first_index", "-1"}};
    xml += "<tags>";
    for (const auto& [name, value] : columns) {
      xml += fmt::format("<{0}>{1}</{0}>", name, ExchangeText(value));
    }
    xml += "</tags>\n";
  }
  xml += "</root>\n";
  return xml;
}

void WriteSampleRules(const std::string& path, SampleVariant variant) {
  OutputFile file(path);
  file.Write(SampleRulesXml(variant));
  file.Close();
}

}  // namespace tavex::sample
