// Turning the survey of a disc's tag keys into format columns.
#include "suggest/suggest_rules.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <set>
#include <unordered_map>

#include "analysis/entry_walk.h"
#include "text/text.h"
#include "stylesheet/template_line.h"

namespace tavex::suggest {
namespace {

// The keyword elements every disc has: the search keys of an entry. Variants, derived
// words, idioms and phrasal verbs are headwords of their own and set in bold;
// inflected forms in italics.
constexpr std::array<const char*, 4> kBoldKeywordTags = {"vs", "dr", "id", "pv"};
constexpr const char* kInflectionTag = "inflection";

// Words in tag names, attribute values and labels that tell a British from an American
// recording ("NAmE" is North American English).
const std::set<std::string> kUkWords = {"uk", "gb", "br", "bre", "brit", "british", "england"};
const std::set<std::string> kUsWords = {"us", "am", "ame", "nam", "name", "usa", "american", "america"};

constexpr const char* kNoBreakSpace = "<xsl:text disable-output-escaping=\"yes\">&amp;nbsp;</xsl:text>";

// The lower-case words of a text: runs of ASCII letters and digits.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

// +1 for each British hint, -1 for each American one, in the key and the other attributes.
int CountryHint(const TagProfile& profile, const std::string& sound_attribute) {
  int hint = 0;
  auto weigh = [&hint](std::string_view text) {
    for (const std::string& word : Words(text)) {
      if (kUkWords.contains(word)) ++hint;
      if (kUsWords.contains(word)) --hint;
    }
  };
  weigh(profile.key);
  for (const auto& [name, attribute] : profile.attributes) {
    if (name == sound_attribute) continue;
    for (const std::string& value : attribute.samples) weigh(value);
  }
  // Then the labels before the element ("BrE", "NAmE"), when the rest says nothing.
  if (hint == 0) {
    for (const std::string& text : profile.before) weigh(text);
  }
  return hint;
}

// The attribute most of whose values pass `hits`, if any holds for at least half of
// the elements that carry it.
template <typename Hits>
const std::string* BestAttribute(const TagProfile& profile, Hits&& hits) {
  const std::string* best = nullptr;
  int best_hits = 0;
  for (const auto& [name, attribute] : profile.attributes) {
    const int n = hits(attribute);
    if (n > best_hits && 2 * n >= attribute.values) {
      best = &name;
      best_hits = n;
    }
  }
  return best;
}

// The XPath of an attribute: by its name, or for a prefixed name (whose namespace the
// stylesheet does not declare) by a test of its name.
std::string AttributePath(const std::string& name) {
  if (name.find(':') == std::string::npos) return "@" + name;
  return "@*[name()='" + name + "']";
}

std::string SoundTemplate(const TagProfile& profile, const std::string& attribute) {
  const AttributeProfile& values = profile.attributes.at(attribute);
  // Only one table holds most of the names: that one; both hold them: the hints decide.
  bool uk = values.uk_hits > values.us_hits;
  if (values.uk_hits == values.us_hits ||
      std::min(values.uk_hits, values.us_hits) * 2 > std::max(values.uk_hits, values.us_hits)) {
    const int hint = CountryHint(profile, attribute);
    if (hint != 0) uk = hint > 0;
  }
  // A leading "/" lets mp3_wav find the file name whether or not the value has a folder.
  return fmt::format(
      "<xsl:template match=\"{}\"><a href=\"{{user:mp3_wav(concat('/', {}), "
      "'{}')}}\">{}</a>{}</xsl:template>",
      MatchPattern(profile.key), AttributePath(attribute), uk ? "uk_pron" : "us_pron", uk ? "UK" : "US",
      kNoBreakSpace);
}

std::string LinkTemplate(const TagProfile& profile, const std::string& attribute) {
  // The link pass of the book reads exactly <A topic="id">text</A> on one line.
  const bool has_text = 2 * profile.with_text >= profile.count;
  return fmt::format(
      "<xsl:template match=\"{}\"><A topic=\"{{{}}}\"><xsl:value-of select=\"{}\"/></A></xsl:template>",
      MatchPattern(profile.key), AttributePath(attribute), has_text ? "." : AttributePath(attribute));
}

// What the survey says of every key, read once.
class Reading {
 public:
  explicit Reading(const TagSurvey& survey) : survey_(survey) {
    int best = 0;
    for (const TagProfile& profile : survey.profiles()) {
      if (profile.titles > best) {
        best = profile.titles;
        headword_ = profile.key;
      }
    }
    // A key that holds the title in a few entries only is no headword.
    if (10 * best < 3 * survey.entries()) headword_.clear();
    FindBlocks();
  }

  RuleRow Rule(const TagProfile& p) const {
    RuleRow row;
    row.tag = p.key;
    row.apply_templates = "1";
    const std::string* sound =
        BestAttribute(p, [](const AttributeProfile& a) { return std::max(a.uk_hits, a.us_hits); });
    if (sound != nullptr) {
      row.custom_xsl = SoundTemplate(p, *sound);
      return row;
    }
    const std::string* link = BestAttribute(p, [](const AttributeProfile& a) { return a.topic_hits; });
    if (link != nullptr) {
      row.custom_xsl = LinkTemplate(p, *link);
      return row;
    }
    // The root template shows these side panels after the body: not where they stand too.
    if (p.reshown_parent > 0 && p.reshown == 0 && 2 * p.reshown_parent >= p.count) {
      row.apply_templates = "0";
      return row;
    }
    // Text that is only entry ids is metadata, not for reading.
    if (p.own_text > 0 && 10 * p.id_texts >= 9 * p.own_text && p.leaves == p.count) {
      row.apply_templates = "0";
      return row;
    }

    const bool inline_in_text = 2 * p.in_mixed >= p.count;
    // Elements that hold their text themselves (leaves, or text around a few inline elements).
    const bool text_leaf = p.own_text > 0 && 10 * p.own_text >= 9 * p.count;
    if (p.key == headword_) {
      row.bold = "1";
      row.post_sp = "1";
    } else if (IsBoldKeyword(p.key)) {
      row.bold = "1";
      if (!inline_in_text) row.post_sp = "1";
    } else if (p.key == kInflectionTag) {
      row.italic = "1";
      if (!inline_in_text) row.post_sp = "1";
    } else if (text_leaf && !inline_in_text) {
      const double words = static_cast<double>(p.words) / p.own_text;
      const double chars = static_cast<double>(p.chars) / p.own_text;
      const bool closed = !p.many_values && static_cast<int>(p.values.size()) <= std::max(12, p.own_text / 5);
      if (10 * p.digits >= 9 * p.own_text) {
        // A number right after the headword tells homographs apart; elsewhere it counts senses.
        (2 * p.after_title >= p.count ? row.sup : row.bold) = "1";
      } else if (words <= 3 && chars <= 24 && closed) {
        row.italic = "1";  // a label from a small set: part of speech, region, register
      }
      row.post_sp = "1";
    }
    if (2 * p.holds_title >= p.count && p.holds_title > 0) {
      // The part that holds the headword ends the first line; it never opens one, so
      // that the body starts with the headword.
      if (2 * p.top_level >= p.count) row.post_br = "1";
    } else if (p.key != headword_ && blocks_.contains(p.key)) {
      row.pre_br = "1";
    }
    return row;
  }

 private:
  static bool IsBoldKeyword(const std::string& key) {
    return std::find(kBoldKeywordTags.begin(), kBoldKeywordTags.end(), key) != kBoldKeywordTags.end();
  }

  // Keys that start a line: the entry's parts, side panels shown at the end, groups
  // repeated side by side, sentences, and whatever holds one of these.
  void FindBlocks() {
    for (const TagProfile& p : survey_.profiles()) {
      const bool inline_in_text = 2 * p.in_mixed >= p.count;
      const bool leaf = 10 * p.leaves >= 9 * p.count;
      const bool sentences = p.own_text > 0 && 2 * p.sentences >= p.own_text;
      if (2 * p.top_level >= p.count || (2 * p.reshown >= p.count && p.reshown > 0) ||
          (!leaf && 10 * p.repeated >= 3 * p.count) || (sentences && !inline_in_text)) {
        blocks_.insert(p.key);
      }
    }
    for (bool grew = true; grew;) {
      grew = false;
      for (const TagProfile& p : survey_.profiles()) {
        if (blocks_.contains(p.key) || 2 * p.in_mixed >= p.count) continue;
        for (const std::string& child : p.child_keys) {
          const TagProfile* c = survey_.Find(child);
          if (c != nullptr && blocks_.contains(child) && c->reshown_parent == 0) {
            blocks_.insert(p.key);
            grew = true;
            break;
          }
        }
      }
    }
  }

  const TagSurvey& survey_;
  std::string headword_;
  std::set<std::string> blocks_;
};

}  // namespace

TagSurvey SurveyEntries(store::Connection& db, const DiscFacts& facts, Progress& progress) {
  TagSurvey survey(facts);
  store::Statement count = db.Prepare("select count(*) from [fs_skn]");
  count.Step();
  const std::int64_t rows = count.Int(0);
  const std::int64_t stride = std::max<std::int64_t>(1, (rows + kMaxSurveyed - 1) / kMaxSurveyed);
  ProgressLoop loop(progress, static_cast<int>((rows + stride - 1) / stride), "rule推定中");
  const bool has_title = [&] {
    for (const std::string& column : db.Columns("fs_skn")) {
      if (EqualsIgnoreAsciiCase(column, "TEXTTITLE")) return true;
    }
    return false;
  }();
  store::Statement entries = db.Prepare(has_title ? "select [CONTENT_text],[TEXTTITLE] from [fs_skn]"
                                                  : "select [CONTENT_text],'' from [fs_skn]");
  xml::Document doc;
  for (std::int64_t i = 0; entries.Step(); ++i) {
    if (i % stride != 0) continue;
    if (analysis::LoadEntryDocument(entries.Text(0), doc))
      survey.AddEntry(doc.DocumentElement(), entries.Text(1));
    loop.Step();
  }
  return survey;
}

void SuggestFormats(const TagSurvey& survey, std::vector<RuleRow>& rows) {
  const Reading reading(survey);
  for (RuleRow& row : rows) {
    const TagProfile* profile = survey.Find(row.tag);
    if (profile != nullptr) row = reading.Rule(*profile);
  }
}

int ApplySuggestedRules(store::Connection& db, const DiscFacts& facts, Progress& progress) {
  std::vector<std::int64_t> indexes;
  std::vector<RuleRow> rows;
  {
    store::Statement select = db.Prepare("select [index],[tag] from [xsl]");
    while (select.Step()) {
      indexes.push_back(select.Int(0));
      rows.emplace_back().tag = select.Text(1);
    }
  }
  const std::vector<RuleRow> before = rows;
  SuggestFormats(SurveyEntries(db, facts, progress), rows);
  std::string sql = "update [xsl] set ";
  for (int column = 1; column < kRuleRowSize; ++column) {
    sql += fmt::format("{}[{}]=?{}", column > 1 ? "," : "", kRuleColumns[column], column);
  }
  sql += fmt::format(" where [index]=?{}", kRuleRowSize);
  store::Statement update = db.Prepare(sql);
  int changed = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].apply_templates.empty()) continue;  // a key the survey never met
    for (int column = 1; column < kRuleRowSize; ++column) {
      const std::string& text = RuleText(rows[r], column);
      if (text.empty()) {
        update.BindNull(column);
      } else {
        update.BindText(column, text);
      }
    }
    update.BindInt(kRuleRowSize, indexes[r]);
    update.Run();
    update.Reset();
    ++changed;
  }
  return changed;
}

namespace {

template <typename Hits>
std::vector<AttributeUse> AttributesWhere(const TagSurvey& survey, Hits&& hits) {
  std::vector<AttributeUse> uses;
  for (const TagProfile& profile : survey.profiles()) {
    if (const std::string* name = BestAttribute(profile, hits); name != nullptr) {
      uses.push_back({profile.key, *name, profile.attributes.at(*name).values});
    }
  }
  std::stable_sort(uses.begin(), uses.end(),
                   [](const AttributeUse& a, const AttributeUse& b) { return a.count > b.count; });
  return uses;
}

}  // namespace

std::vector<AttributeUse> ReferenceAttributes(const TagSurvey& survey) {
  return AttributesWhere(survey, [](const AttributeProfile& a) { return a.topic_hits; });
}

std::vector<AttributeUse> SoundAttributes(const TagSurvey& survey) {
  return AttributesWhere(survey, [](const AttributeProfile& a) { return std::max(a.uk_hits, a.us_hits); });
}

std::string SuggestedRulesNote() {
  return "no xsl_data.xml: the tag rules were suggested from the disc's own structure; tune them in the "
         "window's tag editor (xsl edit), or write them with `tavex2epwing suggest-rules FILE`, edit the "
         "file and "
         "load it with `import xsl FILE` or as xsl_data.xml";
}

}  // namespace tavex::suggest
