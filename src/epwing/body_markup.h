// The markup of the book source's text (code page 932 bytes with the few HTML tags and
// entities the book HTML uses) turned into the book's text stream: tags become
// controls, entities and numeric references become characters or gaiji, characters
// outside JIS X 0208 become the geta mark.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "source/gaiji_map.h"
#include "epwing/jis.h"
#include "epwing/text_encoder.h"
#include "source/warning_tally.h"

namespace tavex::epwing {

// A recording a sound link resolves to.
struct SoundLink {
  std::uint32_t sound = 0;        // the stored recording's number
  std::uint32_t format_word = 0;  // the sound control's format word
};

// Resolves the targets of links while the text is written.
class LinkResolver {
 public:
  virtual ~LinkResolver() = default;
  // The entry number of the entry with `id`, or none.
  virtual std::optional<std::uint32_t> Entry(std::string_view id) = 0;
  // The recording `href` names (a path inside us_pron/ or uk_pron/), or none (warned).
  virtual std::optional<SoundLink> Sound(std::string_view href) = 0;
};

// The open tags of two kinds (bold and italic, or sub and sup), innermost last. Closing
// a kind removes its innermost open tag, wherever it stands; each tag is pushed and
// removed once, so deep or crossed nesting costs no more per tag than flat text.
class OpenTags {
 public:
  void Open(bool second) {
    tags_.push_back({second, true});
    of_kind_[second].push_back(tags_.size() - 1);
  }
  // Closes the innermost open tag of the kind; nothing when none is open.
  void Close(bool second) {
    std::vector<std::size_t>& open = of_kind_[second];
    if (open.empty()) return;
    tags_[open.back()].open = false;
    open.pop_back();
    while (!tags_.empty() && !tags_.back().open) tags_.pop_back();
  }
  bool empty() const { return tags_.empty(); }
  // The kind of the innermost open tag (true: the second kind); only when not empty.
  bool InnermostIsSecond() const { return tags_.back().second; }
  void Clear() {
    tags_.clear();
    of_kind_[0].clear();
    of_kind_[1].clear();
  }

 private:
  struct Tag {
    bool second;
    bool open;
  };
  std::vector<Tag> tags_;                // in opening order; closed ones wait until they are last
  std::vector<std::size_t> of_kind_[2];  // where each kind's open tags stand in tags_
};

// Writes the markup `sjis` through `encoder`. Warnings are counted in `warnings`.
class BodyMarkup {
 public:
  BodyMarkup(const source::GaijiSet& gaiji, LinkResolver& links, source::WarningTally& warnings)
      : gaiji_(gaiji), links_(links), warnings_(warnings) {}

  void Write(std::string_view sjis, TextEncoder& encoder);
  // Closes a link left open and forgets the open tags, at the end of a text.
  void Finish(TextEncoder& encoder);

 private:
  void Tag(std::string_view tag, TextEncoder& encoder);
  void Reference(char32_t c, TextEncoder& encoder);
  void UpdateStyle(TextEncoder& encoder);

  const source::GaijiSet& gaiji_;
  const std::uint16_t* ascii_ = AsciiJisTable();
  LinkResolver& links_;
  source::WarningTally& warnings_;
  // Open tags, innermost last: the innermost font and script tags win.
  OpenTags fonts_;    // bold, italic (the second kind)
  OpenTags scripts_;  // sub, sup (the second kind)
  enum class Link { kNone, kReference, kSound, kPlain } link_ = Link::kNone;
  std::uint32_t link_target_ = 0;
};

}  // namespace tavex::epwing
