// Measuring the tag keys of the entries.
#include "suggest/tag_survey.h"

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

// The first element in document order whose text is the title (the innermost such
// one), with its ancestors below the root; false when none is found within the search
// limit.
bool FindTitle(const xml::Node& node, std::string_view title, std::vector<void*>& path, int& budget) {
  for (xml::Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.Kind() != xml::NodeKind::kElement) continue;
    if (--budget < 0) return false;
    path.push_back(child.raw());
    if (EqualsIgnoreAsciiCase(Trim(child.Text()), title)) {
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
  MeasureChildren(root, walk, true, root_mixed, siblings);
}

std::string TagSurvey::MeasureChildren(const xml::Node& parent, Walk& walk, bool top_level, bool parent_mixed,
                                       const std::map<std::string, int>& counts) {
  // The parent's text is put together from its text nodes and its children's texts, so
  // each element's text is gathered once, not once for every element above it.
  std::string text;
  bool after_title = false;
  Before before;
  for (xml::Node child = parent.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (IsTextNode(child)) {
      text += child.Content();
      continue;
    }
    if (child.Kind() != xml::NodeKind::kElement) continue;
    const std::string child_text = Measure(child, walk, top_level, parent_mixed,
                                           counts.at(analysis::TagKey(child)) > 1, after_title, before.Text());
    if (child.raw() == walk.title) after_title = true;
    before.Add(child_text);
    text += child_text;
  }
  return text;
}

std::string TagSurvey::Measure(const xml::Node& element, Walk& walk, bool top_level, bool parent_mixed,
                               bool repeated, bool after_title, const std::string& before_text) {
  const std::string key = analysis::TagKey(element);
  std::map<std::string, int> children;
  for (xml::Node child = element.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.Kind() == xml::NodeKind::kElement) ++children[analysis::TagKey(child)];
  }
  const bool mixed = HasOwnText(element);
  // The profile is made before the children's, so the profiles stay in the order the keys
  // first appear; it is found again by its index, as the children's may move it.
  const std::size_t index = static_cast<std::size_t>(&ProfileOf(key) - profiles_.data());
  const std::string text = MeasureChildren(element, walk, false, mixed, children);

  TagProfile& profile = profiles_[index];
  ++profile.count;
  const std::string_view trimmed = Trim(text);
  if (children.empty()) ++profile.leaves;
  if (!trimmed.empty()) ++profile.with_text;
  if (parent_mixed) ++profile.in_mixed;
  if (repeated) ++profile.repeated;
  if (top_level) ++profile.top_level;
  if (after_title) ++profile.after_title;
  if (element.raw() == walk.title) ++profile.titles;
  if (walk.title_path.contains(element.raw())) ++profile.holds_title;
  if (walk.reshown.contains(element.raw())) ++profile.reshown;
  if (walk.reshown_parents.contains(element.raw())) ++profile.reshown_parent;
  if (!trimmed.empty() && (mixed || children.empty())) {
    ++profile.own_text;
    if (LooksLikeSentence(trimmed)) ++profile.sentences;
    if (AllDigits(trimmed)) ++profile.digits;
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
  for (const auto& [name, value] : element.Attributes()) {
    AttributeProfile& attribute = profile.attributes[name];
    ++attribute.values;
    const std::string lower = AsciiLower(Trim(value));
    if (lower != walk.entry_id && facts_->topic_ids.contains(lower)) ++attribute.topic_hits;
    const std::string name_key = NameKey(lower);
    if (facts_->uk_recordings.contains(name_key)) ++attribute.uk_hits;
    if (facts_->us_recordings.contains(name_key)) ++attribute.us_hits;
    if (attribute.samples.size() < kAttributeSamples) attribute.samples.insert(lower);
  }
  for (const auto& [child_key, n] : children) profile.child_keys.insert(child_key);
  if (!before_text.empty() && profile.before.size() < kBeforeSamples) profile.before.insert(before_text);
  return text;
}

}  // namespace tavex::suggest
