// Tags, entities and characters of the book source's text, mapped onto the book's controls.
#include "epwing/body_markup.h"

#include <fmt/format.h>

#include <charconv>
#include <string>

#include "epwing/jis.h"
#include "source/markup.h"
#include "text/cp932.h"
#include "text/text.h"

namespace tavex::epwing {
namespace {

constexpr char kNoJis[] = "character without a JIS X 0208 form written as the geta mark";
constexpr char kUnknownGaiji[] = "character reference without a gaiji written as the geta mark";
constexpr char kMissingEntry[] = "link to a missing entry kept as plain text";
constexpr char kOtherLink[] = "link to neither an entry nor a recording kept as plain text";

// U+FF61-U+FF9F, the half-width katakana, as their full-width forms.
constexpr std::u16string_view kFullWidthKana =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモ"
    u"ヤユヨラリルレロワン゛゜";

std::string UnicodeName(char32_t c) { return fmt::format("U+{:04X}", static_cast<std::uint32_t>(c)); }

}  // namespace

void BodyMarkup::Write(std::string_view sjis, TextEncoder& encoder) {
  const std::size_t n = sjis.size();
  std::size_t i = 0;
  // The next ">" at or after the scan; kept across "<"s without one, so that text of
  // many "<" and no ">" is scanned once, not once per "<".
  std::size_t next_close = 0;
  while (i < n) {
    const auto b = static_cast<unsigned char>(sjis[i]);
    if (b == '<') {
      if (next_close != std::string_view::npos && next_close <= i) next_close = sjis.find('>', i + 1);
      const std::size_t close = next_close;
      if (close != std::string_view::npos) {
        Tag(sjis.substr(i + 1, close - i - 1), encoder);
        i = close + 1;
        continue;
      }
    } else if (b == '&') {
      if (auto entity = source::DecodeEntity(sjis.substr(i))) {
        const char32_t c = entity->first == 0xA0 ? U' ' : entity->first;
        if (c >= 0x20 && c < 0x7F) {
          encoder.Char(JisFromAscii(static_cast<unsigned char>(c)), true);
        } else {
          Reference(c, encoder);
        }
        i += entity->second;
        continue;
      }
    } else if (IsSjisLeadByte(b) && i + 1 < n) {
      const auto trail = static_cast<unsigned char>(sjis[i + 1]);
      const std::uint16_t jis = JisFromSjis(b, trail);
      if (jis != 0) {
        encoder.Char(jis, false);
      } else {
        warnings_.Add(kNoJis, SjisToUtf8(Sjis(std::string(sjis.substr(i, 2)))));
        encoder.Char(kGeta, false);
      }
      i += 2;
      continue;
    } else if (b >= 0xA1 && b <= 0xDF) {
      const std::uint16_t jis = JisFromUnicode(kFullWidthKana[b - 0xA1]);
      encoder.Char(jis != 0 ? jis : kGeta, false);
      ++i;
      continue;
    } else if (b >= 0x80) {
      // A lead byte at the very end, or a byte code page 932 gives no character.
      warnings_.Add(kNoJis, fmt::format("byte 0x{:02X}", b));
      encoder.Char(kGeta, false);
      ++i;
      continue;
    }
    // The source's line ends and other control characters are not text.
    if (b == '\t') {
      encoder.Char(ascii_[' '], true);
    } else if (b >= 0x20 && b < 0x7F) {
      encoder.Char(ascii_[b], true);
    }
    ++i;
  }
}

void BodyMarkup::Finish(TextEncoder& encoder) {
  if (link_ == Link::kReference) encoder.EndReference(link_target_);
  if (link_ == Link::kSound) encoder.EndSound();
  link_ = Link::kNone;
  fonts_.Clear();
  scripts_.Clear();
  UpdateStyle(encoder);
}

void BodyMarkup::Reference(char32_t c, TextEncoder& encoder) {
  if (const source::Gaiji* gaiji = gaiji_.Find(c)) {
    encoder.Gaiji(gaiji->code, gaiji->narrow);
    return;
  }
  if (const std::uint16_t jis = JisFromUnicode(c)) {
    encoder.Char(jis, false);
    return;
  }
  warnings_.Add(kUnknownGaiji, UnicodeName(c));
  encoder.Char(kGeta, false);
}

void BodyMarkup::UpdateStyle(TextEncoder& encoder) {
  TextEncoder::Font font = TextEncoder::Font::kNone;
  if (!fonts_.empty())
    font = fonts_.InnermostIsSecond() ? TextEncoder::Font::kItalic : TextEncoder::Font::kBold;
  TextEncoder::Script script = TextEncoder::Script::kNone;
  if (!scripts_.empty())
    script = scripts_.InnermostIsSecond() ? TextEncoder::Script::kSup : TextEncoder::Script::kSub;
  encoder.SetFont(font);
  encoder.SetScript(script);
}

void BodyMarkup::Tag(std::string_view tag, TextEncoder& encoder) {
  const bool closing = !tag.empty() && tag[0] == '/';
  if (closing) tag.remove_prefix(1);
  std::size_t name_end = 0;
  while (name_end < tag.size() &&
         ((tag[name_end] >= 'a' && tag[name_end] <= 'z') || (tag[name_end] >= 'A' && tag[name_end] <= 'Z') ||
          (tag[name_end] >= '0' && tag[name_end] <= '9'))) {
    ++name_end;
  }
  const std::string name = AsciiLower(tag.substr(0, name_end));
  const std::string_view attributes = tag.substr(name_end);

  if (name == "br") {
    encoder.Newline();
  } else if (name == "p" || name == "dd" || name == "div") {
    if (!encoder.AtLineStart()) encoder.Newline();
  } else if (name == "b" || name == "i") {
    if (closing) {
      fonts_.Close(name == "i");
    } else {
      fonts_.Open(name == "i");
    }
    UpdateStyle(encoder);
  } else if (name == "sub" || name == "sup") {
    if (closing) {
      scripts_.Close(name == "sup");
    } else {
      scripts_.Open(name == "sup");
    }
    UpdateStyle(encoder);
  } else if (name == "indent") {
    if (!closing) {
      int level = 1;
      const std::string_view value = source::TagAttribute(attributes, "val").value_or("1");
      std::from_chars(value.data(), value.data() + value.size(), level);
      encoder.Indent(level < 1 ? 1 : (level > 32 ? 32 : level));
    }
  } else if (name == "a") {
    // The label keeps the style of the text around it once the link's controls are written.
    if (link_ == Link::kReference) encoder.EndReference(link_target_);
    if (link_ == Link::kSound) encoder.EndSound();
    link_ = Link::kNone;
    if (!closing) {
      const std::string_view href = source::TagAttribute(attributes, "href").value_or("");
      if (!href.empty() && href[0] == '#') {
        if (auto entry = links_.Entry(href.substr(1))) {
          link_ = Link::kReference;
          link_target_ = *entry;
          encoder.BeginReference();
        } else {
          warnings_.Add(kMissingEntry, std::string(href.substr(1)));
          link_ = Link::kPlain;
        }
      } else if (href.size() > 4 && EqualsIgnoreAsciiCase(href.substr(href.size() - 4), ".wav")) {
        if (auto sound = links_.Sound(href)) {
          link_ = Link::kSound;
          encoder.BeginSound(sound->format_word, sound->sound);
        } else {
          link_ = Link::kPlain;
        }
      } else {
        warnings_.Add(kOtherLink, std::string(href));
        link_ = Link::kPlain;
      }
    }
  } else {
    warnings_.Add(fmt::format("tag <{}> not in the book's markup, its text kept", name), std::string(tag));
  }
}

}  // namespace tavex::epwing
