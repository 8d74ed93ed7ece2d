// Reading a document's root start tag without building the document: the topic index
// needs only the root element's name and id of every entry, and a whole parse of each
// entry costs more than the rest of that step together.
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include "xml/xml.h"
#include "xml/xml_internal.h"

namespace tavex::xml {
namespace {

struct RootState {
  xmlParserCtxtPtr context = nullptr;
  bool found = false;
  RootElement root;
};

void OnStartElement(void* user, const xmlChar* localname, const xmlChar* prefix, const xmlChar*, int, const xmlChar**,
                    int nb_attributes, int, const xmlChar** attributes) {
  auto* state = static_cast<RootState*>(user);
  if (state->found) return;
  state->found = true;
  const auto* name = reinterpret_cast<const char*>(localname);
  state->root.name = prefix ? std::string(reinterpret_cast<const char*>(prefix)) + ":" + name : name;
  for (int i = 0; i < nb_attributes; ++i) {
    const xmlChar* const* a = attributes + 5 * i;
    std::string key = a[1] ? std::string(reinterpret_cast<const char*>(a[1])) + ":" : std::string();
    key += reinterpret_cast<const char*>(a[0]);
    state->root.attributes.emplace_back(
        std::move(key), std::string(reinterpret_cast<const char*>(a[3]), static_cast<std::size_t>(a[4] - a[3])));
  }
  xmlStopParser(state->context);
}

void IgnoreError(void*, xmlErrorPtr) {}

}  // namespace

std::optional<std::string> RootElement::Attribute(std::string_view name) const {
  for (const auto& [key, value] : attributes) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::optional<RootElement> ReadRootElement(std::string_view text) {
  internal::InitLibraries();
  // A declaration may name an encoding the stored text no longer has; the whole-document
  // loader knows how to treat that, so such texts take the long way.
  if (text.substr(0, 5) == "<?xml" || text.size() > static_cast<std::size_t>(INT32_MAX)) {
    Document doc;
    if (!doc.LoadXml(text) || doc.IsEmpty()) return std::nullopt;
    Node root = doc.DocumentElement();
    RootElement result;
    result.name = root.TagName();
    for (const char* name : {"id"}) {
      if (auto value = root.GetAttribute(name)) result.attributes.emplace_back(name, *value);
    }
    return result;
  }
  xmlSAXHandler sax{};
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = OnStartElement;
  sax.serror = IgnoreError;
  RootState state;
  xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&sax, &state, nullptr, 0, nullptr);
  if (context == nullptr) return std::nullopt;
  state.context = context;
  xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  xmlParseChunk(context, text.data(), static_cast<int>(text.size()), 1);
  xmlFreeParserCtxt(context);
  if (!state.found) return std::nullopt;
  return std::move(state.root);
}

}  // namespace tavex::xml
