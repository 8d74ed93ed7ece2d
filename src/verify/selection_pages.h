// The pages libeb reads when a subbook is selected, looked at before it is let loose on
// them. Selecting a subbook loads each multi-search page the index page names (region
// FF): libeb takes its entry count as up to 9 though its table has room for 5, and walks
// the entries' index lists without a bound, so a crafted page makes it write past its
// table. These pages are read here from the text file itself, plain or
// ebzip-compressed, and a page libeb would overrun is refused.
#pragma once

#include <string>
#include <vector>

namespace tavex::verify {

// Checks the selection pages of the subbook in folder `directory` of the book in
// `book`; returns one "what is wrong" per fault, none when libeb may select it.
std::vector<std::string> CheckSelectionPages(const std::string& book, const std::string& directory);

}  // namespace tavex::verify
