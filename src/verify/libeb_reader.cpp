// The libeb calls behind LibebReader: opening a book and a subbook, searching, moving
// through the text and reading it, the fonts, the sounds and the appendix.
#include <algorithm>
#include <cstdint>

#include "verify/book_files.h"
#include "verify/libeb_impl.h"

namespace tavex::verify {

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
