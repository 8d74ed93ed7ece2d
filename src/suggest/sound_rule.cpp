// The sound rule of the suggestion.
#include "suggest/sound_rule.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>
#include <vector>

#include "stylesheet/template_line.h"

namespace tavex::suggest {
namespace {

// Words in tag names, attribute values and labels that tell a British from an American
// recording ("NAmE" is North American English).
const std::set<std::string> kUkWords = {"uk", "gb", "br", "bre", "brit", "british", "england"};
const std::set<std::string> kUsWords = {"us", "am", "ame", "nam", "name", "usa", "american", "america"};

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

}  // namespace

std::string AttributePath(const std::string& name) {
  if (name.find(':') == std::string::npos) return "@" + name;
  return "@*[name()='" + name + "']";
}

SoundPlan PlanSound(const TagProfile& profile, const std::string& attribute) {
  SoundPlan plan;
  plan.attribute = attribute;
  const AttributeProfile& values = profile.attributes.at(attribute);
  int best = 0;
  for (const auto& [name, other] : profile.attributes) {
    if (name != attribute && other.bundle_names > best && 2 * other.bundle_names >= profile.count) {
      best = other.bundle_names;
      plan.bundle_attribute = name;
    }
  }
  plan.bundle_in_path = plan.bundle_attribute.empty() && 2 * values.bundle_folders >= values.values;
  // Only one table holds most of the names: that one; both hold them: the hints decide.
  const bool named = !plan.bundle_attribute.empty() || plan.bundle_in_path;
  const int uk_hits = named ? values.unnamed_uk_hits : values.uk_hits;
  const int us_hits = named ? values.unnamed_us_hits : values.us_hits;
  plan.default_uk = uk_hits > us_hits;
  if (uk_hits == us_hits || std::min(uk_hits, us_hits) * 2 > std::max(uk_hits, us_hits)) {
    const int hint = CountryHint(profile, attribute);
    if (hint != 0) plan.default_uk = hint > 0;
  }
  return plan;
}

// The elements of the plan's key that its rule sends to a recording that exists.
int LinkedSounds(const TagProfile& profile, const SoundPlan& plan) {
  const AttributeProfile& values = profile.attributes.at(plan.attribute);
  if (!plan.bundle_attribute.empty() || plan.bundle_in_path) {
    return values.named_hits + (plan.default_uk ? values.unnamed_uk_hits : values.unnamed_us_hits);
  }
  return plan.default_uk ? values.uk_hits : values.us_hits;
}

std::string SoundTemplate(const TagProfile& profile, const SoundPlan& plan) {
  // A leading "/" lets mp3_wav find the file name whether or not the value has a folder.
  auto link = [&](Bundle bundle) {
    return fmt::format("<a href=\"{{user:mp3_wav(concat('/', {}), '{}')}}\">{}</a>",
                       AttributePath(plan.attribute), BundleFolderName(bundle),
                       bundle == Bundle::kUk ? "UK" : "US");
  };
  const Bundle fallback = plan.default_uk ? Bundle::kUk : Bundle::kUs;
  std::string body = link(fallback);
  if (!plan.bundle_attribute.empty() || plan.bundle_in_path) {
    // The bundle the element names, in any letter case.
    auto names = [&](Bundle bundle) {
      constexpr const char* kLower = "'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz'";
      return plan.bundle_in_path
                 ? fmt::format("contains(concat('/', translate({}, {})), '/{}/')",
                               AttributePath(plan.attribute), kLower, BundleFolderName(bundle))
                 : fmt::format("starts-with(translate({}, {}), '{}')", AttributePath(plan.bundle_attribute),
                               kLower, BundleFolderName(bundle));
    };
    body = fmt::format(
        "<xsl:choose><xsl:when test=\"{}\">{}</xsl:when><xsl:when test=\"{}\">{}</xsl:when>"
        "<xsl:otherwise>{}</xsl:otherwise></xsl:choose>",
        names(Bundle::kUs), link(Bundle::kUs), names(Bundle::kUk), link(Bundle::kUk), body);
  }
  return fmt::format("<xsl:template match=\"{}\">{}{}</xsl:template>", MatchPattern(profile.key), body,
                     kNoBreakSpace);
}

}  // namespace tavex::suggest
