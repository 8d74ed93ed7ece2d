// A small reader of EPWING books over libeb, the library Linux readers are built on:
// the tests read the written book back through it as an independent check. Used by
// the tests only.
#pragma once

#include <eb/binary.h>
#include <eb/eb.h>
#include <eb/error.h>
#include <eb/font.h>
#include <eb/text.h>
#include <iconv.h>

#include <array>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavex::epwing::testing {

// One position in the book, as libeb gives it.
struct BookPosition {
  int page = 0;
  int offset = 0;
  friend bool operator==(const BookPosition&, const BookPosition&) = default;
  friend bool operator<(const BookPosition& a, const BookPosition& b) {
    return a.page != b.page ? a.page < b.page : a.offset < b.offset;
  }
};

// A search hit: where the entry's text and heading are.
struct BookHit {
  BookPosition text;
  BookPosition heading;
};

// What a text's links and sounds point at, in text order.
struct TextLinks {
  std::vector<BookPosition> references;
  std::vector<std::pair<BookPosition, BookPosition>> sounds;
};

class LibebReader {
 public:
  // Opens the book's first subbook. Throws std::runtime_error with libeb's message.
  explicit LibebReader(const std::string& path) {
    Check(eb_initialize_library(), "initialize");
    eb_initialize_book(&book_);
    Check(eb_bind(&book_, path.c_str()), "bind " + path);
    EB_Subbook_Code list[EB_MAX_SUBBOOKS];
    int count = 0;
    Check(eb_subbook_list(&book_, list, &count), "subbooks");
    if (count != 1) throw std::runtime_error("expected one subbook");
    Check(eb_set_subbook(&book_, list[0]), "subbook");
    eb_initialize_hookset(&hooks_);
    InstallHooks();
    to_utf8_ = iconv_open("UTF-8", "EUC-JP");
  }
  ~LibebReader() {
    iconv_close(to_utf8_);
    eb_finalize_hookset(&hooks_);
    eb_finalize_book(&book_);
    eb_finalize_library();
  }
  LibebReader(const LibebReader&) = delete;
  LibebReader& operator=(const LibebReader&) = delete;

  // Gaiji codes shown as their Unicode characters (the book source's map); unknown ones
  // show as "{n:A121}" or "{w:A121}".
  void SetGaijiMap(std::map<std::uint16_t, std::string> narrow, std::map<std::uint16_t, std::string> wide) {
    narrow_map_ = std::move(narrow);
    wide_map_ = std::move(wide);
  }
  // With markup, controls show as tags: <b>…</b>, <i>…</i>, <sub>, <sup>, <indent=N>,
  // <key>…</key>, <ref>…</ref>, <snd>…</snd>; without, only the characters and line ends.
  void SetMarkup(bool markup) { markup_ = markup; }

  std::string Title() {
    char title[EB_MAX_TITLE_LENGTH + 1];
    Check(eb_subbook_title(&book_, title), "title");
    return Utf8(title);
  }

  // Forward or backward search for `word` (EUC-JP or ASCII).
  std::vector<BookHit> Search(const std::string& word, bool backward) {
    const EB_Error_Code error =
        backward ? eb_search_endword(&book_, word.c_str()) : eb_search_word(&book_, word.c_str());
    Check(error, "search " + word);
    std::vector<BookHit> hits;
    EB_Hit list[64];
    int count = 0;
    do {
      Check(eb_hit_list(&book_, 64, list, &count), "hit list " + word);
      for (int i = 0; i < count; ++i) {
        hits.push_back(
            {{list[i].text.page, list[i].text.offset}, {list[i].heading.page, list[i].heading.offset}});
      }
    } while (count == 64);
    return hits;
  }

  // The heading's characters, without markup.
  std::string Heading(BookPosition at) {
    Seek(at);
    const bool markup = markup_;
    markup_ = false;
    std::string heading = Read(true);
    markup_ = markup;
    return heading;
  }
  std::string Text(BookPosition at, TextLinks* links = nullptr) {
    Seek(at);
    links_ = links;
    std::string text = Read(false);
    links_ = nullptr;
    return text;
  }
  // The headings of every entry, walking the text from its start entry by entry, as
  // readers that list a book's headwords do.
  std::vector<std::string> WalkHeadings() {
    std::vector<std::string> headings;
    EB_Position position;
    Check(eb_text(&book_, &position), "text start");
    Check(eb_seek_text(&book_, &position), "seek");
    for (;;) {
      Check(eb_tell_text(&book_, &position), "tell");
      headings.push_back(Heading({position.page, position.offset}));
      Check(eb_seek_text(&book_, &position), "seek");
      const EB_Error_Code error = eb_forward_text(&book_, nullptr);
      if (error == EB_ERR_END_OF_CONTENT) break;
      Check(error, "forward");
    }
    return headings;
  }

  BookPosition Copyright() {
    EB_Position position;
    Check(eb_copyright(&book_, &position), "copyright");
    return {position.page, position.offset};
  }

  // The 16-dot glyph of gaiji `code`: 16 rows, leftmost pixel in the high bit.
  std::array<std::uint16_t, 16> Glyph(std::uint16_t code, bool narrow) {
    Check(eb_set_font(&book_, EB_FONT_16), "font");
    char bitmap[EB_SIZE_WIDE_FONT_16];
    if (narrow) {
      Check(eb_narrow_font_character_bitmap(&book_, code, bitmap), "narrow glyph");
    } else {
      Check(eb_wide_font_character_bitmap(&book_, code, bitmap), "wide glyph");
    }
    std::array<std::uint16_t, 16> rows{};
    for (int row = 0; row < 16; ++row) {
      const auto high = static_cast<unsigned char>(bitmap[narrow ? row : row * 2]);
      const auto low = narrow ? 0 : static_cast<unsigned char>(bitmap[row * 2 + 1]);
      rows[row] = static_cast<std::uint16_t>((high << 8) | low);
    }
    return rows;
  }

  // The WAVE file libeb rebuilds from the sound between `start` and `end`.
  std::string Wave(BookPosition start, BookPosition end) {
    EB_Position s{start.page, start.offset};
    EB_Position e{end.page, end.offset};
    Check(eb_set_binary_wave(&book_, &s, &e), "wave");
    std::string data;
    char buffer[4096];
    ssize_t length = 0;
    do {
      Check(eb_read_binary(&book_, sizeof(buffer), buffer, &length), "read wave");
      data.append(buffer, static_cast<std::size_t>(length));
    } while (length > 0);
    return data;
  }

 private:
  static void Check(EB_Error_Code code, const std::string& what) {
    if (code != EB_SUCCESS) throw std::runtime_error(what + ": " + eb_error_message(code));
  }
  void Seek(BookPosition at) {
    EB_Position position{at.page, at.offset};
    Check(eb_seek_text(&book_, &position), "seek");
  }
  std::string Read(bool heading) {
    std::string text;
    char buffer[4096];
    ssize_t length = 0;
    for (;;) {
      const EB_Error_Code error =
          heading ? eb_read_heading(&book_, nullptr, &hooks_, this, sizeof(buffer) - 1, buffer, &length)
                  : eb_read_text(&book_, nullptr, &hooks_, this, sizeof(buffer) - 1, buffer, &length);
      Check(error, "read");
      if (length <= 0) break;
      text.append(buffer, static_cast<std::size_t>(length));
    }
    return text;
  }
  std::string Utf8(const std::string& euc) {
    iconv(to_utf8_, nullptr, nullptr, nullptr, nullptr);
    std::string out(euc.size() * 3 + 4, '\0');
    char* in_p = const_cast<char*>(euc.data());
    std::size_t in_left = euc.size();
    char* out_p = out.data();
    std::size_t out_left = out.size();
    if (iconv(to_utf8_, &in_p, &in_left, &out_p, &out_left) == static_cast<std::size_t>(-1)) return "{?}";
    out.resize(out.size() - out_left);
    return out;
  }

  static LibebReader& Self(void* container) { return *static_cast<LibebReader*>(container); }
  static EB_Error_Code Write(EB_Book* book, const std::string& text) {
    return eb_write_text_string(book, text.c_str());
  }

  void InstallHooks() {
    static const EB_Hook hooks[] = {{EB_HOOK_NARROW_JISX0208, &OnNarrowJis},
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
    Check(eb_set_hooks(&hooks_, hooks), "hooks");
  }

  static EB_Error_Code OnNarrowJis(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code, int,
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
  static EB_Error_Code OnWideJis(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code, int,
                                 const unsigned int* argv) {
    const char euc[3] = {static_cast<char>(argv[0] >> 8), static_cast<char>(argv[0] & 0xFF), 0};
    return Write(book, Self(container).Utf8(euc));
  }
  static EB_Error_Code OnGaiji(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code, int,
                               const unsigned int* argv) {
    LibebReader& self = Self(container);
    const bool narrow = code == EB_HOOK_NARROW_FONT;
    const auto& map = narrow ? self.narrow_map_ : self.wide_map_;
    auto it = map.find(static_cast<std::uint16_t>(argv[0]));
    if (it != map.end()) return Write(book, it->second);
    char name[16];
    std::snprintf(name, sizeof(name), "{%c:%04X}", narrow ? 'n' : 'w', argv[0]);
    return Write(book, name);
  }
  static EB_Error_Code OnControl(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                 const unsigned int* argv) {
    LibebReader& self = Self(container);
    if (code == EB_HOOK_NEWLINE) return Write(book, "\n");
    if (code == EB_HOOK_END_REFERENCE && self.links_ != nullptr) {
      self.links_->references.push_back({static_cast<int>(argv[1]), static_cast<int>(argv[2])});
    }
    if (code == EB_HOOK_BEGIN_WAVE && self.links_ != nullptr) {
      self.links_->sounds.push_back({{static_cast<int>(argv[2]), static_cast<int>(argv[3])},
                                     {static_cast<int>(argv[4]), static_cast<int>(argv[5])}});
    }
    if (!self.markup_) return EB_SUCCESS;
    switch (code) {
      case EB_HOOK_SET_INDENT:
        return Write(book, "<indent=" + std::to_string(argv[1]) + ">");
      case EB_HOOK_BEGIN_DECORATION:
        self.decoration_ = argv[1] == 3 ? "b" : argv[1] == 1 ? "i" : "?";
        return Write(book, "<" + self.decoration_ + ">");
      case EB_HOOK_END_DECORATION:
        return Write(book, "</" + self.decoration_ + ">");
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

  EB_Book book_;
  EB_Hookset hooks_;
  iconv_t to_utf8_;
  bool markup_ = true;
  std::string decoration_;
  TextLinks* links_ = nullptr;
  std::map<std::uint16_t, std::string> narrow_map_, wide_map_;
};

}  // namespace tavex::epwing::testing
