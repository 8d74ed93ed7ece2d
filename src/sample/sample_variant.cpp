// The element names and recordings of the sample disc's variants.
#include "sample/sample_variant.h"

#include <array>
#include <utility>

namespace tavex::sample {
namespace {

// Names another dictionary might use. Not renamed: the root, span, the keyword elements
// and the side panels' path, which the conversion itself knows.
constexpr std::array<std::pair<std::string_view, std::string_view>, 23> kNames = {{
    {"h", "hw"},         {"hm", "hom"},         {"pron-g", "prons"},     {"geo", "region"},
    {"phon", "ipa"},     {"snd", "audio"},      {"title", "box-title"},  {"p", "para"},
    {"infl-g", "forms"}, {"vs-g", "var"},       {"pos", "wc"},           {"gram", "gr"},
    {"sn-g", "sense"},   {"sn", "num"},         {"def", "gloss"},        {"x-g", "eg-grp"},
    {"x", "eg"},         {"xr", "see"},         {"x-ref", "link"},       {"sup", "up"},
    {"inf", "low"},      {"editor-note", "ed"}, {"usage-note", "usage"},
}};
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kGroups = {
    {{"id-g", "idiom"}, {"pv-g", "phr"}, {"dr-g", "deriv"}}};

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

std::string_view VariantName(SampleVariant variant) {
  switch (variant) {
    case SampleVariant::kBundleAttribute:
      return "bundle-attribute";
    case SampleVariant::kBundlePath:
      return "bundle-path";
    default:
      return "standard";
  }
}

std::optional<SampleVariant> VariantNamed(std::string_view name) {
  for (SampleVariant v :
       {SampleVariant::kStandard, SampleVariant::kBundleAttribute, SampleVariant::kBundlePath}) {
    if (VariantName(v) == name) return v;
  }
  return std::nullopt;
}

bool HasRecording(SampleVariant variant, int index, int recordings, bool uk) {
  if (index < 0 || index >= recordings) return false;
  if (variant == SampleVariant::kStandard) return true;
  return index % 5 != (uk ? 3 : 1);
}

std::string VariantTag(SampleVariant variant, std::string_view name) {
  if (variant != SampleVariant::kStandard) {
    for (const auto& [from, to] : kNames) {
      if (from == name) return std::string(to);
    }
    for (const auto& [from, to] : kGroups) {
      if (from == name) return std::string(to);
    }
  }
  return std::string(name);
}

std::string RenameElements(SampleVariant variant, const std::string& xml) {
  if (variant == SampleVariant::kStandard) return xml;
  std::string out;
  out.reserve(xml.size() + xml.size() / 8);
  for (std::size_t i = 0; i < xml.size();) {
    // A name after "<", "</" or match="; anything else is copied as it stands.
    std::size_t name = std::string_view::npos;
    if (xml[i] == '<') {
      name = i + (i + 1 < xml.size() && xml[i + 1] == '/' ? 2 : 1);
    } else if (xml.compare(i, 7, "match=\"") == 0) {
      name = i + 7;
    }
    if (name == std::string_view::npos) {
      out += xml[i++];
      continue;
    }
    std::size_t end = name;
    while (end < xml.size() && IsNameChar(xml[end])) ++end;
    out.append(xml, i, name - i);
    out += VariantTag(variant, std::string_view(xml).substr(name, end - name));
    i = end;
  }
  return out;
}

}  // namespace tavex::sample
