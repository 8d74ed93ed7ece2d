// Private to the XML document service: libxml2 handle ownership, one-time library
// set-up, error capture and the parse shared by documents and stylesheets.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

namespace tavex::xml::internal {

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

// Sets up libxml2 and libxslt once: no network for any loaded resource, the XSLT
// security preferences, and the mp3_wav extension function.
void InitLibraries();

// Collects libxml2's structured errors of the current thread while alive, instead of
// printing them; restores the previous handler at the end of its scope.
class ErrorCapture {
 public:
  ErrorCapture();
  ~ErrorCapture();
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;
  // Every message so far, one a line.
  const std::string& messages() const { return messages_; }
  // The first message ("file:line: message"), or empty.
  const std::string& first() const { return first_; }
  void Add(std::string message) noexcept;

 private:
  void* old_context_;
  xmlStructuredErrorFunc old_handler_;
  std::string messages_;
  std::string first_;
};

// Parses `text` without network access or external entities; `url` becomes the
// document's base (for relative includes). Null on failure with `error` set.
// `strip_blanks` removes the white-space-only text nodes outside xml:space="preserve".
DocPtr Parse(std::string_view text, const std::string& url, bool strip_blanks, std::string& error);

// The iconv name used for a declared encoding: code page 932 for Shift_JIS, which is
// what the files of this system's platform mean by that name.
std::string CodecName(std::string_view declared);

// Serialises `node` (or the whole document when `node` is the document) to UTF-8.
std::string Serialize(xmlNode* node);

}  // namespace tavex::xml::internal
