// Streaming through a large XML file one element at a time, for the exchange files whose
// rows would take many times the file's size as a whole document.
#include <libxml/xmlreader.h>

#include <cstdint>
#include <memory>

#include "fs/files.h"
#include "text/error.h"
#include "xml/xml.h"
#include "xml/xml_internal.h"

namespace tavex::xml {
namespace {

struct ReaderDeleter {
  void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};

}  // namespace

bool ForEachElement(const std::string& path, std::string_view name, const std::function<void(Node)>& visit,
                    std::string& error) {
  internal::InitLibraries();
  error.clear();
  std::string text;
  try {
    // Rule and exchange files pass between users: bounded before they are read.
    text = ReadFileBounded(path, 256ull << 20, "XML file");
  } catch (const Error& e) {
    error = e.what();
    return false;
  }
  internal::ErrorCapture capture;
  std::unique_ptr<xmlTextReader, ReaderDeleter> reader(
      xmlReaderForMemory(text.data(), static_cast<int>(text.size()), path.c_str(), internal::EncodingFor(text),
                         XML_PARSE_NONET | XML_PARSE_NOWARNING));
  if (!reader) {
    error = path + ": cannot start the XML reader";
    return false;
  }
  std::unique_ptr<internal::EntityExpansion> expansion;
  std::uint64_t expanded = 0;
  const std::string wanted(name);
  int status = xmlTextReaderRead(reader.get());
  while (status == 1) {
    const xmlChar* node_name = xmlTextReaderConstName(reader.get());
    if (xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT || node_name == nullptr ||
        wanted != reinterpret_cast<const char*>(node_name)) {
      status = xmlTextReaderRead(reader.get());
      continue;
    }
    xmlNode* element = xmlTextReaderExpand(reader.get());
    if (element == nullptr) {
      status = -1;
      break;
    }
    // Reading a node's text expands entity references; their total stays bounded as a
    // whole document's does.
    xmlDoc* doc = element->doc;
    if (doc != nullptr && (doc->intSubset != nullptr || doc->extSubset != nullptr)) {
      if (!expansion) expansion = std::make_unique<internal::EntityExpansion>(doc);
      expanded += expansion->OfList(element->children, false);
      if (expanded > internal::kMaxEntityExpansion) {
        error = path + ": entity references expand to more than 16 MiB of text";
        return false;
      }
    }
    internal::StripBlankText(element);
    visit(Node(element));
    status = xmlTextReaderNext(reader.get());  // past the element and everything in it
  }
  if (status < 0) {
    error = capture.first().empty() ? path + ": the text is not an XML document" : capture.first();
    return false;
  }
  return true;
}

}  // namespace tavex::xml
