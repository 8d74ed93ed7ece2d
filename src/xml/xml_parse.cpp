// Parsing for the XML document service: safe parser options, libxml2 error capture,
// the encoding that a declaration really means, and the removal of white-space-only
// text nodes that the rest of the system expects after a load.
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "text/text.h"
#include "xml/xml_internal.h"

namespace tavex::xml::internal {

namespace {

struct ParserDeleter {
  void operator()(xmlParserCtxt* parser) const { xmlFreeParserCtxt(parser); }
};

// One parser per thread, reset and reused for every document: setting up a parser
// costs about a tenth of parsing a typical entry. Null when it cannot be made.
xmlParserCtxt* ThreadParser() {
  thread_local std::unique_ptr<xmlParserCtxt, ParserDeleter> parser(xmlNewParserCtxt());
  return parser.get();
}

void StructuredError(void* context, xmlError* error) {
  if (context == nullptr || error == nullptr) return;
  std::string message = error->message ? error->message : "unknown error";
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  std::string where = error->file ? error->file : "line";
  std::string text = error->file ? where + ":" + std::to_string(error->line) + ": " + message
                                 : "line " + std::to_string(error->line) + ": " + message;
  static_cast<ErrorCapture*>(context)->Add(std::move(text));
}

bool IsBlank(const xmlChar* content) {
  if (content == nullptr) return true;
  for (const xmlChar* p = content; *p != 0; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
  }
  return true;
}

}  // namespace

void StripBlankText(xmlNode* root) {
  xmlNode* node = root;
  while (node != nullptr) {
    xmlNode* next = nullptr;
    if (node->type == XML_TEXT_NODE && IsBlank(node->content) &&
        xmlNodeGetSpacePreserve(node->parent) != 1) {
      // Find the next node in document order before unlinking this one.
      xmlNode* up = node;
      while (up != nullptr && up != root && up->next == nullptr) up = up->parent;
      next = (up == nullptr || up == root) ? nullptr : up->next;
      xmlUnlinkNode(node);
      xmlFreeNode(node);
      node = next;
      continue;
    }
    if (node->children != nullptr && (node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE)) {
      node = node->children;
      continue;
    }
    xmlNode* up = node;
    while (up != nullptr && up != root && up->next == nullptr) up = up->parent;
    node = (up == nullptr || up == root) ? nullptr : up->next;
  }
}

namespace {

// The encoding named in the XML declaration at the start of `text`, or empty.
std::string DeclaredEncoding(std::string_view text) {
  if (text.substr(0, 5) != "<?xml") return {};
  std::size_t end = text.find("?>");
  std::string_view decl = text.substr(0, end == std::string_view::npos ? 200 : end);
  std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  std::size_t quote = decl.find_first_of("\"'", at);
  if (quote == std::string_view::npos) return {};
  std::size_t close = decl.find(decl[quote], quote + 1);
  if (close == std::string_view::npos) return {};
  return std::string(decl.substr(quote + 1, close - quote - 1));
}

}  // namespace

std::uint64_t EntityExpansion::OfList(xmlNode* first, bool count_text) {
  std::uint64_t total = 0;
  std::vector<xmlNode*> pending;  // no recursion over the tree: depth is the input's
  if (first != nullptr) pending.push_back(first);
  while (!pending.empty() && total <= kMaxEntityExpansion) {
    xmlNode* node = pending.back();
    pending.pop_back();
    if (node->next != nullptr) pending.push_back(node->next);
    switch (node->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (count_text && node->content != nullptr) total += static_cast<std::uint64_t>(xmlStrlen(node->content));
        break;
      case XML_ENTITY_REF_NODE:
        total += OfEntity(node->name);
        break;
      case XML_ELEMENT_NODE:
        if (node->children != nullptr) pending.push_back(node->children);
        if (node->properties != nullptr) pending.push_back(reinterpret_cast<xmlNode*>(node->properties));
        break;
      case XML_ATTRIBUTE_NODE:
        if (node->children != nullptr) pending.push_back(node->children);
        break;
      default:
        break;
    }
  }
  return std::min(total, kMaxEntityExpansion + 1);
}

std::uint64_t EntityExpansion::OfEntity(const xmlChar* name) {
  xmlEntity* entity = xmlGetDocEntity(doc_, name);
  if (entity == nullptr) return 0;
  auto [it, inserted] = sizes_.try_emplace(entity, 0);
  if (!inserted) return it->second;
  const std::uint64_t size = OfList(entity->children, true);
  sizes_[entity] = size;
  return size;
}

ErrorCapture::ErrorCapture(std::function<void()> on_error)
    : old_context_(xmlStructuredErrorContext), old_handler_(xmlStructuredError), on_error_(std::move(on_error)) {
  xmlSetStructuredErrorFunc(this, StructuredError);
}

ErrorCapture::~ErrorCapture() { xmlSetStructuredErrorFunc(old_context_, old_handler_); }

void ErrorCapture::Add(std::string message) noexcept {
  try {
    if (on_error_) on_error_();
    if (first_.empty()) first_ = message;
    if (messages_.size() < 4096) {
      if (!messages_.empty()) messages_ += '\n';
      messages_ += message;
    }
  } catch (...) {
    // Out of memory while reporting: the failure itself is still reported by the caller.
  }
}

std::string CodecName(std::string_view declared) {
  std::string lower = AsciiLower(declared);
  if (lower == "shift_jis" || lower == "shift-jis" || lower == "sjis" || lower == "x-sjis" ||
      lower == "ms_kanji" || lower == "windows-31j" || lower == "cp932") {
    return "CP932";
  }
  return std::string(declared);
}

const char* EncodingFor(std::string_view text) {
  std::string declared = DeclaredEncoding(text);
  std::string codec = declared.empty() ? std::string() : CodecName(declared);
  if (codec == "CP932") return "CP932";
  if (AsciiLower(declared).rfind("utf-16", 0) == 0 && !text.empty() && text[0] == '<' &&
      (text.size() < 2 || text[1] != '\0')) {
    // A text handed over as UTF-8 may keep the declaration of the encoding it came from.
    return "UTF-8";
  }
  return nullptr;
}

DocPtr Parse(std::string_view text, const std::string& url, bool strip_blanks, std::string& error) {
  InitLibraries();
  error.clear();
  const char* encoding = EncodingFor(text);
  ErrorCapture capture;
  // No DTD loading, no entity substitution, no network: nothing outside the text is read.
  const int options = XML_PARSE_NONET | XML_PARSE_NOWARNING;
  const char* base = url.empty() ? nullptr : url.c_str();
  xmlParserCtxt* parser = ThreadParser();
  DocPtr doc(parser != nullptr
                 ? xmlCtxtReadMemory(parser, text.data(), static_cast<int>(text.size()), base, encoding, options)
                 : xmlReadMemory(text.data(), static_cast<int>(text.size()), base, encoding, options));
  if (!doc || xmlDocGetRootElement(doc.get()) == nullptr) {
    error = capture.first().empty() ? std::string("the text is not an XML document") : capture.first();
    return nullptr;
  }
  if ((doc->intSubset != nullptr || doc->extSubset != nullptr) &&
      EntityExpansion(doc.get()).OfList(doc->children, false) > kMaxEntityExpansion) {
    error = (url.empty() ? std::string() : url + ": ") + "entity references expand to more than 16 MiB of text";
    return nullptr;
  }
  if (strip_blanks) StripBlankText(reinterpret_cast<xmlNode*>(doc.get()));
  return doc;
}

std::string Serialize(xmlNode* node) {
  std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
  if (node->type == XML_DOCUMENT_NODE) {
    xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), "UTF-8", 0);
    if (save == nullptr) return {};
    xmlSaveDoc(save, reinterpret_cast<xmlDoc*>(node));
    xmlSaveClose(save);
  } else {
    xmlNodeDump(buffer.get(), node->doc, node, 0, 0);
  }
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

}  // namespace tavex::xml::internal
