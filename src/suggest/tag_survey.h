// The survey behind the rule suggestion: what each tag key of the entries looks like,
// measured over the entries themselves. Nothing here knows a tag of any one disc; each
// figure is structure (where an element stands, what it holds) or content (what its
// text and attribute values are, measured against the disc's topic ids and recordings).
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "suggest/disc_facts.h"
#include "xml/xml.h"

namespace tavex::suggest {

// The keyword element of a derived form, as the format names it for every disc.
inline constexpr const char* kDerivedTag = "dr";

// What the values of one attribute of a tag key turned out to be.
struct AttributeProfile {
  int values = 0;          // elements that carry the attribute
  int topic_hits = 0;      // values that are another entry's id
  int uk_hits = 0;         // values naming a recording of uk_pron
  int us_hits = 0;         // values naming a recording of us_pron
  int bundle_names = 0;    // values that are a bundle's name ("us_pron")
  int bundle_folders = 0;  // values whose folder is a bundle ("uk_pron/a.mp3")
  // Values on an element that names its bundle (in this or another attribute): how many,
  // and how many name a recording of that bundle; then the others' hits per bundle.
  int named = 0;
  int named_hits = 0;
  int unnamed_uk_hits = 0;
  int unnamed_us_hits = 0;
  std::set<std::string> samples;  // a few distinct values, for hints
};

// The measured shape of one tag key; every count is of elements with that key.
struct TagProfile {
  std::string key;
  int count = 0;
  int leaves = 0;                // without element children
  int with_text = 0;             // with text somewhere in them
  int in_mixed = 0;              // inside a parent that has text of its own between elements
  int own_text = 0;              // with text of their own (a leaf's text, or mixed content)
  int sentences = 0;             // text of five words or more, or ending like a sentence
  int digits = 0;                // text of digits only
  int id_texts = 0;              // text that is an entry id of the topic table
  long long words = 0;           // words of their text, summed
  long long chars = 0;           // bytes of their text, summed
  int repeated = 0;              // next to a sibling with the same key
  int top_level = 0;             // children of the entry's root element
  int titles = 0;                // the entry's title element: the first whose text is the title
  int holds_title = 0;           // an ancestor of the title element
  int after_title = 0;           // a sibling standing after the title element, or inside it
  int after_sentence = 0;        // after a sibling whose own text is a sentence, or inside one such
  int with_title = 0;            // own text that holds the entry's title (examples use the headword)
  int after_letter = 0;          // right after a letter of its parent's text, no blank between
  int after_digit = 0;           // right after a digit of its parent's text
  int last = 0;                  // the last element of its parent
  int production = 0;            // own text like production data: codes, dates, initials, marks
  int derived_first = 0;         // whose first element child is a derived form (a dr keyword)
  int reshown = 0;               // a side panel the root template shows again at the end
  int reshown_parent = 0;        // the parent of such a side panel
  std::set<std::string> values;  // distinct texts, up to kMaxValues
  bool many_values = false;      // more distinct texts than kMaxValues
  std::map<std::string, AttributeProfile> attributes;
  std::set<std::string> child_keys;     // keys of the element children met
  std::set<std::string> before;         // a few short texts of the siblings before them (labels)
  std::map<std::string, int> previous;  // keys of the element sibling right before them

  static constexpr std::size_t kMaxValues = 64;
  // Share of the elements for which a count holds (0 to 1).
  double Share(int n) const { return count == 0 ? 0.0 : static_cast<double>(n) / count; }
};

// Collects profiles entry by entry; keys in order of first appearance.
class TagSurvey {
 public:
  // `facts` must outlive every AddEntry call.
  explicit TagSurvey(const DiscFacts& facts) : facts_(&facts) {}
  // Measures the elements below `root` (not the root itself). `title` is the entry's
  // title text (its TEXTTITLE); empty when it has none.
  void AddEntry(const xml::Node& root, std::string_view title);
  const std::vector<TagProfile>& profiles() const { return profiles_; }
  // The profile of `key`, or null.
  const TagProfile* Find(const std::string& key) const;
  int entries() const { return entries_; }

 private:
  TagProfile& ProfileOf(const std::string& key);
  // What one entry's walk knows while it measures an element.
  struct Walk;
  // Where an element stands among its siblings and in its parent's text.
  struct Place;
  // Measures each element child of `parent` in turn; `counts` holds how often each
  // child's tag stands among them; `inside_sentence` tells that the parent follows a
  // sentence. Returns the parent's text (its descendants' text nodes).
  std::string MeasureChildren(const xml::Node& parent, Walk& walk, bool top_level, bool parent_mixed,
                              bool inside_sentence, const std::map<std::string, int>& counts);
  // Measures `element` and its descendants; returns its text.
  std::string Measure(const xml::Node& element, Walk& walk, const Place& place);
  // Measures the attributes of `element`, an element of the entry `entry_id`.
  void MeasureAttributes(const xml::Node& element, const std::string& entry_id, TagProfile& profile);

  const DiscFacts* facts_;
  std::vector<TagProfile> profiles_;
  std::unordered_map<std::string, std::size_t> position_;
  int entries_ = 0;
};

// The words of a text: runs of characters between ASCII blanks.
int CountWords(std::string_view text);

}  // namespace tavex::suggest
