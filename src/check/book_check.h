// Checks the book HTML html_EPW in one pass: gaiji references the map does not cover,
// references to characters the book's gaiji cannot hold, links to entries that do not
// exist, entry ids used twice, keys the search could not find, over-long headwords and
// keys, and half-width katakana.
#pragma once

#include <string>

#include "check/finding_sink.h"
#include "check/gaiji_check.h"
#include "check/readability_check.h"
#include "check/sound_link_check.h"

namespace tavex::check {

// Checks `base_folder`/html_EPW when it exists (a missing book is the caller's finding).
// References are checked against the map only when `gaiji.present`.
// What bears on whether the book reads goes into `readability`, the sound links into
// `sounds`.
void CheckBookHtml(const std::string& base_folder, const GaijiMapSummary& gaiji, FindingSink& sink,
                   ReadabilityTally& readability, SoundLinkCheck& sounds);

}  // namespace tavex::check
