// Turning the survey of a disc's tag keys into format columns.
#include "suggest/suggest_rules.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <set>

#include "analysis/entry_walk.h"
#include "text/text.h"
#include "stylesheet/template_line.h"
#include "suggest/sound_rule.h"

namespace tavex::suggest {
namespace {

// The keyword elements every disc has: the search keys of an entry. Variants, derived
// words, idioms and phrasal verbs are headwords of their own and set in bold;
// inflected forms in italics.
constexpr std::array<const char*, 4> kBoldKeywordTags = {"vs", "dr", "id", "pv"};
constexpr const char* kInflectionTag = "inflection";

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

std::string LinkTemplate(const TagProfile& profile, const std::string& attribute) {
  // The link pass of the book reads exactly <A topic="id">text</A> on one line.
  const bool has_text = 2 * profile.with_text >= profile.count;
  return fmt::format(
      "<xsl:template match=\"{}\"><A topic=\"{{{}}}\"><xsl:value-of select=\"{}\"/></A></xsl:template>",
      MatchPattern(profile.key), AttributePath(attribute), has_text ? "." : AttributePath(attribute));
}

// Production notes: leaves with text like codes, dates, initials or review marks, few
// distinct texts repeated across entries, standing last in their parent.
bool IsEditorial(const TagProfile& p) {
  return p.own_text > 0 && 10 * p.own_text >= 9 * p.count && 10 * p.leaves >= 9 * p.count &&
         2 * p.in_mixed < p.count && p.holds_title == 0 && p.titles == 0 && 2 * p.production >= p.own_text &&
         10 * p.last >= 8 * p.count && !p.many_values &&
         2 * p.values.size() <= static_cast<std::size_t>(p.own_text);
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
      row.custom_xsl = SoundTemplate(p, PlanSound(p, *sound));
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
    if (!IsKeyword(p.key) && IsEditorial(p)) {
      row.apply_templates = "0";
      return row;
    }

    const bool inline_in_text = 2 * p.in_mixed >= p.count;
    // Elements that hold their text themselves (leaves, or text around a few inline elements).
    const bool text_leaf = p.own_text > 0 && 10 * p.own_text >= 9 * p.count;
    const bool number = p.own_text > 0 && 10 * p.digits >= 9 * p.own_text && 10 * p.leaves >= 9 * p.count;
    if (p.key == headword_) {
      row.bold = "1";
      row.post_sp = "1";
    } else if (number && 2 * p.after_title >= p.count) {
      row.sup = "1";  // a number right after the headword tells homographs apart
      if (!inline_in_text) row.post_sp = "1";
    } else if (number && inline_in_text) {
      // Digits inside text: a power after a digit ("10³"), an index after a letter ("H₂O").
      if (2 * p.after_digit >= p.count) {
        row.sup = "1";
      } else if (2 * p.after_letter >= p.count) {
        row.sub = "1";
      }
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
      if (number) {
        row.bold = "1";  // elsewhere a number counts senses
      } else if (words <= 3 && chars <= 24 && closed) {
        row.italic = "1";  // a label from a small set: part of speech, region, register
      } else if (IsExample(p)) {
        row.italic = "1";
      }
      row.post_sp = "1";
    }
    if (2 * p.holds_title >= p.count && p.holds_title > 0) {
      // The part that holds the headword ends the first line, and so does the innermost
      // such part that other parts follow; it never opens one, so that the body starts
      // with the headword.
      if (2 * p.top_level >= p.count || (2 * p.last < p.count && !HoldsTitlePart(p))) row.post_br = "1";
    } else if (p.key != headword_ && blocks_.contains(p.key) && !ContinuesLine(p)) {
      row.pre_br = "1";
      // A derived form starts its line after a dash.
      if (p.key == kDerivedTag || 2 * p.derived_first >= p.count) row.pre_text = "\u2014 ";
    }
    return row;
  }

  // The keys hidden as production notes.
  std::vector<const TagProfile*> Editorial() const {
    std::vector<const TagProfile*> hidden;
    for (const TagProfile& p : survey_.profiles()) {
      if (Rule(p).apply_templates == "0" && !IsKeyword(p.key) && IsEditorial(p)) hidden.push_back(&p);
    }
    return hidden;
  }

 private:
  static bool IsBoldKeyword(const std::string& key) {
    return std::find(kBoldKeywordTags.begin(), kBoldKeywordTags.end(), key) != kBoldKeywordTags.end();
  }
  static bool IsKeyword(const std::string& key) { return IsBoldKeyword(key) || key == kInflectionTag; }

  // Sentences after a sentence of their level that use the headword: examples.
  static bool IsExample(const TagProfile& p) {
    return p.own_text > 0 && 2 * p.sentences >= p.own_text && 2 * p.after_sentence >= p.count &&
           2 * p.with_title >= p.own_text;
  }

  // How many of the key's elements follow a sibling of a key in (or out of) the blocks.
  int AfterBlocks(const TagProfile& p, bool in_blocks) const {
    int n = 0;
    for (const auto& [key, count] : p.previous) {
      if (blocks_.contains(key) == in_blocks) n += count;
    }
    return n;
  }

  // A sense number or a keyword opens the line the text after it stays on.
  bool OpensLine(const std::string& key) const {
    const TagProfile* p = survey_.Find(key);
    if (p == nullptr) return false;
    return IsKeyword(key) || (p->own_text > 0 && 10 * p->digits >= 9 * p->own_text);
  }

  // Text after a sense number or a keyword (and the labels after them) continues their
  // line, as a definition stays on the line of its sense number; groups start their own.
  bool ContinuesLine(const TagProfile& p) const {
    if (2 * p.own_text < p.count) return false;
    int n = 0;
    for (const auto& [key, count] : p.previous) {
      const TagProfile* before = survey_.Find(key);
      if (before == nullptr || blocks_.contains(key)) continue;
      int opened = OpensLine(key) ? before->count : 0;
      for (const auto& [key2, count2] : before->previous) {
        if (OpensLine(key2)) opened += count2;
      }
      if (2 * opened >= before->count) n += count;
    }
    return 2 * n > p.count;
  }

  // Keys that start a line: the entry's parts, side panels shown at the end, groups
  // repeated side by side, sentences, what follows one of these among its siblings (a
  // derived form or a note after the examples), and whatever holds one of these.
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
        if (blocks_.contains(p.key) || 2 * p.in_mixed >= p.count || p.holds_title > 0 || p.titles > 0)
          continue;
        bool block = false;
        for (const std::string& child : p.child_keys) {
          const TagProfile* c = survey_.Find(child);
          if (c != nullptr && blocks_.contains(child) && c->reshown_parent == 0) block = true;
        }
        // After the blocks of its parent: not a number or label of theirs, which come
        // first, nor what the title's part is followed by on the first line.
        const bool number = p.own_text > 0 && 10 * p.digits >= 9 * p.own_text;
        if (!number && 2 * AfterBlocks(p, true) > p.count && !AfterTitlePart(p) && !IsEditorial(p))
          block = true;
        if (block) {
          blocks_.insert(p.key);
          grew = true;
        }
      }
    }
  }

  // Whether a child of the key holds the title too.
  bool HoldsTitlePart(const TagProfile& p) const {
    for (const std::string& child : p.child_keys) {
      const TagProfile* c = survey_.Find(child);
      if (c != nullptr && c->holds_title > 0) return true;
    }
    return false;
  }

  // Whether most elements of the key follow the part that holds the headword.
  bool AfterTitlePart(const TagProfile& p) const {
    int n = 0;
    for (const auto& [key, count] : p.previous) {
      const TagProfile* before = survey_.Find(key);
      if (before != nullptr && before->holds_title > 0) n += count;
    }
    return 2 * n >= p.count;
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

std::vector<std::string> SuggestionNotes(const TagSurvey& survey) {
  std::vector<std::string> notes;
  for (const TagProfile& p : survey.profiles()) {
    const std::string* sound =
        BestAttribute(p, [](const AttributeProfile& a) { return std::max(a.uk_hits, a.us_hits); });
    if (sound == nullptr) continue;
    const SoundPlan plan = PlanSound(p, *sound);
    const int elements = p.attributes.at(*sound).values;
    const int linked = LinkedSounds(p, plan);
    if (linked >= elements) continue;
    notes.push_back(fmt::format(
        "the suggested rule of tag {} sends {} of its {} sound elements (attribute {}) to a recording "
        "the bundle it names does not hold: their links will be dead; `tavex2epwing check` names them",
        p.key, elements - linked, elements, *sound));
  }
  const Reading reading(survey);
  const std::vector<const TagProfile*> hidden = reading.Editorial();
  if (!hidden.empty()) {
    std::string tags;
    for (const TagProfile* p : hidden) {
      tags += fmt::format("{}{} (\"{}\")", tags.empty() ? "" : ", ", p->key,
                          p->values.empty() ? std::string() : *p->values.begin());
    }
    notes.push_back(fmt::format(
        "the suggested rules hide {} as production notes rather than dictionary text; to show one, set "
        "apply_templates to 1 in its rule in the window's tag editor (xsl edit)",
        tags));
  }
  return notes;
}

int ApplySuggestedRules(store::Connection& db, const DiscFacts& facts, Progress& progress,
                        std::vector<std::string>* notes) {
  std::vector<std::int64_t> indexes;
  std::vector<RuleRow> rows;
  {
    store::Statement select = db.Prepare("select [index],[tag] from [xsl]");
    while (select.Step()) {
      indexes.push_back(select.Int(0));
      rows.emplace_back().tag = select.Text(1);
    }
  }
  const TagSurvey survey = SurveyEntries(db, facts, progress);
  SuggestFormats(survey, rows);
  if (notes != nullptr) *notes = SuggestionNotes(survey);
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
