// Pretty printing for the entry views: libxml2's indenting serialiser with one tab
// per level and CR LF line ends, under the declaration the views expect to replace.
#include <libxml/xmlsave.h>

#include "text/text.h"
#include "xml/xml.h"
#include "xml/xml_internal.h"

namespace tavex::xml {

namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"no\"?>";

// Sets libxml2's indent string for the current thread and restores it afterwards.
class IndentScope {
 public:
  explicit IndentScope(const char* indent) : old_(xmlTreeIndentString), old_output_(xmlIndentTreeOutput) {
    xmlTreeIndentString = indent;
    xmlIndentTreeOutput = 1;
  }
  ~IndentScope() {
    xmlTreeIndentString = old_;
    xmlIndentTreeOutput = old_output_;
  }
  IndentScope(const IndentScope&) = delete;
  IndentScope& operator=(const IndentScope&) = delete;

 private:
  const char* old_;
  int old_output_;
};

}  // namespace

std::string PrettyPrint(std::string_view xml_text) {
  std::string error;
  internal::DocPtr doc = internal::Parse(xml_text, std::string(), true, error);
  if (!doc) return {};

  std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
  {
    internal::ErrorCapture capture;
    IndentScope indent("\t");  // read by the save context when it is created
    xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_FORMAT | XML_SAVE_NO_DECL);
    if (save == nullptr) return {};
    xmlSaveDoc(save, doc.get());
    xmlSaveClose(save);
  }
  std::string body(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                   static_cast<std::size_t>(xmlBufferLength(buffer.get())));
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  return std::string(kDeclaration) + "\r\n" + ReplaceAll(body, "\n", "\r\n");
}

}  // namespace tavex::xml
