// The rule suggestion: format columns for every tag key of a disc, taken from what the
// disc shows of itself (see TagSurvey), so that the first book of a disc nobody has
// tuned rules for is readable. The headword starts the entry in bold; attributes that
// hold other entries' ids become links, attributes that name recordings become sounds
// in the folder of the bundle the element names, or else of the table that holds them;
// the entry's parts, repeated groups, sentences and the blocks that follow them start
// their own lines; short labels and examples are set in italics; a number after the
// headword is raised, digits inside a formula lowered; production notes are hidden;
// elements in a row are kept apart by a space. The rows stay ordinary rules: editable,
// exportable.
#pragma once

#include <string>
#include <vector>

#include "platform/progress.h"
#include "store/database.h"
#include "stylesheet/rule_row.h"
#include "suggest/disc_facts.h"
#include "suggest/tag_survey.h"

namespace tavex::suggest {

// Surveys the entries of `fs_skn` (every entry, or an even spread of kMaxSurveyed on a
// large disc), reporting "[rule推定中] n/N".
TagSurvey SurveyEntries(store::Connection& db, const DiscFacts& facts, Progress& progress);

// How many entries a survey reads at most.
inline constexpr int kMaxSurveyed = 4000;

// Sets the format columns (`apply_templates` … `custom_xsl`) of every row whose tag key
// the survey met; other rows stay as they are.
void SuggestFormats(const TagSurvey& survey, std::vector<RuleRow>& rows);

// Gives the rows of the `xsl` table their suggested formats, inside the caller's
// transaction (the table is the statistics' fresh one). Returns the rows changed; the
// suggestion's notes go into `notes` when given.
int ApplySuggestedRules(store::Connection& db, const DiscFacts& facts, Progress& progress,
                        std::vector<std::string>* notes = nullptr);

// What the user should know of the rules suggested from `survey`: sound elements whose
// rule sends them to a recording their bundle lacks, and the elements hidden as
// production notes (codes, dates, initials, review marks), with how to show them.
std::vector<std::string> SuggestionNotes(const TagSurvey& survey);

// A tag key's attribute that refers to other entries or names recordings, as the
// suggestion reads it, with the number of elements that carry it.
struct AttributeUse {
  std::string tag;
  std::string attribute;
  int count = 0;
};
// The attributes whose values are mostly other entries' ids, most used first.
std::vector<AttributeUse> ReferenceAttributes(const TagSurvey& survey);
// The attributes whose values mostly name recordings, most used first.
std::vector<AttributeUse> SoundAttributes(const TagSurvey& survey);

// The line that says where the rules came from and how to tune them.
std::string SuggestedRulesNote();

}  // namespace tavex::suggest
