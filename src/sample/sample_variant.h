// The variants of the sample disc. The standard one is what the sample rules were tuned
// on; the others read like the disc of another dictionary, for trying rules suggested from
// a disc's structure on a disc they were not made from. A variant entry names its
// elements otherwise (the keyword elements and the side panels' path keep the names the
// format gives them), carries one sound element for both accents that names its bundle,
// writes the homograph number inside the headword, keeps production notes in an element
// of their own, and puts idioms, phrasal verbs, derived forms and usage notes as blocks
// after a sense's examples. Some recordings are in one bundle only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavex::sample {

enum class SampleVariant {
  kStandard,
  kBundleAttribute,  // the sound element names its bundle in an attribute of its own
  kBundlePath,       // the folder of the sound element's path is the bundle
};

// "standard", "bundle-attribute", "bundle-path".
std::string_view VariantName(SampleVariant variant);
std::optional<SampleVariant> VariantNamed(std::string_view name);

// Whether recording `index` is in the UK (`uk`) or US bundle of a disc with `recordings`
// recordings: in both for the standard disc; a variant leaves every fifth out of one.
bool HasRecording(SampleVariant variant, int index, int recordings, bool uk);

// The name a variant gives an element the standard entries call `name`.
std::string VariantTag(SampleVariant variant, std::string_view name);

// `xml` with every element renamed as VariantTag gives it (start and end tags; a
// template's match="…" too).
std::string RenameElements(SampleVariant variant, const std::string& xml);

}  // namespace tavex::sample
