// The inside of LibebReader, shared by its two source files: the libeb book with its
// appendix and hook sets, the state the hooks write into, and the helpers every libeb
// call goes through. Private to the book check; no other file includes libeb's headers.
#pragma once

#include <eb/appendix.h>
#include <eb/binary.h>
#include <eb/eb.h>
#include <eb/error.h>
#include <eb/font.h>
#include <eb/text.h>
#include <fmt/format.h>
#include <iconv.h>

#include <cstdint>
#include <map>
#include <string>

#include "text/error.h"
#include "verify/libeb_reader.h"

namespace tavex::verify {

// libeb's process-wide set-up, done once and undone at exit.
struct Library {
  Library() { eb_initialize_library(); }
  ~Library() { eb_finalize_library(); }
};
inline void InitializeLibrary() { static Library library; }

inline void Check(EB_Error_Code code, const std::string& what) {
  if (code != EB_SUCCESS) throw Error(fmt::format("{}: {}", what, eb_error_message(code)));
}

inline EB_Position ToEb(BookPosition at) { return EB_Position{at.page, at.offset}; }
inline BookPosition FromEb(const EB_Position& at) { return {at.page, at.offset}; }

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

  void InstallHooks();

  static EB_Error_Code OnNarrowJis(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code, int,
                                   const unsigned int* argv);
  static EB_Error_Code OnWideJis(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code, int,
                                 const unsigned int* argv);
  static EB_Error_Code OnGaiji(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code, int,
                               const unsigned int* argv);
  static EB_Error_Code OnControl(EB_Book* book, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                 const unsigned int* argv);

  // Characters are only counted: the check needs no text, and a text that does not end
  // is stopped at the byte limit (libeb then reports the hook's error).
  static EB_Error_Code OnScanCharacter(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code, int,
                                       const unsigned int*);
  static EB_Error_Code OnScanGaiji(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                   const unsigned int* argv);
  static EB_Error_Code OnScanKeyword(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                     const unsigned int*);
  static EB_Error_Code OnScanControl(EB_Book*, EB_Appendix*, void* container, EB_Hook_Code code, int,
                                     const unsigned int* argv);
};

}  // namespace tavex::verify
