#include "convert/ebutt_reader.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <cstring>
#include <mutex>
#include <new>

#include "convert/sax_reader.h"

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

}  // namespace

struct EbuTtReader::Impl {
  Impl(const ReadOptions& options, CueSink& sink, uint64_t size_hint)
      : machine(
            options, sink, [this](std::string value) { return Decode(std::move(value)); },
            size_hint * 4 + (1u << 20)) {}
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
    Guarded(ctx, [&](SaxReader& m) {
      return m.Start(Chars(localname), uri ? Chars(uri) : nullptr,
                     SaxAttributes{attributes, nb_attributes});
    });
  }
  static void OnEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    Guarded(ctx, [](SaxReader& m) {
      m.End();
      return true;
    });
  }
  static void OnText(void* ctx, const xmlChar* text, int len) {
    Guarded(ctx, [&](SaxReader& m) { return m.Text(Chars(text), static_cast<size_t>(len)); });
  }
  // Looks entities up as libxml2 does, noting references to external ones: their text is
  // never loaded, and the log says so.
  static xmlEntityPtr OnGetEntity(void* ctx, const xmlChar* name) {
    xmlEntityPtr entity = xmlSAX2GetEntity(ctx, name);
    if (entity != nullptr && entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY)
      Of(ctx)->machine.report().external_entities = true;
    return entity;
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
    if (ctxt == nullptr) {
      head.append(piece);
      if (head.size() < 4) return true;
      if (!Create(std::string_view(head).substr(0, 4))) {
        refusal = "out of memory";
        return false;
      }
      piece = std::string_view(head).substr(4);
    }
    while (!piece.empty() && Healthy()) {
      // The parser takes an int; large pieces go in parts.
      size_t n = std::min<size_t>(piece.size(), 1u << 30);
      xmlParseChunk(ctxt, piece.data(), static_cast<int>(n), 0);
      piece.remove_prefix(n);
    }
    if (!head.empty()) head = std::string();
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
    if (!refusal.empty()) {
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
  SaxReader machine;
  std::string head;  // the first bytes, until there are enough to tell the encoding
  bool stopped = false;
  std::string refusal;
  int line = 0, column = 0;
};

EbuTtReader::EbuTtReader(const ReadOptions& options, CueSink& sink, uint64_t size_hint) {
  InitLibxml();
  impl_ = std::make_unique<Impl>(options, sink, size_hint);
}

EbuTtReader::~EbuTtReader() = default;

bool EbuTtReader::Feed(std::string_view piece) { return impl_->Feed(piece); }

ReadReport EbuTtReader::Finish() { return impl_->Finish(); }

ReadReport ReadEbuTt(std::string_view bytes, const ReadOptions& options, CueSink& sink) {
  EbuTtReader reader(options, sink, bytes.size());
  reader.Feed(bytes);
  return reader.Finish();
}

}  // namespace capsel
