// The book source's markup (code page 932 with the few HTML tags and entities the book
// HTML uses) as UTF-8 HTML, for the books whose readers show HTML (StarDict, MDict):
// characters and gaiji references become their Unicode characters, bold, italic, sub-
// and superscript are kept, indents become margins, and links to entries and recordings
// take the forms the target book's readers follow. The result is always well nested.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "source/warning_tally.h"

namespace tavex::source {

// The target book's forms of links.
class HtmlLinks {
 public:
  virtual ~HtmlLinks() = default;
  // The href of a link to the entry `id`, or none when the book has no such entry.
  virtual std::optional<std::string> Entry(std::string_view id) = 0;
  // The href of a link to the recording `href` names ("us_pron/x.wav"), or none when it
  // cannot be stored (warned by the resolver).
  virtual std::optional<std::string> Sound(std::string_view href) = 0;
  // Whether a sound link is written <audio src="..."> rather than <a href="...">: the
  // form GoldenDict plays from a StarDict book, where it ignores sound:// links.
  virtual bool SoundAsAudio() const { return false; }
};

class HtmlWriter {
 public:
  HtmlWriter(HtmlLinks& links, WarningTally& warnings) : links_(links), warnings_(warnings) {}

  // Appends the markup `sjis` to `out` as HTML; tags left open are closed at its end.
  void Write(std::string_view sjis, std::string& out);

 private:
  struct Open {
    std::string name;  // b, i, sub, sup, a or audio
    std::string tag;   // the opening tag as written
    bool link = false;  // a link (a or audio), which ends where the next one starts
  };
  void Tag(std::string_view tag, std::string& out);
  void Push(std::string name, std::string tag, std::string& out, bool link = false);
  void Pop(std::string_view name, std::string& out);
  void PopAt(std::size_t at, std::string& out);
  void CloseAll(std::string& out);
  void ReopenAll(std::string& out);
  void SetIndent(int level, std::string& out);
  void Break(std::string& out);

  HtmlLinks& links_;
  WarningTally& warnings_;
  std::vector<Open> open_;  // inline tags, innermost last
  int indent_ = 1;          // the indent level of the text being written (1: none)
  bool line_start_ = true;  // nothing written since the last line break
};

// Appends `text` (UTF-8) with "&", "<", ">" and '"' written as references.
void AppendEscaped(std::string& out, std::string_view text);

// The text of a heading or key title as UTF-8: tags left out, entities and references
// decoded, white space runs as one space, blanks at the ends removed.
std::string PlainText(std::string_view sjis);

}  // namespace tavex::source
