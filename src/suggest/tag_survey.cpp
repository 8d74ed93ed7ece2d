// Measuring the tag keys of the entries.
#include "suggest/tag_survey.h"

#include <optional>
#include <set>
#include <unordered_set>

#include "analysis/entry_walk.h"
#include "text/text.h"
#include "stylesheet/stylesheet_files.h"

namespace tavex::suggest {
namespace {

// Elements searched for the title before giving up, so a huge entry costs little.
constexpr int kTitleSearchLimit = 400;
// Distinct attribute values kept as samples.
constexpr std::size_t kAttributeSamples = 8;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsTextNode(const xml::Node& node) {
  return node.Kind() == xml::NodeKind::kText || node.Kind() == xml::NodeKind::kCData;
}

bool HasOwnText(const xml::Node& element) {
  for (xml::Node child = element.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (IsTextNode(child) && !Trim(child.Content()).empty()) return true;
  }
  return false;
}

bool HasElementChild(const xml::Node& element) {
  for (xml::Node child = element.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.Kind() == xml::NodeKind::kElement) return true;
  }
  return false;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool LooksLikeSentence(std::string_view text) {
  if (CountWords(text) >= 5) return true;
  return !text.empty() && (text.back() == '.' || text.back() == '!' || text.back() == '?');
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The title, or the title with a homograph number after it ("bass1").
bool IsTitleText(std::string_view text, std::string_view title) {
  if (text.size() < title.size() || !EqualsIgnoreAsciiCase(text.substr(0, title.size()), title)) return false;
  return AllDigits(Trim(text.substr(title.size()))) || Trim(text.substr(title.size())).empty();
}

// Words that mark a note of the dictionary's making rather than of its text.
const std::set<std::string, std::less<>> kReviewMarks = {
    "auto",     "checked", "check", "ok",  "todo",   "rev",   "revised", "draft", "proof",  "reviewed",
    "verified", "done",    "fixme", "tbd", "edited", "print", "source",  "merge", "pending"};

// Text that reads like production data: a code, a date, initials or a review mark, and
// no sentence.
bool LooksLikeProductionData(std::string_view text) {
  if (text.empty() || text.back() == '.' || CountWords(text) > 10) return false;
  if (text.find(';') != std::string_view::npos) return true;
  std::string word;
  auto judge = [](const std::string& w) {
    bool digit = false, letter = false, upper = true;
    for (char c : w) {
      digit |= c >= '0' && c <= '9';
      letter |= IsAsciiLetter(c);
      upper &= !(c >= 'a' && c <= 'z');
    }
    const bool date = digit && (w.find('-') != std::string::npos || w.find('/') != std::string::npos);
    const bool initials = letter && !digit && upper && w.size() >= 2 && w.size() <= 3;
    return date || (digit && letter) || initials || kReviewMarks.contains(AsciiLower(w));
  };
  for (char c : std::string(text) + " ") {
    if (IsBlank(c) || c == ',' || c == ':') {
      if (!word.empty() && judge(word)) return true;
      word.clear();
    } else {
      word += c;
    }
  }
  return false;
}

// The first element in document order whose text is the title (the innermost such
// one), with its ancestors below the root; false when none is found within the search
// limit.
bool FindTitle(const xml::Node& node, std::string_view title, std::vector<void*>& path, int& budget) {
  for (xml::Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.Kind() != xml::NodeKind::kElement) continue;
    if (--budget < 0) return false;
    path.push_back(child.raw());
    if (IsTitleText(Trim(child.Text()), title)) {
      // A group that holds nothing but the headword: the element inside that holds it.
      FindTitle(child, title, path, budget);
      return true;
    }
    if (FindTitle(child, title, path, budget)) return true;
    path.pop_back();
  }
  return false;
}

// Elements reached from the root by the element names of an absolute path.
void FollowPath(const xml::Node& root, std::string_view path, std::unordered_set<void*>& found,
                std::unordered_set<void*>& parents) {
  std::vector<std::string> steps;
  for (std::size_t start = 1; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    steps.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (steps.size() < 2 || root.TagName() != steps[0]) return;
  std::vector<xml::Node> level{root};
  for (std::size_t s = 1; s < steps.size(); ++s) {
    std::vector<xml::Node> next;
    for (const xml::Node& node : level) {
      for (xml::Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
        if (child.Kind() != xml::NodeKind::kElement || child.TagName() != steps[s]) continue;
        if (s + 1 == steps.size()) {
          found.insert(child.raw());
          parents.insert(node.raw());
        }
        next.push_back(child);
      }
    }
    level = std::move(next);
  }
}

// Distinct texts kept of the siblings before an element.
constexpr std::size_t kBeforeSamples = 8;
// Sibling texts longer than this are no label.
constexpr std::size_t kLabelBytes = 24;

// The short texts of the last two element siblings met, for the labels before an element.
class Before {
 public:
  void Add(const std::string& text) {
    last_[0] = std::move(last_[1]);
    last_[1] = text.size() <= kLabelBytes ? text : std::string();
  }
  std::string Text() const { return last_[0] + " " + last_[1]; }

 private:
  std::string last_[2];
};

}  // namespace

struct TagSurvey::Walk {
  std::string entry_id;                  // the entry's own id, ASCII lower case
  std::string title_text;                // the entry's title, ASCII lower case
  void* title = nullptr;                 // the title element, if found
  std::unordered_set<void*> title_path;  // it and its ancestors below the root
  std::unordered_set<void*> reshown;     // side panels shown again at the end
  std::unordered_set<void*> reshown_parents;
};

int CountWords(std::string_view text) {
  int words = 0;
  bool in_word = false;
  for (char c : text) {
    const bool blank = IsBlank(c);
    if (!blank && !in_word) ++words;
    in_word = !blank;
  }
  return words;
}

const TagProfile* TagSurvey::Find(const std::string& key) const {
  auto it = position_.find(key);
  return it == position_.end() ? nullptr : &profiles_[it->second];
}

TagProfile& TagSurvey::ProfileOf(const std::string& key) {
  auto [it, inserted] = position_.try_emplace(key, profiles_.size());
  if (inserted) {
    TagProfile profile;
    profile.key = key;
    profiles_.push_back(std::move(profile));
  }
  return profiles_[it->second];
}

void TagSurvey::AddEntry(const xml::Node& root, std::string_view title) {
  ++entries_;
  Walk walk;
  walk.entry_id = AsciiLower(root.GetAttribute("id").value_or(std::string()));
  title = Trim(title);
  walk.title_text = AsciiLower(title);
  if (!title.empty()) {
    std::vector<void*> path;
    int budget = kTitleSearchLimit;
    if (FindTitle(root, title, path, budget)) {
      walk.title = path.back();
      walk.title_path.insert(path.begin(), path.end() - 1);
    }
  }
  for (const char* path : kSidePanelPaths) FollowPath(root, path, walk.reshown, walk.reshown_parents);

  const bool root_mixed = HasOwnText(root);
  std::map<std::string, int> siblings;
  for (xml::Node child = root.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.Kind() == xml::NodeKind::kElement) ++siblings[analysis::TagKey(child)];
  }
  MeasureChildren(root, walk, true, root_mixed, false, siblings);
}

struct TagSurvey::Place {
  bool top_level = false;
  bool parent_mixed = false;
  bool repeated = false;
  bool after_title = false;
  bool after_sentence = false;
  bool after_letter = false;
  bool after_digit = false;
  bool last = false;
  std::string before;    // the short texts of the two element siblings before it
  std::string previous;  // the key of the element sibling right before it
};

std::string TagSurvey::MeasureChildren(const xml::Node& parent, Walk& walk, bool top_level, bool parent_mixed,
                                       bool inside_sentence, const std::map<std::string, int>& counts) {
  // The parent's text is put together from its text nodes and its children's texts, so
  // each element's text is gathered once, not once for every element above it.
  std::string text;
  Place place;
  place.top_level = top_level;
  place.parent_mixed = parent_mixed;
  // A number inside the title element follows the title.
  place.after_title = walk.title != nullptr && parent.raw() == walk.title;
  place.after_sentence = inside_sentence;
  Before before;
  xml::Node next_element;
  for (xml::Node child = parent.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (IsTextNode(child)) {
      text += child.Content();
      continue;
    }
    if (child.Kind() != xml::NodeKind::kElement) continue;
    const std::string key = analysis::TagKey(child);
    place.repeated = counts.at(key) > 1;
    place.before = before.Text();
    place.after_letter = !text.empty() && IsAsciiLetter(text.back());
    place.after_digit = !text.empty() && text.back() >= '0' && text.back() <= '9';
    place.last = true;
    for (xml::Node next = child.NextSibling(); !next.IsNull(); next = next.NextSibling()) {
      if (next.Kind() == xml::NodeKind::kElement) {
        place.last = false;
        break;
      }
    }
    const std::string child_text = Measure(child, walk, place);
    if (child.raw() == walk.title) place.after_title = true;
    // Examples and the like follow a sentence of their own level (a definition).
    if ((HasOwnText(child) || !HasElementChild(child)) && LooksLikeSentence(Trim(child_text)) &&
        CountWords(child_text) >= 5) {
      place.after_sentence = true;
    }
    place.previous = key;
    before.Add(child_text);
    text += child_text;
  }
  return text;
}

std::string TagSurvey::Measure(const xml::Node& element, Walk& walk, const Place& place) {
  const std::string key = analysis::TagKey(element);
  std::map<std::string, int> children;
  std::string first_child;
  for (xml::Node child = element.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.Kind() != xml::NodeKind::kElement) continue;
    const std::string child_key = analysis::TagKey(child);
    if (children.empty()) first_child = child_key;
    ++children[child_key];
  }
  const bool mixed = HasOwnText(element);
  // The profile is made before the children's, so the profiles stay in the order the keys
  // first appear; it is found again by its index, as the children's may move it.
  const std::size_t index = static_cast<std::size_t>(&ProfileOf(key) - profiles_.data());
  const std::string text = MeasureChildren(element, walk, false, mixed, place.after_sentence, children);

  TagProfile& profile = profiles_[index];
  ++profile.count;
  const std::string_view trimmed = Trim(text);
  if (children.empty()) ++profile.leaves;
  if (!trimmed.empty()) ++profile.with_text;
  if (place.parent_mixed) ++profile.in_mixed;
  if (place.repeated) ++profile.repeated;
  if (place.top_level) ++profile.top_level;
  if (place.after_title) ++profile.after_title;
  if (place.after_sentence) ++profile.after_sentence;
  if (place.after_letter) ++profile.after_letter;
  if (place.after_digit) ++profile.after_digit;
  if (place.last) ++profile.last;
  if (first_child == kDerivedTag) ++profile.derived_first;
  if (!place.previous.empty()) ++profile.previous[place.previous];
  if (element.raw() == walk.title) ++profile.titles;
  if (walk.title_path.contains(element.raw())) ++profile.holds_title;
  if (walk.reshown.contains(element.raw())) ++profile.reshown;
  if (walk.reshown_parents.contains(element.raw())) ++profile.reshown_parent;
  if (!trimmed.empty() && (mixed || children.empty())) {
    ++profile.own_text;
    if (LooksLikeSentence(trimmed)) ++profile.sentences;
    if (AllDigits(trimmed)) ++profile.digits;
    if (LooksLikeProductionData(trimmed)) ++profile.production;
    if (!walk.title_text.empty() && AsciiLower(trimmed).find(walk.title_text) != std::string::npos)
      ++profile.with_title;
    if (facts_->topic_ids.contains(AsciiLower(trimmed))) ++profile.id_texts;
    profile.words += CountWords(trimmed);
    profile.chars += static_cast<long long>(trimmed.size());
    if (!profile.many_values) {
      profile.values.emplace(trimmed);
      if (profile.values.size() > TagProfile::kMaxValues) {
        profile.many_values = true;
        profile.values.clear();
      }
    }
  }
  MeasureAttributes(element, walk.entry_id, profile);
  for (const auto& [child_key, n] : children) profile.child_keys.insert(child_key);
  if (!place.before.empty() && profile.before.size() < kBeforeSamples) profile.before.insert(place.before);
  return text;
}

void TagSurvey::MeasureAttributes(const xml::Node& element, const std::string& entry_id,
                                  TagProfile& profile) {
  // The bundle the element names: an attribute whose value is one, or a path in one.
  const NameSet* named = nullptr;
  const std::vector<std::pair<std::string, std::string>> attributes = element.Attributes();
  std::vector<std::string> values;
  for (const auto& [name, value] : attributes) {
    values.push_back(AsciiLower(Trim(value)));
    const std::string& lower = values.back();
    AttributeProfile& attribute = profile.attributes[name];
    if (const std::optional<Bundle> bundle = BundleNamed(lower)) {
      ++attribute.bundle_names;
      named = *bundle == Bundle::kUk ? &facts_->uk_recordings : &facts_->us_recordings;
    } else if (const std::optional<Bundle> folder = BundleFolder(lower)) {
      ++attribute.bundle_folders;
      if (named == nullptr) named = *folder == Bundle::kUk ? &facts_->uk_recordings : &facts_->us_recordings;
    }
  }
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    AttributeProfile& attribute = profile.attributes[attributes[i].first];
    const std::string& lower = values[i];
    ++attribute.values;
    if (lower != entry_id && facts_->topic_ids.contains(lower)) ++attribute.topic_hits;
    const std::string name_key = NameKey(lower);
    const bool uk = facts_->uk_recordings.contains(name_key);
    const bool us = facts_->us_recordings.contains(name_key);
    if (uk) ++attribute.uk_hits;
    if (us) ++attribute.us_hits;
    if (named != nullptr) {
      ++attribute.named;
      if (named->contains(name_key)) ++attribute.named_hits;
    } else {
      if (uk) ++attribute.unnamed_uk_hits;
      if (us) ++attribute.unnamed_us_hits;
    }
    if (attribute.samples.size() < kAttributeSamples) attribute.samples.insert(lower);
  }
}

}  // namespace tavex::suggest
