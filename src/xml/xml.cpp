// Documents and nodes of the XML document service over libxml2's tree.
#include "xml/xml.h"

#include <libxml/xmlsave.h>

#include "text/error.h"
#include "fs/files.h"
#include "xml/xml_internal.h"

namespace tavex::xml {

namespace {

using internal::DocPtr;

xmlNode* Raw(const Node& node) { return static_cast<xmlNode*>(node.raw()); }
const xmlChar* X(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

// Takes ownership of a string libxml2 allocated.
std::string Take(xmlChar* text) {
  if (text == nullptr) return {};
  std::string out(reinterpret_cast<const char*>(text));
  xmlFree(text);
  return out;
}

std::string QualifiedName(const xmlNode* node) {
  std::string name = reinterpret_cast<const char*>(node->name);
  if (node->ns != nullptr && node->ns->prefix != nullptr) {
    return reinterpret_cast<const char*>(node->ns->prefix) + (":" + name);
  }
  return name;
}

// Whether the element's qualified name is `name` (or `name` is "*"), compared in place:
// searches visit every node of an entry, so they build no name strings.
bool NameMatches(const xmlNode* node, std::string_view name) {
  if (node->type != XML_ELEMENT_NODE) return false;
  if (name == "*") return true;
  const std::string_view local = reinterpret_cast<const char*>(node->name);
  if (node->ns == nullptr || node->ns->prefix == nullptr) return local == name;
  const std::string_view prefix = reinterpret_cast<const char*>(node->ns->prefix);
  return name.size() == prefix.size() + 1 + local.size() && name.starts_with(prefix) && name[prefix.size()] == ':' &&
         name.ends_with(local);
}

// Appends the elements named `name` below `root` (not `root` itself) in document order.
void CollectElements(xmlNode* root, std::string_view name, std::vector<Node>& out) {
  xmlNode* node = root->children;
  while (node != nullptr) {
    if (NameMatches(node, name)) out.emplace_back(node);
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
      node = node->children;
      continue;
    }
    while (node != nullptr && node != root && node->next == nullptr) node = node->parent;
    node = (node == nullptr || node == root) ? nullptr : node->next;
  }
}

// The value of the pseudo-attribute `key` in a declaration text ("version=\"1.0\" ...").
std::string PseudoAttribute(std::string_view data, std::string_view key) {
  std::size_t at = data.find(key);
  while (at != std::string_view::npos) {
    std::size_t eq = data.find_first_not_of(" \t\r\n", at + key.size());
    if (eq != std::string_view::npos && data[eq] == '=') {
      std::size_t quote = data.find_first_of("\"'", eq + 1);
      if (quote == std::string_view::npos) return {};
      std::size_t close = data.find(data[quote], quote + 1);
      if (close == std::string_view::npos) return {};
      return std::string(data.substr(quote + 1, close - quote - 1));
    }
    at = data.find(key, at + 1);
  }
  return {};
}

}  // namespace

NodeKind Node::Kind() const {
  switch (Raw(*this)->type) {
    case XML_ELEMENT_NODE: return NodeKind::kElement;
    case XML_TEXT_NODE: return NodeKind::kText;
    case XML_CDATA_SECTION_NODE: return NodeKind::kCData;
    case XML_COMMENT_NODE: return NodeKind::kComment;
    case XML_PI_NODE: return NodeKind::kProcessingInstruction;
    default: return NodeKind::kOther;
  }
}

std::string Node::TagName() const {
  xmlNode* node = Raw(*this);
  return node->type == XML_ELEMENT_NODE ? QualifiedName(node) : std::string();
}

std::vector<std::pair<std::string, std::string>> Node::Attributes() const {
  std::vector<std::pair<std::string, std::string>> attributes;
  xmlNode* node = Raw(*this);
  if (node->type != XML_ELEMENT_NODE) return attributes;
  for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
    std::string qualified = reinterpret_cast<const char*>(attr->name);
    if (attr->ns != nullptr && attr->ns->prefix != nullptr) {
      qualified = reinterpret_cast<const char*>(attr->ns->prefix) + (":" + qualified);
    }
    attributes.emplace_back(std::move(qualified), Take(xmlNodeGetContent(reinterpret_cast<xmlNode*>(attr))));
  }
  return attributes;
}

std::optional<std::string> Node::GetAttribute(std::string_view name) const {
  xmlNode* node = Raw(*this);
  if (node->type != XML_ELEMENT_NODE) return std::nullopt;
  for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
    std::string qualified = reinterpret_cast<const char*>(attr->name);
    if (attr->ns != nullptr && attr->ns->prefix != nullptr) {
      qualified = reinterpret_cast<const char*>(attr->ns->prefix) + (":" + qualified);
    }
    if (qualified == name) return Take(xmlNodeGetContent(reinterpret_cast<xmlNode*>(attr)));
  }
  return std::nullopt;
}

std::vector<Node> Node::Children() const {
  std::vector<Node> out;
  for (xmlNode* child = Raw(*this)->children; child != nullptr; child = child->next) out.emplace_back(child);
  return out;
}

Node Node::FirstChild() const { return Node(Raw(*this)->children); }

Node Node::NextSibling() const { return Node(Raw(*this)->next); }

std::string_view Node::Content() const {
  const xmlNode* node = Raw(*this);
  if ((node->type != XML_TEXT_NODE && node->type != XML_CDATA_SECTION_NODE) || node->content == nullptr) return {};
  return reinterpret_cast<const char*>(node->content);
}

std::string Node::Text() const { return Take(xmlNodeGetContent(Raw(*this))); }

std::string Node::Markup() const { return internal::Serialize(Raw(*this)); }

long Node::Line() const { return raw_ == nullptr ? 0 : xmlGetLineNo(Raw(*this)); }

std::vector<Node> Node::ElementsByTagName(std::string_view name) const {
  std::vector<Node> out;
  CollectElements(Raw(*this), name, out);
  return out;
}

Node Node::AppendElement(std::string_view name) {
  xmlNode* parent = Raw(*this);
  xmlNode* child = xmlNewDocNode(parent->doc, nullptr, X(std::string(name)), nullptr);
  if (child == nullptr) throw Error("cannot create element " + std::string(name));
  return Node(xmlAddChild(parent, child));
}

void Node::SetText(std::string_view text) {
  xmlNode* node = Raw(*this);
  xmlNodeSetContent(node, nullptr);
  // Added as plain text: "&" and "<" are characters here, escaped only when saved.
  if (!text.empty()) xmlNodeAddContentLen(node, reinterpret_cast<const xmlChar*>(text.data()), static_cast<int>(text.size()));
}

struct Document::Impl {
  DocPtr doc;
  std::string last_error;
  // The data of the "xml" processing instruction, written as the declaration by Save.
  std::string declaration;

  xmlDoc* Ensure() {
    if (!doc) doc.reset(xmlNewDoc(BAD_CAST "1.0"));
    if (!doc) throw Error("cannot create an xml document: out of memory");
    return doc.get();
  }
};

// The libraries are set up before a document is built, so that every block is counted.
Document::Document() : impl_(std::make_unique<Impl>()) { internal::InitLibraries(); }
Document::~Document() = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

bool Document::LoadXml(std::string_view text) {
  impl_->doc.reset();
  impl_->declaration.clear();
  impl_->doc = internal::Parse(text, std::string(), true, impl_->last_error);
  return impl_->doc != nullptr;
}

bool Document::Load(const std::string& path) {
  impl_->doc.reset();
  impl_->declaration.clear();
  std::string text;
  try {
    // Rule and exchange files pass between users: bounded before they are read.
    text = ReadFileBounded(path, 256ull << 20, "XML file");
  } catch (const Error& e) {
    impl_->last_error = e.what();
    return false;
  }
  impl_->doc = internal::Parse(text, path, true, impl_->last_error);
  return impl_->doc != nullptr;
}

const std::string& Document::LastError() const { return impl_->last_error; }

bool Document::IsEmpty() const { return !impl_->doc || xmlDocGetRootElement(impl_->doc.get()) == nullptr; }

Node Document::DocumentElement() const {
  return impl_->doc ? Node(xmlDocGetRootElement(impl_->doc.get())) : Node();
}

std::string Document::Markup() const {
  if (IsEmpty()) return {};
  return internal::Serialize(reinterpret_cast<xmlNode*>(impl_->doc.get()));
}

std::vector<Node> Document::ElementsByTagName(std::string_view name) const {
  std::vector<Node> out;
  if (impl_->doc) CollectElements(reinterpret_cast<xmlNode*>(impl_->doc.get()), name, out);
  return out;
}

void Document::CreateProcessingInstruction(std::string_view target, std::string_view data) {
  xmlDoc* doc = impl_->Ensure();
  if (target == "xml") {
    impl_->declaration = std::string(data);
    return;
  }
  xmlNode* pi = xmlNewDocPI(doc, X(std::string(target)), X(std::string(data)));
  if (pi == nullptr) throw Error("cannot create processing instruction " + std::string(target));
  xmlAddChild(reinterpret_cast<xmlNode*>(doc), pi);
}

Node Document::CreateRootElement(std::string_view name) {
  xmlDoc* doc = impl_->Ensure();
  xmlNode* root = xmlNewDocNode(doc, nullptr, X(std::string(name)), nullptr);
  if (root == nullptr) throw Error("cannot create element " + std::string(name));
  if (xmlNode* old = xmlDocSetRootElement(doc, root)) xmlFreeNode(old);
  return Node(root);
}

void Document::Save(const std::string& path) const {
  if (!impl_->doc) throw Error("cannot write " + path + ": the document is empty");
  std::string declared = PseudoAttribute(impl_->declaration, "encoding");
  if (declared.empty() && impl_->declaration.empty() && impl_->doc->encoding != nullptr) {
    declared = reinterpret_cast<const char*>(impl_->doc->encoding);
  }
  if (declared.empty()) declared = "UTF-8";
  std::string codec = internal::CodecName(declared);

  internal::ErrorCapture capture;
  std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), xmlBufferFree);
  // The declaration is written as given, so that the file names the encoding the
  // way the document asked even where iconv knows it under another name.
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), codec.c_str(), XML_SAVE_NO_DECL);
  if (save == nullptr) throw Error("cannot write " + path + ": unknown encoding " + declared);
  xmlSaveDoc(save, impl_->doc.get());
  if (xmlSaveClose(save) < 0) throw Error("cannot write " + path + ": " + capture.first());

  std::string header = "<?xml " + (impl_->declaration.empty() ? "version=\"1.0\" encoding=\"" + declared + "\""
                                                               : impl_->declaration) + "?>\n";
  std::string body(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                   static_cast<std::size_t>(xmlBufferLength(buffer.get())));
  WriteFileAtomic(path, header + body);
}

void* Document::raw() const { return impl_->doc.get(); }

}  // namespace tavex::xml
