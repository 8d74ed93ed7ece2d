// The libeb calls behind LibebReader. Two hook sets: one that shows a text as a reader
// would (characters as UTF-8, controls as tags), and a lean one for the book check that
// only notes the gaiji, links and sounds a text holds and leaves the characters as libeb
// writes them. Hooks never throw: libeb calls them from C.
#include "verify/libeb_reader.h"

#include <eb/appendix.h>
#include <eb/binary.h>
#include <eb/eb.h>
#include <eb/error.h>
#include <eb/font.h>
#include <eb/text.h>
#include <fmt/format.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "text/error.h"
#include "verify/book_files.h"

namespace tavex::verify {
namespace {

// libeb's process-wide set-up, done once and undone at exit.
struct Library {
  Library() { eb_initialize_library(); }
  ~Library() { eb_finalize_library(); }
};
void InitializeLibrary() { static Library library; }

void Check(EB_Error_Code code, const std::string& what) {
  if (code != EB_SUCCESS) throw Error(fmt::format("{}: {}", what, eb_error_message(code)));
}

EB_Position ToEb(BookPosition at) { return EB_Position{at.page, at.offset}; }
BookPosition FromEb(const EB_Position& at) { return {at.page, at.offset}; }

// An iconv descriptor from EUC-JP to UTF-8, owned.
class EucConverter {
 public:
  EucConverter() : cd_(iconv_open("UTF-8", "EUC-JP")) {}
  ~EucConverter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  EucConverter(const EucConverter&) = delete;
  EucConverter& operator=(const EucConverter&) = delete;
  std::string Convert(const std::string& euc) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return "{?}";
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(euc.size() * 3 + 4, '\0');
    char* in_p = const_cast<char*>(euc.data());
    std::size_t in_left = euc.size();
    char* out_p = out.data();
    std::size_t out_left = out.size();
    if (iconv(cd_, &in_p, &in_left, &out_p, &out_left) == static_cast<std::size_t>(-1)) return "{?}";
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

struct LibebReader::Impl {
  EB_Book book;
  EB_Appendix appendix;
  bool has_appendix = false;
  EB_Hookset show_hooks;
  EB_Hookset scan_hooks;
  EucConverter to_utf8;
  int subbook_count = 0;
  bool markup = true;
  std::string decoration;
  TextLinks* links = nullptr;  // where a showing read notes links, when asked
  TextScan* scan = nullptr;    // where a scanning read notes what it met
  std::size_t scan_bytes = 0;  // characters met by the scanning read, two bytes each
  std::size_t scan_limit = 0;  // where the scanning read stops
  bool in_keyword = false;     // the scanning read is inside a keyword (the heading)
  std::map<std::uint16_t, std::string> narrow_map, wide_map;

  Impl() {
    eb_initialize_book(&book);
    eb_initialize_appendix(&appendix);
    eb_initialize_hookset(&show_hooks);
    eb_initialize_hookset(&scan_hooks);
  }
  ~Impl() {
    eb_finalize_hookset(&scan_hooks);
    eb_finalize_hookset(&show_hooks);
    eb_finalize_appendix(&appendix);
    eb_finalize_book(&book);
  }

  void Seek(BookPosition at) {
    EB_Position position = ToEb(at);
    Check(eb_seek_text(&book, &position), fmt::format("seek {}:{}", at.page, at.offset));
  }
  BookPosition Tell() {
    EB_Position position;
    Check(eb_tell_text(&book, &position), "tell");
    return FromEb(position);
  }
  // Reads the heading or text at the current position to its end, at most `max_bytes`
  // (then `cut` is set); the characters are kept only when `keep`.
  std::string Read(bool heading, EB_Hookset* hooks, std::size_t max_bytes, bool keep, bool* cut) {
    std::string text;
    std::size_t total = 0;
    char buffer[8192];
    ssize_t length = 0;
    for (;;) {
      const EB_Error_Code error =
          heading ? eb_read_heading(&book, nullptr, hooks, this, sizeof(buffer) - 1, buffer, &length)
                  : eb_read_text(&book, nullptr, hooks, this, sizeof(buffer) - 1, buffer, &length);
      Check(error, heading ? "read heading" : "read text");
      if (length <= 0) break;
      total += static_cast<std::size_t>(length);
      if (keep) text.append(buffer, static_cast<std::size_t>(length));
      if (total > max_bytes) {
        if (cut != nullptr) *cut = true;
        break;
      }
    }
    return text;
  }

  static Impl& Self(void* container) { return *static_cast<Impl*>(container); }
  static EB_Error_Code Write(EB_Book* book, const std::string& text) {
    return eb_write_text_string(book, text.c_str());
  }

  void InstallHooks() {
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
    return Write(book, Self(container).to_utf8.Convert(euc));
  }
  static EB_Error_Code OnGaiji(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code, int,
                               const unsigned int* argv) {
    Impl& self = Self(container);
    const bool narrow = code == EB_HOOK_NARROW_FONT;
    const auto& map = narrow ? self.narrow_map : self.wide_map;
    auto it = map.find(static_cast<std::uint16_t>(argv[0]));
    if (it != map.end()) return Write(book, it->second);
    char name[16];
    std::snprintf(name, sizeof(name), "{%c:%04X}", narrow ? 'n' : 'w', argv[0]);
    return Write(book, name);
  }
  static EB_Error_Code OnControl(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                 const unsigned int* argv) {
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

  // Characters are only counted: the check needs no text, and a text that does not end
  // is stopped at the byte limit (libeb then reports the hook's error).
  static EB_Error_Code OnScanCharacter(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code, int,
                                       const unsigned int*) {
    Impl& self = Self(container);
    if (self.scan == nullptr) return EB_SUCCESS;
    self.scan_bytes += 2;
    if (!self.in_keyword) self.scan->body += 2;
    if (self.scan_bytes <= self.scan_limit) return EB_SUCCESS;
    self.scan->cut = true;
    return EB_ERR_UNEXP_TEXT;
  }
  static EB_Error_Code OnScanGaiji(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                   const unsigned int* argv) {
    Impl& self = Self(container);
    if (self.scan == nullptr) return EB_SUCCESS;
    auto& codes = code == EB_HOOK_NARROW_FONT ? self.scan->narrow_gaiji : self.scan->wide_gaiji;
    codes.push_back(static_cast<std::uint16_t>(argv[0]));
    if (!self.in_keyword) self.scan->body += 2;
    return EB_SUCCESS;
  }
  static EB_Error_Code OnScanKeyword(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                     const unsigned int*) {
    Self(container).in_keyword = code == EB_HOOK_BEGIN_KEYWORD;
    return EB_SUCCESS;
  }
  static EB_Error_Code OnScanControl(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                     const unsigned int* argv) {
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
};

std::vector<std::string> SubbookFolders(const std::string& path) {
  InitializeLibrary();
  EB_Book book;
  eb_initialize_book(&book);
  std::vector<std::string> folders;
  try {
    Check(eb_bind(&book, path.c_str()), "open book " + path);
    EB_Subbook_Code list[EB_MAX_SUBBOOKS];
    int count = 0;
    Check(eb_subbook_list(&book, list, &count), "list the subbooks of " + path);
    for (int i = 0; i < count; ++i) {
      char directory[EB_MAX_DIRECTORY_NAME_LENGTH + 1] = {};
      Check(eb_subbook_directory2(&book, list[i], directory), "subbook folder");
      folders.emplace_back(directory);
    }
  } catch (...) {
    eb_finalize_book(&book);
    throw;
  }
  eb_finalize_book(&book);
  return folders;
}

LibebReader::LibebReader(const std::string& path, int subbook) : impl_(std::make_unique<Impl>()) {
  InitializeLibrary();
  Check(eb_bind(&impl_->book, path.c_str()), "open book " + path);
  EB_Subbook_Code list[EB_MAX_SUBBOOKS];
  int count = 0;
  Check(eb_subbook_list(&impl_->book, list, &count), "list the subbooks of " + path);
  impl_->subbook_count = count;
  if (subbook < 0 || subbook >= count) throw Error(fmt::format("{} has no subbook {}", path, subbook + 1));
  // libeb looks the subbook's folder up by name in the book's folder, ".." included.
  char directory[EB_MAX_DIRECTORY_NAME_LENGTH + 1] = {};
  Check(eb_subbook_directory2(&impl_->book, list[subbook], directory), "subbook folder");
  if (!IsPlainFolderName(directory)) {
    throw Error(fmt::format("subbook {} of {} names the folder “{}”, which is not inside the book",
                            subbook + 1, path, directory));
  }
  Check(eb_set_subbook(&impl_->book, list[subbook]), fmt::format("open subbook {} of {}", subbook + 1, path));
  impl_->InstallHooks();
}

LibebReader::~LibebReader() = default;

void LibebReader::SetGaijiMap(std::map<std::uint16_t, std::string> narrow,
                              std::map<std::uint16_t, std::string> wide) {
  impl_->narrow_map = std::move(narrow);
  impl_->wide_map = std::move(wide);
}

void LibebReader::SetMarkup(bool markup) { impl_->markup = markup; }

int LibebReader::subbook_count() const { return impl_->subbook_count; }

std::string LibebReader::Title() {
  char title[EB_MAX_TITLE_LENGTH + 1];
  Check(eb_subbook_title(&impl_->book, title), "title");
  return impl_->to_utf8.Convert(title);
}

std::string LibebReader::Directory() {
  char directory[EB_MAX_DIRECTORY_NAME_LENGTH + 1];
  Check(eb_subbook_directory(&impl_->book, directory), "subbook folder");
  return directory;
}

std::vector<BookHit> LibebReader::Search(const std::string& word, bool backward) {
  return Search(word, backward, SIZE_MAX);
}

namespace {

// The hits of the search just started on `book`, 64 at a time until `max_hits`.
std::vector<BookHit> HitsOf(EB_Book* book, std::size_t max_hits) {
  std::vector<BookHit> hits;
  EB_Hit list[64];
  int count = 0, asked = 0;
  do {
    // libeb stops reading the index as soon as it has the hits asked for.
    asked = static_cast<int>(std::min<std::size_t>(64, max_hits - hits.size()));
    Check(eb_hit_list(book, asked, list, &count), "hit list");
    for (int i = 0; i < count; ++i) hits.push_back({FromEb(list[i].text), FromEb(list[i].heading)});
  } while (count == asked && hits.size() < max_hits);
  return hits;
}

}  // namespace

std::vector<BookHit> LibebReader::Search(const std::string& word, bool backward, std::size_t max_hits) {
  EB_Book* book = &impl_->book;
  Check(backward ? eb_search_endword(book, word.c_str()) : eb_search_word(book, word.c_str()), "search");
  return HitsOf(book, max_hits);
}

std::vector<BookHit> LibebReader::SearchExact(const std::string& word, std::size_t max_hits) {
  EB_Book* book = &impl_->book;
  Check(eb_search_exactword(book, word.c_str()), "exact search");
  return HitsOf(book, max_hits);
}

bool LibebReader::HasExactWordSearch() { return eb_have_exactword_search(&impl_->book) != 0; }

bool LibebReader::HasWordSearch() { return eb_have_word_search(&impl_->book) != 0; }
bool LibebReader::HasEndwordSearch() { return eb_have_endword_search(&impl_->book) != 0; }

std::string LibebReader::Heading(BookPosition at) {
  impl_->Seek(at);
  const bool markup = impl_->markup;
  impl_->markup = false;
  std::string heading;
  try {
    heading = impl_->Read(true, &impl_->show_hooks, 1 << 16, true, nullptr);
  } catch (...) {
    impl_->markup = markup;
    throw;
  }
  impl_->markup = markup;
  return heading;
}

std::string LibebReader::Text(BookPosition at, TextLinks* links) {
  impl_->Seek(at);
  impl_->links = links;
  std::string text;
  try {
    text = impl_->Read(false, &impl_->show_hooks, 64u << 20, true, nullptr);
  } catch (...) {
    impl_->links = nullptr;
    throw;
  }
  impl_->links = nullptr;
  return text;
}

std::vector<std::string> LibebReader::WalkHeadings() {
  std::vector<std::string> headings;
  std::optional<BookPosition> at = TextStart();
  while (at) {
    headings.push_back(Heading(*at));
    at = NextEntry(*at);
  }
  return headings;
}

BookPosition LibebReader::TextStart() {
  EB_Position position;
  Check(eb_text(&impl_->book, &position), "text start");
  return FromEb(position);
}

std::optional<BookPosition> LibebReader::NextEntry(BookPosition at) {
  impl_->Seek(at);
  const EB_Error_Code error = eb_forward_text(&impl_->book, nullptr);
  if (error == EB_ERR_END_OF_CONTENT) return std::nullopt;
  Check(error, fmt::format("move past the entry at {}:{}", at.page, at.offset));
  return impl_->Tell();
}

void LibebReader::ReadHeading(BookPosition at) {
  impl_->Seek(at);
  impl_->Read(true, &impl_->scan_hooks, 1 << 16, false, nullptr);
}

TextScan LibebReader::ScanText(BookPosition at, std::size_t max_bytes,
                               std::optional<BookPosition>* then_next) {
  TextScan scan;
  impl_->Seek(at);
  impl_->scan = &scan;
  impl_->scan_bytes = 0;
  impl_->scan_limit = max_bytes;
  impl_->in_keyword = false;
  try {
    impl_->Read(false, &impl_->scan_hooks, max_bytes, false, &scan.cut);
  } catch (...) {
    impl_->scan = nullptr;
    if (!scan.cut) throw;
  }
  impl_->scan = nullptr;
  scan.bytes = impl_->scan_bytes;
  if (then_next != nullptr && scan.cut) then_next->reset();
  if (then_next != nullptr && !scan.cut) {
    // Right after a whole text libeb only steps over the stop.
    const EB_Error_Code error = eb_forward_text(&impl_->book, nullptr);
    if (error == EB_ERR_END_OF_CONTENT) {
      then_next->reset();
    } else {
      Check(error, fmt::format("move past the entry at {}:{}", at.page, at.offset));
      *then_next = impl_->Tell();
    }
  }
  return scan;
}

std::string LibebReader::RawBytes(BookPosition at, std::size_t size) {
  impl_->Seek(at);
  std::string bytes(size, '\0');
  std::size_t done = 0;
  while (done < size) {
    ssize_t length = 0;
    Check(eb_read_rawtext(&impl_->book, size - done, bytes.data() + done, &length),
          fmt::format("read {}:{}", at.page, at.offset));
    if (length <= 0) break;
    done += static_cast<std::size_t>(length);
  }
  bytes.resize(done);
  return bytes;
}

bool LibebReader::HasCopyright() { return eb_have_copyright(&impl_->book) != 0; }

BookPosition LibebReader::Copyright() {
  EB_Position position;
  Check(eb_copyright(&impl_->book, &position), "copyright");
  return FromEb(position);
}

bool LibebReader::HasMenu() { return eb_have_menu(&impl_->book) != 0; }

BookPosition LibebReader::Menu() {
  EB_Position position;
  Check(eb_menu(&impl_->book, &position), "menu");
  return FromEb(position);
}

std::optional<FontRange> LibebReader::NarrowFont() {
  if (eb_set_font(&impl_->book, EB_FONT_16) != EB_SUCCESS || !eb_have_narrow_font(&impl_->book))
    return std::nullopt;
  FontRange range;
  if (eb_narrow_font_start(&impl_->book, &range.start) != EB_SUCCESS) return std::nullopt;
  if (eb_narrow_font_end(&impl_->book, &range.end) != EB_SUCCESS) return std::nullopt;
  return range;
}

std::optional<FontRange> LibebReader::WideFont() {
  if (eb_set_font(&impl_->book, EB_FONT_16) != EB_SUCCESS || !eb_have_wide_font(&impl_->book))
    return std::nullopt;
  FontRange range;
  if (eb_wide_font_start(&impl_->book, &range.start) != EB_SUCCESS) return std::nullopt;
  if (eb_wide_font_end(&impl_->book, &range.end) != EB_SUCCESS) return std::nullopt;
  return range;
}

std::array<std::uint16_t, 16> LibebReader::Glyph(std::uint16_t code, bool narrow) {
  EB_Book* book = &impl_->book;
  Check(eb_set_font(book, EB_FONT_16), "font");
  char bitmap[EB_SIZE_WIDE_FONT_16];
  if (narrow) {
    Check(eb_narrow_font_character_bitmap(book, code, bitmap), fmt::format("narrow glyph {:04X}", code));
  } else {
    Check(eb_wide_font_character_bitmap(book, code, bitmap), fmt::format("wide glyph {:04X}", code));
  }
  std::array<std::uint16_t, 16> rows{};
  for (int row = 0; row < 16; ++row) {
    const auto high = static_cast<unsigned char>(bitmap[narrow ? row : row * 2]);
    const auto low = narrow ? 0 : static_cast<unsigned char>(bitmap[row * 2 + 1]);
    rows[row] = static_cast<std::uint16_t>((high << 8) | low);
  }
  return rows;
}

void LibebReader::BindAppendix(const std::string& path, int subbook) {
  Check(eb_bind_appendix(&impl_->appendix, path.c_str()), "open appendix " + path);
  EB_Subbook_Code list[EB_MAX_SUBBOOKS];
  int count = 0;
  Check(eb_appendix_subbook_list(&impl_->appendix, list, &count), "list the subbooks of " + path);
  if (subbook < 0 || subbook >= count) throw Error(fmt::format("{} has no subbook {}", path, subbook + 1));
  char directory[EB_MAX_DIRECTORY_NAME_LENGTH + 1] = {};
  Check(eb_appendix_subbook_directory2(&impl_->appendix, list[subbook], directory),
        "appendix subbook folder");
  if (!IsPlainFolderName(directory)) {
    throw Error(fmt::format("subbook {} of {} names the folder “{}”, which is not inside the appendix",
                            subbook + 1, path, directory));
  }
  Check(eb_set_appendix_subbook(&impl_->appendix, list[subbook]),
        fmt::format("open subbook {} of {}", subbook + 1, path));
  impl_->has_appendix = true;
}

std::optional<std::string> LibebReader::AltText(std::uint16_t code, bool narrow) {
  if (!impl_->has_appendix) return std::nullopt;
  char text[EB_MAX_ALTERNATION_TEXT_LENGTH + 1] = {};
  const EB_Error_Code error = narrow ? eb_narrow_alt_character_text(&impl_->appendix, code, text)
                                     : eb_wide_alt_character_text(&impl_->appendix, code, text);
  if (error != EB_SUCCESS || text[0] == '\0') return std::nullopt;
  return std::string(text);
}

std::string LibebReader::Wave(BookPosition start, BookPosition end) {
  EB_Position s = ToEb(start);
  EB_Position e = ToEb(end);
  Check(eb_set_binary_wave(&impl_->book, &s, &e), "wave");
  std::string data;
  char buffer[4096];
  ssize_t length = 0;
  do {
    Check(eb_read_binary(&impl_->book, sizeof(buffer), buffer, &length), "read wave");
    data.append(buffer, static_cast<std::size_t>(length));
  } while (length > 0);
  return data;
}

std::string EucToUtf8(const std::string& euc) {
  EucConverter converter;
  return converter.Convert(euc);
}

}  // namespace tavex::verify
