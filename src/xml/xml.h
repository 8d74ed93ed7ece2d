// The XML document service over libxml2 and libxslt: parse, navigate, transform,
// build and save, pretty-print. Parsing never touches the network and never loads
// external entities. After a parse, text nodes made only of XML white space
// (space, tab, CR, LF) are removed unless they sit under xml:space="preserve",
// so a transformation sees what the rule options pre_sp/post_sp were made for.
// All text in and out is UTF-8.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavex::xml {

enum class NodeKind { kElement, kText, kCData, kComment, kProcessingInstruction, kOther };

// A non-owning handle to a node of a Document; valid while that Document is alive
// and not reloaded. A default-constructed Node is null.
class Node {
 public:
  Node() = default;
  explicit Node(void* raw) : raw_(raw) {}

  bool IsNull() const { return raw_ == nullptr; }
  NodeKind Kind() const;
  // The qualified name of an element (prefix included); empty for other kinds.
  std::string TagName() const;
  // The attribute's value, or no value when the element has no such attribute.
  std::optional<std::string> GetAttribute(std::string_view name) const;
  // Every attribute of an element as (qualified name, value), in document order.
  std::vector<std::pair<std::string, std::string>> Attributes() const;
  // The child nodes in document order.
  std::vector<Node> Children() const;
  // The first child, or a null node; with NextSibling, a walk that allocates nothing.
  Node FirstChild() const;
  // The next node under the same parent, or a null node.
  Node NextSibling() const;
  // A text or CDATA node's own text, without copying (valid while the node lives);
  // empty for other kinds.
  std::string_view Content() const;
  // The concatenated text of the node's subtree (CDATA included); a text node's own text.
  std::string Text() const;
  // The node serialised as markup.
  std::string Markup() const;
  // The line of the source text the node started on (from 1); 0 when unknown.
  long Line() const;
  // Every descendant element named `name`, in document order (the node itself excluded).
  std::vector<Node> ElementsByTagName(std::string_view name) const;

  // Building: appends a new child element and returns it.
  Node AppendElement(std::string_view name);
  // Replaces the node's content by one text node (empty text: no child).
  void SetText(std::string_view text);

  void* raw() const { return raw_; }

 private:
  void* raw_ = nullptr;
};

// One XML document. Loading replaces what it held; a failed load leaves it empty.
class Document {
 public:
  Document();
  ~Document();
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;

  // Parses UTF-8 (or encoding-declared) text. False, and an empty document, when it does not parse.
  bool LoadXml(std::string_view text);
  // Parses the file at `path`. False, and an empty document, when it cannot be read or parsed.
  bool Load(const std::string& path);
  // The parser's message for the last failed load ("file:line: message"), else empty.
  const std::string& LastError() const;

  bool IsEmpty() const;
  // The root element; null when the document is empty.
  Node DocumentElement() const;
  // The whole document serialised; empty for an empty document.
  std::string Markup() const;
  // Every element named `name` in the document (root included), in document order.
  std::vector<Node> ElementsByTagName(std::string_view name) const;

  // Building. The "xml" processing instruction sets the declaration written by Save,
  // whose encoding pseudo-attribute also decides the encoding of the saved file.
  void CreateProcessingInstruction(std::string_view target, std::string_view data);
  // Creates the document element (replacing any) and returns it.
  Node CreateRootElement(std::string_view name);
  // Saves in the declared encoding (UTF-8 when none). Throws Error naming the file.
  void Save(const std::string& path) const;

  void* raw() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Streams the file at `path` (read as Document::Load reads it) and calls `visit` with each
// element named `name`, in document order: the element with everything in it, its
// white-space-only text removed as a load removes it, valid only during the call. An
// element of that name inside one is part of it, not visited of its own. Memory holds the
// file's text and one such element at a time, however large the file. False, with `error`
// set as LastError would give it, when the file cannot be read or parsed; the elements
// before the fault were visited. An exception of `visit` ends the reading and passes on.
bool ForEachElement(const std::string& path, std::string_view name, const std::function<void(Node)>& visit,
                    std::string& error);

// The bounds of one transformation. Stylesheets are made from rule files passed between
// users, so one entry's transformation may neither run for ever nor take the machine's
// memory; the defaults leave any sensible rule far below each bound.
struct TransformLimits {
  int template_depth = 1000;                    // templates applied or called inside one another
  int template_variables = 10000;               // variables and parameters alive at once
  unsigned long xpath_operations = 20'000'000;  // XPath steps of the whole transformation
  std::size_t memory = 128u << 20;              // bytes the libraries hold for it at once
  std::size_t result = 16u << 20;               // bytes of the serialised result
};

// A compiled XSLT 1.0 stylesheet. Relative includes resolve against its file's folder;
// the extension function user:mp3_wav of namespace "urn:user-scripts" is available.
class Stylesheet {
 public:
  // Loads and compiles the stylesheet file. Throws Error naming the file and the fault.
  explicit Stylesheet(const std::string& path, TransformLimits limits = {});
  ~Stylesheet();
  Stylesheet(Stylesheet&&) noexcept;
  Stylesheet& operator=(Stylesheet&&) noexcept;

  // Transforms `doc` and returns the serialised result (UTF-8, characters raw rather
  // than as references; output method html for an html root, so "<br/>" gives "<br>"
  // and disable-output-escaping gives "&nbsp;"). Throws Error on a transformation fault;
  // one that crosses a bound of TransformLimits names the bound and the rule at work, as
  // "the rule of tag T" after the match pattern of its template (for a named template,
  // of the innermost matching template that called it).
  std::string Transform(const Document& doc) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The document element's name and attributes, read from its start tag alone.
struct RootElement {
  std::string name;  // the qualified name
  std::vector<std::pair<std::string, std::string>> attributes;
  // The attribute's value, or no value when the start tag has no such attribute.
  std::optional<std::string> Attribute(std::string_view name) const;
};

// Reads `text` only as far as the start tag of its document element (nothing is built,
// so a fault later in the text goes unnoticed). No value when there is no such start tag.
// Only the "id" attribute is kept for a text that starts with an XML declaration.
std::optional<RootElement> ReadRootElement(std::string_view text);

// The result of the extension function mp3_wav(topic, resource): resource + "/" + the
// name between the first "/" and ".mp3" of topic + ".wav"; "null" when topic has none.
std::string Mp3Wav(std::string_view topic, std::string_view resource);

// The document indented by libxml2's serialiser, one tab per level, CR LF line ends,
// starting with the declaration <?xml version="1.0" encoding="UTF-16" standalone="no"?>
// as the rule files exchanged between users expect it. Empty when the text does not parse.
std::string PrettyPrint(std::string_view xml_text);

}  // namespace tavex::xml
