// The gaiji table: the characters the Shift_JIS book cannot hold (`char_ref` "1" in the
// `char` table), each with the numeric character reference the book carries in its place.
// The book writer and the preview substitute the references in entry text, and put
// plain-text stand-ins in keywords, looking each UTF-16 code unit up in constant time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace tavex::book {

// One character of the gaiji table.
struct GaijiChar {
  char16_t ws = 0;             // the character, one UTF-16 code unit
  std::int32_t ws_code = 0;    // its code as a number
  std::string ws_hex;          // its code as hexadecimal text, as the `char` table stores it
  std::string reference;       // "&#x" + ws_hex + ";"
  // What the book writes in the character's place: its reference, except one plain space
  // for EN SPACE (the book's tool has no glyph for it; an ordinary space reads the same).
  // Filled by GaijiTable from `reference`, in UTF-8 (ASCII) and UTF-16.
  std::string written;
  std::u16string written16;
  std::string alt;             // the alternative text of its `alt` row (UTF-8), empty when none
};

// The gaiji characters in ascending `ws_code`, with a lookup by code unit that finds the
// first row of that character in the same time whatever the table's size.
class GaijiTable {
 public:
  GaijiTable();
  // Builds the table from rows already in ascending `ws_code`.
  explicit GaijiTable(std::vector<GaijiChar> rows);

  // The first row whose `ws` is `unit`, or null when the character needs no reference.
  const GaijiChar* Find(char16_t unit) const;
  const std::vector<GaijiChar>& rows() const { return rows_; }
  bool empty() const { return rows_.empty(); }
  std::size_t size() const { return rows_.size(); }

 private:
  std::vector<GaijiChar> rows_;
  std::vector<std::int32_t> slot_;  // code unit -> position in rows_, -1 when absent
};

// Reads the characters with `char_ref` "1" from the working database at `db_path`, in
// ascending numeric `ws_code` (the column is text), with their `alt` rows joined on
// `uni` = `ws_hex`; a database without an `alt` table gives no alternative texts. A
// character joined to several `alt` rows appears once. Throws tavex::Error when the
// database or its `char` table cannot be read.
GaijiTable LoadGaijiTable(const std::string& db_path);

// The geta mark 〓, written in place of a character beyond U+FFFF.
inline constexpr char16_t kUnsettableMark = u'\u3013';

// A copy of `text` with every character of the table written as its reference, except
// that the reference "&#x2002;" (EN SPACE) is written as one plain space and a character
// beyond U+FFFF (a surrogate pair) as the geta mark.
std::u16string SubstituteGaiji(std::u16string_view text, const GaijiTable& table);

// The same as ToSjis(SubstituteGaiji(Utf8ToUtf16(utf8), table)), in one pass without
// the intermediate texts: what the book writer does to every entry.
Sjis SubstituteGaijiSjis(std::string_view utf8, const GaijiTable& table);

// The keyword form of `text`, which can hold no references: each character of the table
// becomes its plain-text stand-in (its alternative text, else its base letters: é e,
// ß ss; characters of the table inside an alternative text only by base letters) or is
// dropped when it has none; the rest in Shift_JIS, leading and trailing characters up
// to 0x20 trimmed. So "cafés" gives "cafes", and a reader finds it by what is typed.
Sjis PlainKeyword(std::u16string_view text, const GaijiTable& table);
Sjis PlainKeyword(std::string_view utf8, const GaijiTable& table);

}  // namespace tavex::book
