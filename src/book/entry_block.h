// The block of lines that one entry takes in the book: its headword line, its search keys
// and its definition. Keys of type 前方表記 serve the book's forward word search, keys of
// type 後方表記 its backward word search.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace tavex::book {

// The search text of a key made from `keyword` (Shift_JIS): double-byte characters are
// kept except the fourteen full-width symbols ・％－「」（）“”″＜＞／：; an "<img" … ">"
// run is skipped; ASCII digits and letters become full-width digits and capitals; every
// other single byte is dropped. "owner_info" gives ＯＷＮＥＲＩＮＦＯ.
Sjis MakeKeyText(const Sjis& keyword);

// The key lines of `keywords` in order: a 前方表記 key for each, followed by a 後方表記 key
// when `backward_keys`. Each key's title is the keyword itself.
std::vector<Sjis> KeyLines(const std::vector<Sjis>& keywords, bool backward_keys);

// The lines of one block, without line ends: <dt id="index">title</dt>, the key lines,
// "<dd><p>", the body followed by "<br>", and `last_line`.
std::vector<Sjis> EntryBlockLines(std::int64_t index, const Sjis& title, const std::vector<Sjis>& keywords,
                                  const Sjis& body, bool backward_keys, std::string_view last_line = "</p></dd>");

// `text` with every line feed that has no carriage return before it written as CR LF, so
// that text from the transformation keeps the book's line ends.
Sjis WithCrLf(const Sjis& text);

}  // namespace tavex::book
