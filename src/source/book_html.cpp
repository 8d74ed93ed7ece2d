// Tags, entities and characters of the book source's text, written as HTML.
#include "source/book_html.h"

#include <fmt/format.h>

#include <charconv>

#include "source/markup.h"
#include "text/cp932.h"
#include "text/text.h"

namespace tavex::source {
namespace {

constexpr char kMissingEntry[] = "link to a missing entry kept as plain text";
constexpr char kOtherLink[] = "link to neither an entry nor a recording kept as plain text";
// Deeper nesting than any entry needs is kept as text, so that crossed tags cost no
// more than a bounded walk each.
constexpr std::size_t kMaxOpen = 32;

void AppendChar(std::string& out, char32_t c) {
  switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      AppendUtf8(out, c);
  }
}

// A byte that is written as it stands: not markup, not a control character.
bool IsPlainByte(unsigned char c) {
  return c >= 0x20 && c != '<' && c != '&' && c != '>' && c != '"' && c != 0x7F;
}

// The tag's name in lower case and what follows it.
std::pair<std::string, std::string_view> SplitTag(std::string_view tag) {
  std::size_t end = 0;
  while (end < tag.size() && ((tag[end] >= 'a' && tag[end] <= 'z') || (tag[end] >= 'A' && tag[end] <= 'Z') ||
                              (tag[end] >= '0' && tag[end] <= '9'))) {
    ++end;
  }
  return {AsciiLower(tag.substr(0, end)), tag.substr(end)};
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '&' || c == '<' || c == '>' || c == '"') {
      AppendChar(out, static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
}

void HtmlWriter::Write(std::string_view sjis, std::string& out) {
  // Tags and entities are ASCII, and no code page 932 trail byte is "<", "&" or ">", so
  // the text is decoded whole first and its markup read in UTF-8.
  const std::string text = SjisToUtf8(Sjis(std::string(sjis)));
  const std::size_t n = text.size();
  std::size_t i = 0;
  std::size_t next_close = 0;  // kept across "<"s without a ">", so such text is scanned once
  while (i < n) {
    const char c = text[i];
    if (c == '<') {
      if (next_close != std::string::npos && next_close <= i) next_close = text.find('>', i + 1);
      if (next_close != std::string::npos) {
        Tag(std::string_view(text).substr(i + 1, next_close - i - 1), out);
        i = next_close + 1;
        continue;
      }
    } else if (c == '&') {
      if (auto entity = DecodeEntity(std::string_view(text).substr(i))) {
        AppendChar(out, entity->first);
        line_start_ = false;
        i += entity->second;
        continue;
      }
    }
    // A run of bytes that need no escaping goes over whole.
    std::size_t end = i;
    while (end < n && IsPlainByte(static_cast<unsigned char>(text[end]))) ++end;
    if (end > i) {
      out.append(text, i, end - i);
      line_start_ = false;
      i = end;
      continue;
    }
    // The source's line ends and other control characters are not text.
    if (c == '\t') {
      out += ' ';
      line_start_ = false;
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      out += c;  // a byte of a UTF-8 sequence
      line_start_ = false;
    } else if (c >= 0x20 && c != 0x7F) {
      AppendChar(out, static_cast<unsigned char>(c));
      line_start_ = false;
    }
    ++i;
  }
  CloseAll(out);
  open_.clear();
  SetIndent(1, out);
}

void HtmlWriter::Tag(std::string_view tag, std::string& out) {
  const bool closing = !tag.empty() && tag[0] == '/';
  if (closing) tag.remove_prefix(1);
  const auto [name, attributes] = SplitTag(tag);
  if (name == "br") {
    Break(out);
  } else if (name == "p" || name == "dd" || name == "div") {
    if (!line_start_) Break(out);
  } else if (name == "b" || name == "i" || name == "sub" || name == "sup") {
    if (closing) {
      Pop(name, out);
    } else {
      Push(name, "<" + name + ">", out);
    }
  } else if (name == "indent") {
    if (!closing) {
      int level = 1;
      const std::string_view value = TagAttribute(attributes, "val").value_or("1");
      std::from_chars(value.data(), value.data() + value.size(), level);
      SetIndent(level < 1 ? 1 : (level > 32 ? 32 : level), out);
    }
  } else if (name == "a") {
    // A link ends where the next one starts, as in the EPWING book.
    std::size_t link = open_.size();
    while (link > 0 && !open_[link - 1].link) --link;
    PopAt(link, out);
    if (closing) return;
    const std::string_view href = TagAttribute(attributes, "href").value_or("");
    std::optional<std::string> target;
    if (!href.empty() && href[0] == '#') {
      target = links_.Entry(href.substr(1));
      if (!target) warnings_.Add(kMissingEntry, std::string(href.substr(1)));
    } else if (href.size() > 4 && EqualsIgnoreAsciiCase(href.substr(href.size() - 4), ".wav")) {
      target = links_.Sound(href);
    } else {
      warnings_.Add(kOtherLink, std::string(href));
    }
    if (target) {
      const bool audio = href[0] != '#' && links_.SoundAsAudio();
      std::string open = audio ? "<audio src=\"" : "<a href=\"";
      AppendEscaped(open, *target);
      open += "\">";
      Push(audio ? "audio" : "a", std::move(open), out, true);
    }
  } else {
    warnings_.Add(fmt::format("tag <{}> not in the book's markup, its text kept", name), std::string(tag));
  }
}

void HtmlWriter::Push(std::string name, std::string tag, std::string& out, bool link) {
  if (open_.size() >= kMaxOpen) return;
  out += tag;
  open_.push_back({std::move(name), std::move(tag), link});
}

// Closes the innermost open tag `name`; the tags inside it are closed before it and
// opened again after it, so that crossed tags still nest.
void HtmlWriter::Pop(std::string_view name, std::string& out) {
  std::size_t at = open_.size();
  while (at > 0 && open_[at - 1].name != name) --at;
  PopAt(at, out);
}

// Closes the open tag at `at` (counted from 1; 0: none) as Pop does.
void HtmlWriter::PopAt(std::size_t at, std::string& out) {
  if (at == 0) return;
  for (std::size_t k = open_.size(); k >= at; --k) out += "</" + open_[k - 1].name + ">";
  open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(at - 1));
  for (std::size_t k = at - 1; k < open_.size(); ++k) out += open_[k].tag;
}

void HtmlWriter::CloseAll(std::string& out) {
  for (std::size_t k = open_.size(); k > 0; --k) out += "</" + open_[k - 1].name + ">";
}

void HtmlWriter::ReopenAll(std::string& out) {
  for (const Open& open : open_) out += open.tag;
}

// An indent is a block with a left margin; the inline tags open around its start or end
// are closed before it and opened again inside, so blocks never cross them.
void HtmlWriter::SetIndent(int level, std::string& out) {
  if (level == indent_) return;
  CloseAll(out);
  if (indent_ > 1) out += "</div>";
  if (level > 1) out += fmt::format("<div style=\"margin-left:{}em\">", level - 1);
  indent_ = level;
  line_start_ = true;
  ReopenAll(out);
}

void HtmlWriter::Break(std::string& out) {
  out += "<br>";
  line_start_ = true;
}

std::string PlainText(std::string_view sjis) {
  const std::string text = SjisToUtf8(Sjis(std::string(sjis)));
  std::string plain;
  bool blank = false;  // white space seen since the last character
  auto put = [&](auto append) {
    if (blank && !plain.empty()) plain += ' ';
    blank = false;
    append();
  };
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '<') {
      const std::size_t close = text.find('>', i);
      if (close != std::string::npos) {
        i = close + 1;
        continue;
      }
    } else if (c == '&') {
      if (auto entity = DecodeEntity(std::string_view(text).substr(i))) {
        const char32_t decoded = entity->first;
        if (decoded <= 0x20 || decoded == 0xA0 || decoded == 0x7F) {
          blank = true;
        } else {
          put([&] { AppendUtf8(plain, decoded); });
        }
        i += entity->second;
        continue;
      }
    }
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
      blank = true;
    } else {
      put([&] { plain += c; });
    }
    ++i;
  }
  return plain;
}

}  // namespace tavex::source
