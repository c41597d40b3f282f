#include "convert/libxml_reader.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <libxml/valid.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "convert/markup_scan.h"
#include "convert/ttml_machine.h"

namespace capsel {
namespace {

// Input is untrusted: nothing named by a document is ever fetched.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

void Silence(void*, const char*, ...) {}
void SilenceStructured(void*, xmlErrorPtr) {}

void InitLibxml() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
    xmlSetGenericErrorFunc(nullptr, Silence);
    xmlSetStructuredErrorFunc(nullptr, SilenceStructured);
  });
}

const char* Chars(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

// libxml2 looks an element's prefix up through every namespace declaration in scope, and
// gives each element every default value the DOCTYPE declares for it, checking each against
// the others: past these, an element costs more than its bytes.
constexpr int kMaxNamespacesInScope = 256;
constexpr int kMaxDefaultAttributes = 50;

/// The text of all paragraphs together may come to this many bytes for each byte of the
/// document, plus kMaxSubtitleText, before the document is refused ("entity expansion exceeds
/// the size limit"). Without entities, text is at most three times the document's bytes (a
/// character of a one-byte code page such as windows-1252 can take three bytes of UTF-8), so
/// the fourth leaves room for the abbreviations a document's own entities make, while an
/// entity bomb, which expands by thousands, stops after a few times its size. The fixed part
/// lets a small document still expand into one paragraph of the largest size.
constexpr uint64_t kTextPerDocumentByte = 4;

Refusal RefusalOf(MarkupScan::Limit limit) {
  return limit == MarkupScan::Limit::kStartTagTooLong ? Refusal::kStartTagTooLong
                                                      : Refusal::kTooManyAttributes;
}

}  // namespace

struct LibxmlReader::Impl {
  Impl(const ReadOptions& options, CueSink& sink, uint64_t size_hint)
      : machine(
            options, sink, [this](std::string value) { return Decode(std::move(value)); },
            size_hint * kTextPerDocumentByte + kMaxSubtitleText) {}
  ~Impl() {
    if (ctxt == nullptr) return;
    if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
    xmlFreeParserCtxt(ctxt);
  }

  // The parser hands its own context to every callback (its default handlers need it); the
  // reader rides along in the context's private pointer.
  static Impl* Of(void* ctx) {
    return static_cast<Impl*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
  }

  // A callback must never let an exception into the parser's C code: running out of memory
  // stops the document instead.
  template <typename F>
  static void Guarded(void* ctx, F&& f) {
    Impl* self = Of(ctx);
    if (self->stopped) return;
    bool go_on;
    try {
      go_on = f(self->machine);
    } catch (const std::bad_alloc&) {
      self->refusal = "out of memory";
      go_on = false;
    }
    if (!go_on) self->Stop();
  }
  static void OnStart(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
                      const xmlChar**, int nb_attributes, int, const xmlChar** attributes) {
    if (static_cast<xmlParserCtxtPtr>(ctx)->nsNr / 2 > kMaxNamespacesInScope)
      return Of(ctx)->Refuse(Refusal::kTooManyNamespaces);
    Guarded(ctx, [&](TtmlMachine& m) {
      return m.Start(Chars(localname), uri ? Chars(uri) : nullptr,
                     SaxAttributes{attributes, nb_attributes});
    });
  }
  static void OnEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    Guarded(ctx, [](TtmlMachine& m) {
      m.End();
      return true;
    });
  }
  static void OnText(void* ctx, const xmlChar* text, int len) {
    Guarded(ctx, [&](TtmlMachine& m) { return m.Text(Chars(text), static_cast<size_t>(len)); });
  }
  // Looks entities up as libxml2 does, noting references to external ones: their text is
  // never loaded, and the log says so. The text of an internal one is parsed as markup
  // where it is used, so it passes the same scan as the document, once.
  static xmlEntityPtr OnGetEntity(void* ctx, const xmlChar* name) {
    xmlEntityPtr entity = xmlSAX2GetEntity(ctx, name);
    if (entity == nullptr) return entity;
    Impl* self = Of(ctx);
    if (entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY)
      self->machine.report().external_entities = true;
    if (entity->etype == XML_INTERNAL_GENERAL_ENTITY && entity->content != nullptr &&
        self->scanned_entities.insert(entity).second) {
      MarkupScan scan;
      if (scan.Scan(Chars(entity->content)) != MarkupScan::kNotPassed) {
        self->Refuse(RefusalOf(scan.limit()));
        return nullptr;
      }
    }
    return entity;
  }
  static void OnAttributeDecl(void* ctx, const xmlChar* element, const xmlChar* name, int type,
                              int def, const xmlChar* value, xmlEnumerationPtr tree) {
    Impl* self = Of(ctx);
    if (value != nullptr && ++self->default_attributes > kMaxDefaultAttributes) {
      xmlFreeEnumeration(tree);
      return self->Refuse(Refusal::kTooManyDefaults);
    }
    xmlSAX2AttributeDecl(ctx, element, name, type, def, value, tree);
  }

  void Refuse(Refusal why) {
    machine.report().refusal = why;
    Stop();
  }

  void Stop() {
    stopped = true;
    if (refusal.empty()) refusal = machine.refusal();
    line = xmlSAX2GetLineNumber(ctxt);
    column = xmlSAX2GetColumnNumber(ctxt);
    xmlStopParser(ctxt);
  }

  // An attribute value with its entity and character references resolved.
  std::string Decode(std::string value) const {
    xmlChar* decoded =
        xmlStringLenDecodeEntities(ctxt, reinterpret_cast<const xmlChar*>(value.data()),
                                   static_cast<int>(value.size()), XML_SUBSTITUTE_REF, 0, 0, 0);
    if (decoded == nullptr) return value;
    std::string out = Chars(decoded);
    xmlFree(decoded);
    return out;
  }

  bool Create(std::string_view first) {
    // The default SAX2 handlers keep what the parser itself needs (the DTD's entities, so that
    // internal entities are expanded as text); elements and text come to the reader instead
    // of building a tree.
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    xmlSAXVersion(&handler, 2);
    handler.startElementNs = OnStart;
    handler.endElementNs = OnEnd;
    handler.characters = OnText;
    handler.cdataBlock = OnText;
    handler.ignorableWhitespace = OnText;
    handler.getEntity = OnGetEntity;
    handler.attributeDecl = OnAttributeDecl;
    handler.reference = nullptr;
    handler.serror = nullptr;
    handler.error = nullptr;
    handler.warning = nullptr;
    // The first bytes tell the parser the document's encoding.
    ctxt = xmlCreatePushParserCtxt(&handler, nullptr, first.data(), static_cast<int>(first.size()),
                                   nullptr);
    if (ctxt == nullptr) return false;
    ctxt->_private = this;
    // No XML_PARSE_NOENT: it would read external entities. No XML_PARSE_HUGE: it would lift
    // the limits that stop entity bombs.
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    return true;
  }

  bool Healthy() const { return !stopped && ctxt->wellFormed; }

  bool Feed(std::string_view piece) {
    size_t fed = 0;  // bytes of the piece that the parser has already
    if (ctxt == nullptr) {
      head.append(piece);
      if (head.size() < 4) return true;
      if (!Create(std::string_view(head).substr(0, 4))) {
        refusal = "out of memory";
        return false;
      }
      markup.Begin(head);
      piece = head;
      fed = 4;
    }
    // The parser gets the bytes before the one that passes a limit, so that what it finds
    // wrong there is reported as it would be without the limit.
    const size_t passed = markup.Scan(piece);
    std::string_view rest = piece.substr(0, std::max(passed, fed));
    rest.remove_prefix(fed);
    while (!rest.empty() && Healthy()) {
      // The parser takes an int; large pieces go in parts.
      size_t n = std::min<size_t>(rest.size(), 1u << 30);
      xmlParseChunk(ctxt, rest.data(), static_cast<int>(n), 0);
      rest.remove_prefix(n);
    }
    if (!head.empty()) head = std::string();
    if (passed != MarkupScan::kNotPassed && Healthy()) Refuse(RefusalOf(markup.limit()));
    return Healthy();
  }

  ReadReport Finish() {
    if (ctxt == nullptr && head.empty())
      refusal = "Document is empty";
    else if (ctxt == nullptr && !Create(head))
      refusal = "out of memory";
    if (ctxt != nullptr && Healthy()) xmlParseChunk(ctxt, nullptr, 0, 1);
    ReadReport& report = machine.report();
    const bool well_formed = ctxt != nullptr && ctxt->wellFormed && ctxt->nsWellFormed;
    if (report.refusal != Refusal::kNone) {
      // a limit: the report names it
    } else if (!refusal.empty()) {
      report.error = refusal;
      report.line = ctxt != nullptr ? line : 0;
      report.column = column;
    } else if (!well_formed) {
      const xmlError& e = ctxt->lastError;
      report.error = e.message ? e.message : "not well-formed XML";
      while (!report.error.empty() && (report.error.back() == '\n' || report.error.back() == ' '))
        report.error.pop_back();
      report.line = e.line;
      report.column = e.int2;
    } else {
      try {
        machine.Finish();
        report.loaded = true;
      } catch (const std::bad_alloc&) {
        report.error = "out of memory";
      }
    }
    return report;
  }

  xmlParserCtxtPtr ctxt = nullptr;
  TtmlMachine machine;
  std::string head;  // the first bytes, until there are enough to tell the encoding
  MarkupScan markup;
  std::unordered_set<const void*> scanned_entities;
  int default_attributes = 0;  // declared in the DOCTYPE
  bool stopped = false;
  std::string refusal;
  int line = 0, column = 0;
};

LibxmlReader::LibxmlReader(const ReadOptions& options, CueSink& sink, uint64_t size_hint) {
  InitLibxml();
  impl_ = std::make_unique<Impl>(options, sink, size_hint);
}

LibxmlReader::~LibxmlReader() = default;

bool LibxmlReader::Feed(std::string_view piece) { return impl_->Feed(piece); }

ReadReport LibxmlReader::Finish() { return impl_->Finish(); }

ReadReport ReadEbuTt(std::string_view bytes, const ReadOptions& options, CueSink& sink) {
  LibxmlReader reader(options, sink, bytes.size());
  reader.Feed(bytes);
  return reader.Finish();
}

}  // namespace capsel
