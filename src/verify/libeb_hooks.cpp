// The libeb hooks behind LibebReader's texts. Two hook sets: one that shows a text as a
// reader would (characters as UTF-8, controls as tags), and a lean one for the book
// check that only notes the gaiji, links and sounds a text holds and leaves the
// characters as libeb writes them. Hooks never throw: libeb calls them from C.
#include <cstdio>
#include <map>

#include "verify/libeb_impl.h"

namespace tavex::verify {

void LibebReader::Impl::InstallHooks() {
  static const EB_Hook show[] = {{EB_HOOK_NARROW_JISX0208, &OnNarrowJis},
                                 {EB_HOOK_WIDE_JISX0208, &OnWideJis},
                                 {EB_HOOK_NARROW_FONT, &OnGaiji},
                                 {EB_HOOK_WIDE_FONT, &OnGaiji},
                                 {EB_HOOK_NEWLINE, &OnControl},
                                 {EB_HOOK_SET_INDENT, &OnControl},
                                 {EB_HOOK_BEGIN_DECORATION, &OnControl},
                                 {EB_HOOK_END_DECORATION, &OnControl},
                                 {EB_HOOK_BEGIN_SUBSCRIPT, &OnControl},
                                 {EB_HOOK_END_SUBSCRIPT, &OnControl},
                                 {EB_HOOK_BEGIN_SUPERSCRIPT, &OnControl},
                                 {EB_HOOK_END_SUPERSCRIPT, &OnControl},
                                 {EB_HOOK_BEGIN_KEYWORD, &OnControl},
                                 {EB_HOOK_END_KEYWORD, &OnControl},
                                 {EB_HOOK_BEGIN_REFERENCE, &OnControl},
                                 {EB_HOOK_END_REFERENCE, &OnControl},
                                 {EB_HOOK_BEGIN_WAVE, &OnControl},
                                 {EB_HOOK_END_WAVE, &OnControl},
                                 {EB_HOOK_NULL, nullptr}};
  Check(eb_set_hooks(&show_hooks, show), "hooks");
  static const EB_Hook scan[] = {{EB_HOOK_NARROW_JISX0208, &OnScanCharacter},
                                 {EB_HOOK_WIDE_JISX0208, &OnScanCharacter},
                                 {EB_HOOK_NARROW_FONT, &OnScanGaiji},
                                 {EB_HOOK_WIDE_FONT, &OnScanGaiji},
                                 {EB_HOOK_END_REFERENCE, &OnScanControl},
                                 {EB_HOOK_BEGIN_WAVE, &OnScanControl},
                                 {EB_HOOK_BEGIN_KEYWORD, &OnScanKeyword},
                                 {EB_HOOK_END_KEYWORD, &OnScanKeyword},
                                 {EB_HOOK_NULL, nullptr}};
  Check(eb_set_hooks(&scan_hooks, scan), "hooks");
}

EB_Error_Code LibebReader::Impl::OnNarrowJis(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code, int,
                                             const unsigned int* argv) {
  const unsigned int c = argv[0];
  // Full-width ASCII in a narrow section is ASCII.
  if (c == 0xA1A1) return Write(book, " ");
  if (c >= 0xA3B0 && c <= 0xA3FA) return Write(book, std::string(1, static_cast<char>(c - 0xA380)));
  static const std::map<unsigned int, char> kSymbols = {
      {0xA1AA, '!'},  {0xA1C9, '"'}, {0xA1F4, '#'}, {0xA1F0, '$'}, {0xA1F3, '%'}, {0xA1F5, '&'},
      {0xA1C7, '\''}, {0xA1CA, '('}, {0xA1CB, ')'}, {0xA1F6, '*'}, {0xA1DC, '+'}, {0xA1A4, ','},
      {0xA1DD, '-'},  {0xA1A5, '.'}, {0xA1BF, '/'}, {0xA1A7, ':'}, {0xA1A8, ';'}, {0xA1E3, '<'},
      {0xA1E1, '='},  {0xA1E4, '>'}, {0xA1A9, '?'}, {0xA1F7, '@'}, {0xA1CE, '['}, {0xA1C0, '\\'},
      {0xA1CF, ']'},  {0xA1B0, '^'}, {0xA1B2, '_'}, {0xA1C6, '`'}, {0xA1D0, '{'}, {0xA1C3, '|'},
      {0xA1D1, '}'},  {0xA1C1, '~'}};
  auto it = kSymbols.find(c);
  if (it != kSymbols.end()) return Write(book, std::string(1, it->second));
  return OnWideJis(book, nullptr, container, 0, 0, argv);
}

EB_Error_Code LibebReader::Impl::OnWideJis(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code, int,
                                           const unsigned int* argv) {
  const char euc[3] = {static_cast<char>(argv[0] >> 8), static_cast<char>(argv[0] & 0xFF), 0};
  return Write(book, Self(container).to_utf8.Convert(euc));
}

EB_Error_Code LibebReader::Impl::OnGaiji(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                         const unsigned int* argv) {
  Impl& self = Self(container);
  const bool narrow = code == EB_HOOK_NARROW_FONT;
  const auto& map = narrow ? self.narrow_map : self.wide_map;
  auto it = map.find(static_cast<std::uint16_t>(argv[0]));
  if (it != map.end()) return Write(book, it->second);
  // The book's appendix, when bound, says what the gaiji stands for, as eblook shows it.
  char text[EB_MAX_ALTERNATION_TEXT_LENGTH + 1] = {};
  if (self.has_appendix &&
      (narrow ? eb_narrow_alt_character_text : eb_wide_alt_character_text)(&self.appendix, argv[0], text) ==
          EB_SUCCESS &&
      text[0] != '\0') {
    return Write(book, text);
  }
  char name[16];
  std::snprintf(name, sizeof(name), "{%c:%04X}", narrow ? 'n' : 'w', argv[0]);
  return Write(book, name);
}

EB_Error_Code LibebReader::Impl::OnControl(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code,
                                           int, const unsigned int* argv) {
  Impl& self = Self(container);
  if (code == EB_HOOK_NEWLINE) return Write(book, "\n");
  if (code == EB_HOOK_END_REFERENCE && self.links != nullptr) {
    self.links->references.push_back({static_cast<int>(argv[1]), static_cast<int>(argv[2])});
  }
  if (code == EB_HOOK_BEGIN_WAVE && self.links != nullptr) {
    self.links->sounds.push_back({{static_cast<int>(argv[2]), static_cast<int>(argv[3])},
                                  {static_cast<int>(argv[4]), static_cast<int>(argv[5])}});
  }
  if (!self.markup) return EB_SUCCESS;
  switch (code) {
    case EB_HOOK_SET_INDENT:
      return Write(book, "<indent=" + std::to_string(argv[1]) + ">");
    case EB_HOOK_BEGIN_DECORATION:
      self.decoration = argv[1] == 3 ? "b" : argv[1] == 1 ? "i" : "?";
      return Write(book, "<" + self.decoration + ">");
    case EB_HOOK_END_DECORATION:
      return Write(book, "</" + self.decoration + ">");
    case EB_HOOK_BEGIN_SUBSCRIPT:
      return Write(book, "<sub>");
    case EB_HOOK_END_SUBSCRIPT:
      return Write(book, "</sub>");
    case EB_HOOK_BEGIN_SUPERSCRIPT:
      return Write(book, "<sup>");
    case EB_HOOK_END_SUPERSCRIPT:
      return Write(book, "</sup>");
    case EB_HOOK_BEGIN_KEYWORD:
      return Write(book, "<key>");
    case EB_HOOK_END_KEYWORD:
      return Write(book, "</key>");
    case EB_HOOK_BEGIN_REFERENCE:
      return Write(book, "<ref>");
    case EB_HOOK_END_REFERENCE:
      return Write(book, "</ref>");
    case EB_HOOK_BEGIN_WAVE:
      return Write(book, "<snd>");
    case EB_HOOK_END_WAVE:
      return Write(book, "</snd>");
    default:
      return EB_SUCCESS;
  }
}

EB_Error_Code LibebReader::Impl::OnScanCharacter(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code, int,
                                                 const unsigned int*) {
  Impl& self = Self(container);
  if (self.scan == nullptr) return EB_SUCCESS;
  self.scan_bytes += 2;
  if (!self.in_keyword) self.scan->body += 2;
  if (self.scan_bytes <= self.scan_limit) return EB_SUCCESS;
  self.scan->cut = true;
  return EB_ERR_UNEXP_TEXT;
}

EB_Error_Code LibebReader::Impl::OnScanGaiji(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                             const unsigned int* argv) {
  Impl& self = Self(container);
  if (self.scan == nullptr) return EB_SUCCESS;
  auto& codes = code == EB_HOOK_NARROW_FONT ? self.scan->narrow_gaiji : self.scan->wide_gaiji;
  codes.push_back(static_cast<std::uint16_t>(argv[0]));
  if (!self.in_keyword) self.scan->body += 2;
  return EB_SUCCESS;
}

EB_Error_Code LibebReader::Impl::OnScanKeyword(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code,
                                               int, const unsigned int*) {
  Self(container).in_keyword = code == EB_HOOK_BEGIN_KEYWORD;
  return EB_SUCCESS;
}

EB_Error_Code LibebReader::Impl::OnScanControl(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code,
                                               int, const unsigned int* argv) {
  Impl& self = Self(container);
  if (self.scan == nullptr) return EB_SUCCESS;
  if (code == EB_HOOK_END_REFERENCE) {
    self.scan->links.references.push_back({static_cast<int>(argv[1]), static_cast<int>(argv[2])});
  } else {
    self.scan->links.sounds.push_back({{static_cast<int>(argv[2]), static_cast<int>(argv[3])},
                                       {static_cast<int>(argv[4]), static_cast<int>(argv[5])}});
  }
  return EB_SUCCESS;
}
}  // namespace tavex::verify
