// The other spellings of a key that the EPWING book finds it by, for the books whose
// readers compare keys more strictly: letters with diacritics as their base letters
// (élan, elan), katakana as hiragana and hiragana as katakana (そふと, ソフト).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavex::source {

// The folded forms of `key` (UTF-8) that differ from it, each once.
std::vector<std::string> FoldedForms(std::string_view key);

}  // namespace tavex::source
