// XSLT for the XML document service: one-time library set-up (no network, the
// security preferences, the mp3_wav extension function, the confined document loader),
// stylesheet compilation with relative includes, and transformation to a string.
#include <libxml/uri.h>
#include <libxml/xmlIO.h>
#include <libxml/xpathInternals.h>
#include <libxslt/documents.h>
#include <libxslt/extensions.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <sys/stat.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <fmt/format.h>

#include "text/error.h"
#include "fs/files.h"
#include "xml/xml.h"
#include "xml/xml_internal.h"

namespace tavex::xml {

namespace {

constexpr const char* kUserScriptsNamespace = "urn:user-scripts";

struct StylesheetDeleter {
  void operator()(xsltStylesheet* style) const { xsltFreeStylesheet(style); }
};
struct TransformContextDeleter {
  void operator()(xsltTransformContext* context) const { xsltFreeTransformContext(context); }
};
struct XmlFreeDeleter {
  void operator()(xmlChar* text) const { xmlFree(text); }
};

// Collects libxslt's messages of one compilation or transformation.
struct MessageLog {
  std::string text;
};

// Adds one formatted libxslt message to `log`, which keeps the first 4 KiB or so.
void AppendFormatted(MessageLog& log, const char* format, va_list args) {
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  if (log.text.size() < 4096) log.text += buffer;
}

void AppendMessage(void* context, const char* format, ...) {
  if (context == nullptr) return;
  try {
    va_list args;
    va_start(args, format);
    AppendFormatted(*static_cast<MessageLog*>(context), format, args);
    va_end(args);
  } catch (...) {
    // Never let an exception into libxslt; the failure is still seen by the caller.
  }
}

// libxslt has one process-wide message channel. It is pointed once at ThreadMessage,
// which hands each message to the log of the compilation or transformation running on
// the calling thread, so transformations on several threads keep their messages apart.
thread_local MessageLog* thread_log = nullptr;

void ThreadMessage(void*, const char* format, ...) {
  MessageLog* log = thread_log;
  va_list args;
  va_start(args, format);
  if (log == nullptr) {
    std::vfprintf(stderr, format, args);  // what libxslt does by default
  } else {
    char buffer[1024];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    AppendMessage(log, "%s", buffer);
  }
  va_end(args);
}

// Sends libxslt's messages on this thread to `log` for one scope.
class GenericErrorScope {
 public:
  explicit GenericErrorScope(MessageLog* log) : previous_(thread_log) { thread_log = log; }
  ~GenericErrorScope() { thread_log = previous_; }
  GenericErrorScope(const GenericErrorScope&) = delete;
  GenericErrorScope& operator=(const GenericErrorScope&) = delete;

 private:
  MessageLog* previous_;
};

// The messages of a failed step, one line, without trailing line ends.
std::string Describe(const MessageLog& log, const internal::ErrorCapture& capture) {
  std::string text = log.text;
  if (!capture.messages().empty()) text += (text.empty() ? "" : "\n") + capture.messages();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text) {
    if (c == '\n') c = ';';
  }
  return text.empty() ? std::string("unknown error") : text;
}

// What a compilation or transformation running on this thread may read: files inside
// `folder` (the stylesheet's own folder, which holds the include). The first refused
// read is kept so that the caller can fail with it.
struct ReadScope {
  std::string folder;  // resolved, without a trailing "/"
  std::string stylesheet;
  std::string refusal;
};
thread_local ReadScope* thread_reads = nullptr;

// Points this thread's loads at `scope` for one compilation or transformation.
class ReadScopeGuard {
 public:
  explicit ReadScopeGuard(ReadScope* scope) : previous_(thread_reads) { thread_reads = scope; }
  ~ReadScopeGuard() { thread_reads = previous_; }
  ReadScopeGuard(const ReadScopeGuard&) = delete;
  ReadScopeGuard& operator=(const ReadScopeGuard&) = delete;

 private:
  ReadScope* previous_;
};

// libxslt's own loader, which the confined loader calls for what it allows.
xsltDocLoaderFunc library_loader = nullptr;

// The resolved path of a file or folder, or empty when it does not exist.
std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

// The local file a URI names, looked for as libxml2's file loader opens it: the path as
// written (after a "file:" prefix), else unescaped ("%20" for a space, as the URIs of
// includes and document() are written). Empty when it names something other than a
// local file.
std::string LocalPath(const std::string& uri) {
  std::string path = uri;
  if (path.rfind("file://localhost/", 0) == 0) {
    path.erase(0, 16);
  } else if (path.rfind("file:///", 0) == 0) {
    path.erase(0, 7);
  } else if (path.rfind("file:", 0) == 0) {
    return {};
  } else {
    const std::size_t colon = path.find(':');
    if (colon != std::string::npos && path.find('/') > colon) return {};  // another scheme
  }
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) == 0) return path;
  std::unique_ptr<char, decltype(&std::free)> unescaped(xmlURIUnescapeString(path.c_str(), 0, nullptr),
                                                        &std::free);
  return unescaped ? std::string(unescaped.get()) : std::string();
}

// Why the scope may not read `uri`, or empty when it may: a regular file inside the
// scope's folder (symbolic links followed). A file that does not exist is left to the
// library, which finds nothing there, as it always has.
std::string RefusalReason(const ReadScope& scope, const std::string& uri) {
  const std::string path = LocalPath(uri);
  if (path.empty()) return "it names no local file";
  const std::string resolved = RealPath(path);
  if (resolved.empty()) return {};
  struct stat info {};
  if (::stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "it is not a regular file";
  if (scope.folder.empty() || resolved.rfind(scope.folder + "/", 0) != 0) {
    return "only files inside " +
           (scope.folder.empty() ? std::string("the stylesheet's folder") : scope.folder) +
           " are open to stylesheets";
  }
  return {};
}

// The match pattern of the template holding `node`, or empty when it lies in none.
std::string TemplateMatch(const xmlNode* node) {
  for (; node != nullptr; node = node->parent) {
    if (node->type != XML_ELEMENT_NODE || node->ns == nullptr) continue;
    if (!xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>("template")) ||
        !xmlStrEqual(node->ns->href, XSLT_NAMESPACE)) {
      continue;
    }
    std::unique_ptr<xmlChar, XmlFreeDeleter> match(
        xmlGetProp(node, reinterpret_cast<const xmlChar*>("match")));
    return match ? std::string(reinterpret_cast<const char*>(match.get())) : std::string();
  }
  return {};
}

// The match pattern of the rule at work in `transform`: the template holding the current
// instruction, else the innermost template on the call stack that has one, since a named
// template belongs to the rule that called it. Empty when no template has a pattern.
std::string RuleAtWork(const xsltTransformContext* transform, const xmlNode* instruction) {
  std::string match = TemplateMatch(instruction);
  for (int i = transform->templNr - 1; match.empty() && i >= 0; --i) {
    const xsltTemplate* called = transform->templTab[i];
    if (called != nullptr && called->match != nullptr) match = reinterpret_cast<const char*>(called->match);
  }
  return match;
}

// "the rule of tag T" for the template of a tag's rule; empty for the stylesheet's own
// template of the whole document.
std::string RuleName(const std::string& match) {
  return match.empty() || match == "/" ? std::string() : "the rule of tag " + match;
}

// Who a fault of a transformation is put to: the rule at work, else the stylesheet.
std::string Culprit(const std::string& match, const std::string& stylesheet) {
  const std::string rule = RuleName(match);
  return rule.empty() ? "stylesheet " + stylesheet : rule;
}

// Loads what a stylesheet includes or what document() asks for, but only files inside
// the scope's folder, and never with DTDs, external entities or the network: a rule
// text comes from a shared file, so it must not read the user's other files into the book.
xmlDoc* ConfinedLoader(const xmlChar* uri, xmlDict* dict, int options, void* ctxt, xsltLoadType type) {
  try {
    ReadScope* scope = thread_reads;
    if (scope == nullptr) return nullptr;  // loads happen only inside a compilation or transformation
    const std::string target = uri != nullptr ? reinterpret_cast<const char*>(uri) : "";
    if (const std::string reason = RefusalReason(*scope, target); !reason.empty()) {
      if (!scope->refusal.empty()) return nullptr;
      std::string who = "stylesheet " + scope->stylesheet;
      if (type == XSLT_LOAD_DOCUMENT && ctxt != nullptr) {
        auto* transform = static_cast<xsltTransformContext*>(ctxt);
        who = Culprit(RuleAtWork(transform, transform->inst), scope->stylesheet);
        transform->state = XSLT_STATE_STOPPED;
      }
      scope->refusal = who + " may not read " + target + ": " + reason;
      return nullptr;
    }
    constexpr int kUnsafe =
        XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR | XML_PARSE_DTDVALID | XML_PARSE_XINCLUDE;
    return library_loader(uri, dict, (options & ~kUnsafe) | XML_PARSE_NONET, ctxt, type);
  } catch (...) {
    return nullptr;  // never let an exception into libxslt; the load simply fails
  }
}

// One transformation's watch over its faults and bounds: the first bound crossed and the
// rule at work then, noted while the transformation still stands at the fault.
struct TransformWatch {
  xsltTransformContext* context = nullptr;
  const TransformLimits* limits = nullptr;
  MessageLog log;
  std::string bound;  // the bound crossed, as the error says it; empty when none
  std::string rule;   // the rule at work at the first fault, or when the bound was crossed
  bool noted = false;  // a fault was seen

  // Called at each fault while the transformation still stands at it: notes where it is
  // and which bound, if any, the fault comes from.
  void Fault(std::string crossed = {}) noexcept {
    if (context == nullptr) return;
    try {
      if (crossed.empty()) crossed = BoundReached();
      if (!bound.empty() || (noted && crossed.empty())) return;
      noted = true;
      rule = RuleAtWork(context, context->inst);
      if (crossed.empty()) return;
      bound = std::move(crossed);
      context->state = XSLT_STATE_STOPPED;
    } catch (...) {
      // Never let an exception into the libraries; the fault is still reported.
    }
  }

  // The bound whose counter stands at its limit, or empty.
  std::string BoundReached() const {
    if (context->depth >= context->maxTemplateDepth) {
      return fmt::format("nests templates more than {} deep", limits->template_depth);
    }
    if (context->varsNr >= context->maxTemplateVars) {
      return fmt::format("holds more than {} variables at once", limits->template_variables);
    }
    const xmlXPathContext* xpath = context->xpathCtxt;
    if (xpath != nullptr && xpath->opLimit != 0 && xpath->opCount >= xpath->opLimit) {
      return fmt::format("takes more than {} XPath steps", limits->xpath_operations);
    }
    return {};
  }
};

// libxslt's messages of one transformation: kept, and each one a fault for the watch.
void TransformMessage(void* context, const char* format, ...) {
  if (context == nullptr) return;
  auto* watch = static_cast<TransformWatch*>(context);
  try {
    watch->Fault();
    va_list args;
    va_start(args, format);
    AppendFormatted(watch->log, format, args);
    va_end(args);
  } catch (...) {
    // Never let an exception into libxslt; the failure is still seen by the caller.
  }
}

// A size in mebibytes, for messages.
std::string Mebibytes(std::size_t bytes) { return fmt::format("{} MiB", bytes >> 20); }

std::string PopString(xmlXPathParserContext* ctxt) {
  std::unique_ptr<xmlChar, XmlFreeDeleter> value(xmlXPathPopString(ctxt));
  return value ? std::string(reinterpret_cast<const char*>(value.get())) : std::string();
}

// user:mp3_wav(topic, resource): both arguments as XPath string() gives them.
void Mp3WavFunction(xmlXPathParserContext* ctxt, int nargs) {
  if (nargs != 2) {
    // xmlXPathErr, not the arity macro: the macro would put this source file's path
    // into the installed program.
    xmlXPathErr(ctxt, XPATH_INVALID_ARITY);
    return;
  }
  try {
    std::string resource = PopString(ctxt);
    std::string topic = PopString(ctxt);
    if (ctxt->error != XPATH_EXPRESSION_OK) return;
    std::string result = Mp3Wav(topic, resource);
    valuePush(ctxt, xmlXPathNewString(reinterpret_cast<const xmlChar*>(result.c_str())));
  } catch (...) {
    xmlXPathErr(ctxt, XPATH_MEMORY_ERROR);
  }
}

}  // namespace

namespace internal {

void InitLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    InstallCountingAllocator();
    xmlInitParser();
    // Whatever is loaded by name (stylesheet includes, DTDs) never comes from the network.
    xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
    xsltSetGenericErrorFunc(nullptr, ThreadMessage);
    library_loader = xsltDocDefaultLoader;
    xsltSetLoaderFunc(ConfinedLoader);
    xsltRegisterExtModuleFunction(reinterpret_cast<const xmlChar*>("mp3_wav"),
                                  reinterpret_cast<const xmlChar*>(kUserScriptsNamespace), Mp3WavFunction);
    // Transformations never write or reach out; what they read is confined by ConfinedLoader.
    xsltSecurityPrefs* prefs = xsltNewSecurityPrefs();
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltSetDefaultSecurityPrefs(prefs);
  });
}

}  // namespace internal

std::string Mp3Wav(std::string_view topic, std::string_view resource) {
  // The first "/" followed by at least one character other than "/" and then ".mp3".
  for (std::size_t slash = topic.find('/'); slash != std::string_view::npos; slash = topic.find('/', slash + 1)) {
    std::size_t segment_end = topic.find('/', slash + 1);
    if (segment_end == std::string_view::npos) segment_end = topic.size();
    std::size_t mp3 = topic.find(".mp3", slash + 2);
    if (mp3 != std::string_view::npos && mp3 + 4 <= segment_end) {
      return std::string(resource) + "/" + std::string(topic.substr(slash + 1, mp3 - slash - 1)) + ".wav";
    }
  }
  return "null";
}

struct Stylesheet::Impl {
  std::string path;
  TransformLimits limits;
  std::string folder;  // the only folder whose files the stylesheet may read
  std::unique_ptr<xsltStylesheet, StylesheetDeleter> style;
};

Stylesheet::Stylesheet(const std::string& path, TransformLimits limits) : impl_(std::make_unique<Impl>()) {
  internal::InitLibraries();
  impl_->path = path;
  impl_->limits = limits;
  const std::size_t slash = path.rfind('/');
  impl_->folder = RealPath(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
  if (impl_->folder == "/") impl_->folder.clear();  // "/" + "/" would never match; and no whole disk is open
  std::string text = ReadFile(path);
  std::string error;
  // White space stays as written: libxslt applies the stylesheet's own stripping rules.
  internal::DocPtr doc = internal::Parse(text, path, false, error);
  if (!doc) throw Error("cannot load stylesheet " + path + ": " + error);

  MessageLog log;
  internal::ErrorCapture capture;
  GenericErrorScope scope(&log);
  ReadScope reads{impl_->folder, path, {}};
  ReadScopeGuard reads_guard(&reads);
  xsltStylesheet* style = xsltParseStylesheetDoc(doc.get());
  if (style != nullptr) {
    doc.release();  // now owned by the stylesheet
    impl_->style.reset(style);
  }
  if (!reads.refusal.empty()) throw Error("cannot compile stylesheet " + path + ": " + reads.refusal);
  if (style == nullptr) throw Error("cannot compile stylesheet " + path + ": " + Describe(log, capture));
  if (style->errors > 0) throw Error("cannot compile stylesheet " + path + ": " + Describe(log, capture));
  // The HTML method indents by default, which would put line breaks between the
  // "<br>" tokens the clean-up passes collapse and LF-only line ends into the
  // CR LF book. A stylesheet that asks for indentation still gets it.
  if (style->indent == -1) style->indent = 0;
}

Stylesheet::~Stylesheet() = default;
Stylesheet::Stylesheet(Stylesheet&&) noexcept = default;
Stylesheet& Stylesheet::operator=(Stylesheet&&) noexcept = default;

std::string Stylesheet::Transform(const Document& doc) const {
  auto* source = static_cast<xmlDoc*>(doc.raw());
  if (source == nullptr) throw Error("cannot transform with " + impl_->path + ": the document is empty");
  xsltStylesheet* style = impl_->style.get();
  const TransformLimits& limits = impl_->limits;
  const std::string failure = "cannot transform with " + impl_->path + ": ";

  TransformWatch watch;
  watch.limits = &limits;
  internal::ErrorCapture capture([&watch] { watch.Fault(); });
  GenericErrorScope scope(&watch.log);
  std::unique_ptr<xsltTransformContext, TransformContextDeleter> context(xsltNewTransformContext(style, source));
  if (!context) throw Error(failure + "out of memory");
  watch.context = context.get();
  xsltSetCtxtSecurityPrefs(xsltGetDefaultSecurityPrefs(), context.get());
  xsltSetTransformErrorFunc(context.get(), &watch, TransformMessage);
  context->maxTemplateDepth = limits.template_depth;
  context->maxTemplateVars = limits.template_variables;
  context->xpathCtxt->opLimit = limits.xpath_operations;
  context->xpathCtxt->opCount = 0;

  ReadScope reads{impl_->folder, impl_->path, {}};
  ReadScopeGuard reads_guard(&reads);
  internal::DocPtr result;
  std::string large_rule;
  {
    // The rule at work when the memory first grows past the result's bound is the one a
    // result beyond that bound is put to.
    internal::MemoryBudget memory(
        limits.memory,
        [&watch, &limits] { watch.Fault("needs more than " + Mebibytes(limits.memory) + " of memory"); },
        limits.result,
        [&watch, &large_rule] { large_rule = RuleAtWork(watch.context, watch.context->inst); });
    result.reset(xsltApplyStylesheetUser(style, source, nullptr, nullptr, nullptr, context.get()));
    // A counter at its limit without a message (an XPath test that failed quietly).
    if (watch.bound.empty()) watch.bound = watch.BoundReached();
    watch.context = nullptr;  // nothing after this point is the transformation's own fault
  }
  if (!reads.refusal.empty()) throw Error(failure + reads.refusal);
  if (!watch.bound.empty()) throw Error(failure + Culprit(watch.rule, impl_->path) + " " + watch.bound);
  if (!result || context->state == XSLT_STATE_ERROR || context->state == XSLT_STATE_STOPPED) {
    const std::string rule = RuleName(watch.rule);
    throw Error(failure + (rule.empty() ? "" : rule + ": ") + Describe(watch.log, capture));
  }
  xmlChar* text = nullptr;
  int length = 0;
  if (xsltSaveResultToString(&text, &length, result.get(), style) != 0) {
    throw Error("cannot serialise the result of " + impl_->path + ": " + Describe(watch.log, capture));
  }
  std::unique_ptr<xmlChar, XmlFreeDeleter> owned(text);
  if (static_cast<std::size_t>(length) > limits.result) {
    throw Error(fmt::format("{}{} makes a result of {} bytes, more than the {} one entry may have", failure,
                            Culprit(large_rule, impl_->path), length, Mebibytes(limits.result)));
  }
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)) : std::string();
}

}  // namespace tavex::xml
