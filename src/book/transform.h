// Entry transformation: one entry's XML becomes the definition body, the headword line and
// the search keywords of the book. The main stylesheet turns the XML into an HTML document;
// fixed passes then collapse runs of line breaks and no-break spaces, write the gaiji
// references, convert to Shift_JIS, turn cross-references into jumps inside the book and
// cut out what lies inside <body>.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "book/gaiji_table.h"
#include "platform/mode.h"
#include "text/text.h"
#include "xml/xml.h"

namespace tavex::book {

// Turns an entry id (UTF-8) into the record index of its entry, -1 when there is none.
using TopicResolver = std::function<std::int64_t(std::string_view id)>;

// Every run of two or more "<br>" and "&nbsp;" tokens (in any mix and letter case) becomes
// one "<br>&nbsp;" when it holds both kinds, else one "<br>" or one "&nbsp;". A lone token
// is left alone. Each run is replaced where it stands, in one pass.
std::u16string CollapseBlankRuns(std::u16string_view text);
// The same on UTF-8 text (the tokens are ASCII, so the result is the same).
std::string CollapseBlankRuns(std::string_view utf8);

// The text with the references &#xHHHH;, &#NNN;, &amp;, &lt;, &gt;, &quot; and &apos;
// turned back into characters (UTF-8); other text as it stands.
std::string DecodeReferences(std::string_view text);

// Rewrites each anchor <A topic="id">text</A> of the Shift_JIS `text` as
// <A href="#n">text</A>, where n is the record index `resolve` gives for the id (-1 when
// the id is unknown), so that links jump to the entry's headword line in the book.
Sjis LinkTopics(const Sjis& text, const TopicResolver& resolve);

// The keywords of an entry: the text of every "inflection", "vs" and "dr" element below
// `root` and, when the mode keys them, every "id" and "pv" element, grouped by name in
// that order and in document order within a group, each through PlainKeyword; empty texts
// and texts already listed are left out.
std::vector<Sjis> CollectKeywords(const xml::Node& root, const GaijiTable& table, OperatingMode mode);

// What lies between the first "<body>" and the first "</body>"; empty when either marker is
// missing or the end marker comes first.
Sjis CutBody(const Sjis& document);

// One entry as the book needs it.
struct TransformedEntry {
  std::vector<Sjis> keywords;  // distinct, non-empty, in collection order
  Sjis title;                  // the headword line's text, gaiji written as references
  Sjis body;                   // the definition body
  bool parsed = true;          // false when the entry XML did not parse (no keywords, no body)
};

// Transforms entries with one parsed stylesheet and one reused entry document, for a whole
// run of the book writer or for one preview. The table and the resolver must outlive it.
class EntryTransformer {
 public:
  // Loads the main stylesheet. Throws tavex::Error naming the file when it does not load.
  EntryTransformer(const std::string& stylesheet_path, const GaijiTable& table, TopicResolver resolve,
                   OperatingMode mode);

  // The whole HTML document the stylesheet makes of the entry (UTF-8), before any clean-up;
  // false when the XML does not parse. Throws tavex::Error on a transformation fault.
  bool TransformDocument(std::string_view xml_text, std::string& document);

  // The entry's keywords, display title and body (`xml_text` and `title` in UTF-8). An entry
  // whose XML does not parse gives no keywords and an empty body, with `parsed` false.
  TransformedEntry TransformEntry(std::string_view xml_text, std::string_view title);

 private:
  xml::Stylesheet stylesheet_;
  xml::Document document_;
  const GaijiTable& table_;
  TopicResolver resolve_;
  OperatingMode mode_;
};

}  // namespace tavex::book
