// Private to the XML document service: libxml2 handle ownership, one-time library
// set-up, error capture and the parse shared by documents and stylesheets.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tavex::xml::internal {

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;

// Sets up libxml2 and libxslt once: the counting allocator (see MemoryBudget), no network
// for any loaded resource, the XSLT security preferences, and the mp3_wav extension function.
void InitLibraries();

// Routes libxml2's and libxslt's allocations through counters, so that a MemoryBudget can
// see them. Called by InitLibraries before anything else of the libraries.
void InstallCountingAllocator();

// The memory the XML libraries may hold for one piece of work on the calling thread (one
// transformation), counted from the budget's construction to its destruction: bytes
// allocated on the thread minus bytes freed there. Crossing `limit` calls `on_exceeded`
// once, inside that allocation, so the work can be asked to stop; an allocation that would
// take it past twice the limit fails, for work that does not stop at once. Crossing the
// lower `notice` calls `on_notice` once, so the work can note where it was when it grew.
// Budgets nest (the inner one counts alone while it lives); a budget must die on its own
// thread.
class MemoryBudget {
 public:
  MemoryBudget(std::size_t limit, std::function<void()> on_exceeded, std::size_t notice = 0,
               std::function<void()> on_notice = {});
  ~MemoryBudget();
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // True once the limit was crossed.
  bool exceeded() const { return exceeded_; }
  // Whether `bytes` more may be allocated (false past twice the limit).
  bool Allows(std::size_t bytes) const;
  // Counts an allocation (positive) or a release (negative).
  void Add(std::int64_t bytes) noexcept;

 private:
  // Runs a handler with this thread's counting paused: it runs inside an allocation.
  void RunHandler(const std::function<void()>& handler) noexcept;

  std::int64_t limit_;
  std::int64_t notice_;
  std::int64_t used_ = 0;
  bool exceeded_ = false;
  bool noticed_ = false;
  std::function<void()> on_exceeded_;
  std::function<void()> on_notice_;
  MemoryBudget* previous_;
};

// Collects libxml2's structured errors of the current thread while alive, instead of
// printing them; restores the previous handler at the end of its scope.
class ErrorCapture {
 public:
  // `on_error`, when given, is called inside each captured error (before it is added),
  // while the work that raised it is still at the point of the fault.
  explicit ErrorCapture(std::function<void()> on_error = {});
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
  std::function<void()> on_error_;
  std::string messages_;
  std::string first_;
};

// Parses `text` without network access or external entities; `url` becomes the
// document's base (for relative includes). Null on failure with `error` set.
// `strip_blanks` removes the white-space-only text nodes outside xml:space="preserve".
DocPtr Parse(std::string_view text, const std::string& url, bool strip_blanks, std::string& error);

// The encoding to hand the parser for `text`: code page 932 for a declared Shift_JIS,
// UTF-8 for a UTF-8 text that kept the UTF-16 declaration of where it came from, else none
// (the parser reads the declaration itself).
const char* EncodingFor(std::string_view text);

// Removes white-space-only text nodes below `root`, except where xml:space says preserve.
// Walks without recursion so that deep documents cannot exhaust the stack.
void StripBlankText(xmlNode* root);

// Entity references stay references after a parse (nothing is substituted), but reading
// a node's text expands them, every reference anew. A few nested declarations can make
// that run to gigabytes, so a document whose references expand to more is refused.
inline constexpr std::uint64_t kMaxEntityExpansion = 16ULL << 20;

// Counts the bytes that reading text would produce from entity references, stopping
// soon after the limit. Each declared entity is measured once.
class EntityExpansion {
 public:
  explicit EntityExpansion(xmlDoc* doc) : doc_(doc) {}

  // Bytes the references below `first` and its following siblings expand to, with the
  // text of those nodes themselves when `count_text`. At most the limit plus one.
  std::uint64_t OfList(xmlNode* first, bool count_text);

 private:
  // The expanded size of one entity; an entity met again while it is measured counts 0
  // (the parser refuses such loops anyway). Nesting depth is bounded by the parser.
  std::uint64_t OfEntity(const xmlChar* name);

  xmlDoc* doc_;
  std::unordered_map<xmlEntity*, std::uint64_t> sizes_;
};

// The iconv name used for a declared encoding: code page 932 for Shift_JIS, which is
// what the files of this system's platform mean by that name.
std::string CodecName(std::string_view declared);

// Serialises `node` (or the whole document when `node` is the document) to UTF-8.
std::string Serialize(xmlNode* node);

}  // namespace tavex::xml::internal
