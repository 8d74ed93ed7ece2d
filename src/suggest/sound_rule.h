// The rule of an element that links a recording: the attribute that names the
// recording, and the bundle it goes to, taken from the element where it names one (an
// attribute whose value is a bundle's name, or the folder of its path), else from the
// table that holds most of its recordings and the hints around it. The label follows the
// bundle: US for us_pron, UK for uk_pron.
#pragma once

#include <string>

#include "suggest/tag_survey.h"

namespace tavex::suggest {

// A no-break space as the stylesheet writes it.
inline constexpr const char* kNoBreakSpace =
    "<xsl:text disable-output-escaping=\"yes\">&amp;nbsp;</xsl:text>";

// How a key's elements link their recordings: the attribute that names the recording,
// where the element names its bundle (an attribute of its own, or the folder of the
// path), and the bundle of the elements that name none.
struct SoundPlan {
  std::string attribute;
  std::string bundle_attribute;  // empty: none
  bool bundle_in_path = false;
  bool default_uk = false;
};

// The plan for `profile`'s elements, whose `attribute` names their recordings.
SoundPlan PlanSound(const TagProfile& profile, const std::string& attribute);

// How many of the key's elements surveyed the plan's rule sends to a recording that exists.
int LinkedSounds(const TagProfile& profile, const SoundPlan& plan);

// The custom_xsl template of the plan.
std::string SoundTemplate(const TagProfile& profile, const SoundPlan& plan);

// The XPath of an attribute: by its name, or for a prefixed name (whose namespace the
// stylesheet does not declare) by a test of its name.
std::string AttributePath(const std::string& name);

}  // namespace tavex::suggest
