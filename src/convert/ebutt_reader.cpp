#include "convert/ebutt_reader.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <cstring>
#include <mutex>

#include "convert/time_expression.h"

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

bool IsTtml(const xmlNode* node, const char* local_name) {
  return node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
         std::strcmp(reinterpret_cast<const char*>(node->ns->href), kTtmlNamespace) == 0 &&
         std::strcmp(reinterpret_cast<const char*>(node->name), local_name) == 0;
}

// An attribute in no namespace, as text; empty optional when absent.
std::optional<std::string> Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return std::nullopt;
  std::string text = reinterpret_cast<const char*>(value);
  xmlFree(value);
  return text;
}

std::string NsAttribute(xmlNode* node, const char* name, const char* ns) {
  xmlChar* value = xmlGetNsProp(node, reinterpret_cast<const xmlChar*>(name),
                                reinterpret_cast<const xmlChar*>(ns));
  if (value == nullptr) return {};
  std::string text = reinterpret_cast<const char*>(value);
  xmlFree(value);
  return text;
}

// xml:space on this element: 1 preserve, 0 default, -1 not set.
int OwnSpace(xmlNode* element) {
  std::string space = NsAttribute(element, "space", reinterpret_cast<const char*>(XML_XML_NAMESPACE));
  if (space == "preserve") return 1;
  if (space == "default") return 0;
  return -1;
}

// Collects text into lines. Blanks of default-mode text are held as a marker and collapse
// when a line ends; preserved text keeps its blanks and breaks lines at its line feeds.
class LineBuilder {
 public:
  static constexpr char kCollapsible = '\x01';

  void Text(const char* text, bool preserve) {
    for (const char* p = text; *p; ++p) {
      char c = *p;
      if (preserve) {
        if (c == '\n') Break();
        else if (c != '\r') current_ += c;
      } else {
        current_ += (c == ' ' || c == '\t' || c == '\n' || c == '\r') ? kCollapsible : c;
      }
    }
    size_ += std::strlen(text);
  }

  void Break() {
    std::string line;
    bool pending_blank = false;
    for (char c : current_) {
      if (c == kCollapsible) {
        pending_blank = true;
        continue;
      }
      if (pending_blank && !line.empty() && line.back() != ' ' && c != ' ') line += ' ';
      pending_blank = false;
      line += c;
    }
    current_.clear();
    if (line.find_first_not_of(' ') != std::string::npos) lines_.push_back(std::move(line));
  }

  std::vector<std::string> Finish() {
    Break();
    return std::move(lines_);
  }
  size_t size() const { return size_; }

 private:
  std::string current_;
  std::vector<std::string> lines_;
  size_t size_ = 0;
};

class Reader {
 public:
  Reader(xmlDoc* doc, size_t input_size)
      : doc_(doc), budget_(input_size * 4 + (1u << 20)) {}

  void Read(ReadResult& result) {
    xmlNode* root = xmlDocGetRootElement(doc_);
    if (root == nullptr || !IsTtml(root, "tt")) return;
    timing_ = ReadTimingParameters(NsAttribute(root, "frameRate", kTtmlParameterNamespace),
                                   NsAttribute(root, "frameRateMultiplier", kTtmlParameterNamespace),
                                   NsAttribute(root, "subFrameRate", kTtmlParameterNamespace),
                                   NsAttribute(root, "tickRate", kTtmlParameterNamespace));
    for (xmlNode* body = root->children; body; body = body->next) {
      if (!IsTtml(body, "body")) continue;
      double offset = BeginOf(body);
      for (xmlNode* div = body->children; div; div = div->next)
        if (IsTtml(div, "div")) ReadDiv(div, offset + BeginOf(div), result.paragraphs);
    }
  }

  bool over_budget() const { return over_budget_; }

 private:
  // The begin time of a container; one that is missing or does not read counts as 0.
  double BeginOf(xmlNode* element) {
    auto text = Attribute(element, "begin");
    if (!text) return 0;
    return ParseTimeExpression(*text, timing_).value_or(0);
  }

  void ReadDiv(xmlNode* div, double offset, std::vector<Paragraph>& out) {
    for (xmlNode* child = div->children; child && !over_budget_; child = child->next) {
      if (IsTtml(child, "p")) {
        out.push_back(ReadParagraph(child, offset));
      } else if (IsTtml(child, "div")) {
        ReadDiv(child, offset + BeginOf(child), out);
      }
    }
  }

  Paragraph ReadParagraph(xmlNode* p, double offset) {
    Paragraph paragraph;
    std::optional<double> own_begin;
    if (auto text = Attribute(p, "begin")) {
      own_begin = ParseTimeExpression(*text, timing_);
      if (own_begin) paragraph.begin = offset + *own_begin;
    }
    if (auto text = Attribute(p, "end")) {
      if (auto end = ParseTimeExpression(*text, timing_)) paragraph.end = offset + *end;
    } else if (auto dur_text = Attribute(p, "dur")) {
      if (auto dur = ParseTimeExpression(*dur_text, timing_))
        paragraph.end = offset + own_begin.value_or(0) + *dur;
    }

    bool preserve = xmlNodeGetSpacePreserve(p) == 1;
    LineBuilder lines;
    if (HasSpans(p) && !HasOwnText(p)) {
      for (xmlNode* span = p->children; span; span = span->next) {
        if (!IsTtml(span, "span")) continue;
        Collect(span->children, lines, SpaceOf(span, preserve), 0);
        lines.Break();
      }
    } else {
      Collect(p->children, lines, preserve, 0);
    }
    paragraph.lines = lines.Finish();
    used_ += lines.size();
    if (used_ > budget_) over_budget_ = true;
    return paragraph;
  }

  static bool SpaceOf(xmlNode* element, bool inherited) {
    int own = OwnSpace(element);
    return own < 0 ? inherited : own == 1;
  }

  static bool HasSpans(xmlNode* p) {
    for (xmlNode* c = p->children; c; c = c->next)
      if (IsTtml(c, "span")) return true;
    return false;
  }

  static bool IsBlank(const xmlChar* text) {
    for (const xmlChar* t = text; t && *t; ++t)
      if (*t != ' ' && *t != '\t' && *t != '\n' && *t != '\r') return false;
    return true;
  }

  static bool HasOwnText(xmlNode* p) {
    for (xmlNode* c = p->children; c; c = c->next) {
      if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && !IsBlank(c->content))
        return true;
      if (c->type == XML_ENTITY_REF_NODE) return true;
    }
    return false;
  }

  // Text of the nodes in document order: span content runs on, a br ends the line, other
  // elements (metadata, foreign vocabularies) give no text.
  void Collect(xmlNode* node, LineBuilder& lines, bool preserve, int entity_depth) {
    for (; node && !over_budget_; node = node->next) {
      switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          lines.Text(reinterpret_cast<const char*>(node->content), preserve);
          if (used_ + lines.size() > budget_) over_budget_ = true;
          break;
        case XML_ENTITY_REF_NODE: {
          // Internal entities are expanded here, within the budget; a document that nests
          // them deeper than any real subtitle file would is cut short.
          xmlEntity* entity = xmlGetDocEntity(doc_, node->name);
          if (entity == nullptr || entity_depth >= 8) break;
          if (entity->etype != XML_INTERNAL_GENERAL_ENTITY) break;
          Collect(entity->children, lines, preserve, entity_depth + 1);
          break;
        }
        case XML_ELEMENT_NODE:
          if (IsTtml(node, "br")) {
            lines.Break();
          } else if (IsTtml(node, "span")) {
            Collect(node->children, lines, SpaceOf(node, preserve), entity_depth);
          }
          break;
        default:
          break;
      }
    }
  }

  xmlDoc* doc_;
  TimingParameters timing_;
  size_t budget_;
  size_t used_ = 0;
  bool over_budget_ = false;
};

}  // namespace

ReadResult ReadEbuTt(std::string_view bytes) {
  InitLibxml();
  ReadResult result;
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    result.error = "the document is larger than 2 GB";
    return result;
  }
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) {
    result.error = "out of memory";
    return result;
  }
  // No XML_PARSE_NOENT: it would read external entities. No XML_PARSE_HUGE: it would lift
  // the limits that stop entity bombs.
  xmlDoc* doc = xmlCtxtReadMemory(ctxt, bytes.data(), static_cast<int>(bytes.size()), "input.xml",
                                  nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr || !ctxt->wellFormed || !ctxt->nsWellFormed) {
    xmlError* error = xmlCtxtGetLastError(ctxt);
    result.error = error && error->message ? error->message : "not well-formed XML";
    while (!result.error.empty() && result.error.back() == '\n') result.error.pop_back();
    if (doc) xmlFreeDoc(doc);
    xmlFreeParserCtxt(ctxt);
    return result;
  }
  xmlFreeParserCtxt(ctxt);
  Reader reader(doc, bytes.size());
  reader.Read(result);
  xmlFreeDoc(doc);
  if (reader.over_budget()) {
    result.paragraphs.clear();
    result.error = "entity expansion exceeds the size limit";
    return result;
  }
  result.loaded = true;
  return result;
}

}  // namespace capsel
