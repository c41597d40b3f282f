#include "convert/ebutt_reader.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "convert/time_expression.h"

namespace capsel {
namespace {

// TTML, and the draft namespaces older DFXP tools write; all are read alike.
constexpr const char* kDocumentNamespaces[] = {kTtmlNamespace, "http://www.w3.org/2006/10/ttaf1",
                                               "http://www.w3.org/2006/04/ttaf1"};

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

bool IsDocumentNamespace(const xmlNs* ns) {
  if (ns == nullptr) return false;
  for (const char* name : kDocumentNamespaces)
    if (std::strcmp(Chars(ns->href), name) == 0) return true;
  return false;
}

// A namespace of the document's vocabulary with a suffix, such as "#parameter".
bool IsDocumentNamespace(const xmlNs* ns, std::initializer_list<const char*> suffixes) {
  if (ns == nullptr) return false;
  std::string_view href = Chars(ns->href);
  for (const char* name : kDocumentNamespaces) {
    if (!href.starts_with(name)) continue;
    for (const char* suffix : suffixes)
      if (href.substr(std::strlen(name)) == suffix) return true;
  }
  return false;
}

bool IsTtml(const xmlNode* node, const char* local_name) {
  return node->type == XML_ELEMENT_NODE && IsDocumentNamespace(node->ns) &&
         std::strcmp(Chars(node->name), local_name) == 0;
}

bool IsElement(const xmlNode* node, const char* ns, const char* local_name) {
  return node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
         std::strcmp(Chars(node->ns->href), ns) == 0 && std::strcmp(Chars(node->name), local_name) == 0;
}

std::string AttrValue(xmlAttr* attr) {
  xmlChar* value = xmlNodeListGetString(attr->doc, attr->children, 1);
  std::string text = value ? Chars(value) : "";
  xmlFree(value);
  return text;
}

// An attribute in no namespace, as text; empty optional when absent.
std::optional<std::string> Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return std::nullopt;
  std::string text = Chars(value);
  xmlFree(value);
  return text;
}

// An attribute in a namespace of the document's vocabulary with one of the suffixes.
std::optional<std::string> VocabularyAttribute(xmlNode* node, const char* name,
                                               std::initializer_list<const char*> suffixes) {
  for (xmlAttr* a = node->properties; a; a = a->next)
    if (std::strcmp(Chars(a->name), name) == 0 && IsDocumentNamespace(a->ns, suffixes))
      return AttrValue(a);
  return std::nullopt;
}

std::string Parameter(xmlNode* root, const char* name) {
  return VocabularyAttribute(root, name, {"#parameter"}).value_or("");
}

std::optional<std::string> StylingAttribute(xmlNode* node, const char* name) {
  return VocabularyAttribute(node, name, {"#styling", "#style"});
}

// xml:space on this element: 1 preserve, 0 default, -1 not set.
int OwnSpace(xmlNode* element) {
  xmlChar* value = xmlGetNsProp(element, reinterpret_cast<const xmlChar*>("space"), XML_XML_NAMESPACE);
  if (value == nullptr) return -1;
  int space = std::strcmp(Chars(value), "preserve") == 0 ? 1 : std::strcmp(Chars(value), "default") == 0 ? 0 : -1;
  xmlFree(value);
  return space;
}

std::string_view Trim(std::string_view s) {
  const char* kBlanks = " \t\r\n";
  size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// The style of text, as far as SRT can show it; unset properties come from the ancestors.
struct Style {
  std::optional<unsigned> color;
  std::optional<bool> bold, italic, underline;

  void Overlay(const Style& top) {
    if (top.color) color = top.color;
    if (top.bold) bold = top.bold;
    if (top.italic) italic = top.italic;
    if (top.underline) underline = top.underline;
  }
  bool operator==(const Style&) const = default;
  bool HasColor() const { return color && *color != 0xFFFFFF; }
  std::string Open() const {
    std::string tags;
    if (HasColor()) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "<font color=\"#%06X\">", *color);
      tags += buf;
    }
    if (bold.value_or(false)) tags += "<b>";
    if (italic.value_or(false)) tags += "<i>";
    if (underline.value_or(false)) tags += "<u>";
    return tags;
  }
  std::string Close() const {
    std::string tags;
    if (underline.value_or(false)) tags += "</u>";
    if (italic.value_or(false)) tags += "</i>";
    if (bold.value_or(false)) tags += "</b>";
    if (HasColor()) tags += "</font>";
    return tags;
  }
};

// The styles met in one document, by number; number 0 is plain text.
class StyleTable {
 public:
  StyleTable() : styles_(1) {}
  uint16_t Index(const Style& style) {
    for (size_t i = 0; i < styles_.size(); ++i)
      if (styles_[i] == style) return static_cast<uint16_t>(i);
    if (styles_.size() >= 65535) return 0;  // beyond any real document: left plain
    styles_.push_back(style);
    return static_cast<uint16_t>(styles_.size() - 1);
  }
  const Style& operator[](uint16_t i) const { return styles_[i]; }

 private:
  std::vector<Style> styles_;
};

// Collects text into lines. Blanks of default-mode text are held as a marker and collapse
// when a line ends; preserved text keeps its blanks and breaks lines at its line feeds.
// Each character carries its style, so each run of one style gets its own tags.
class LineBuilder {
 public:
  static constexpr char kCollapsible = '\x01';

  explicit LineBuilder(const StyleTable* styles) : styles_(styles) {}

  void Text(const char* text, bool preserve, uint16_t style) {
    size_t n = std::strlen(text);
    size_ += n;
    for (size_t i = 0; i < n; ++i) {
      char c = text[i];
      if (preserve) {
        if (c == '\n') {
          Break();
          continue;
        }
        if (c == '\r') continue;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        c = kCollapsible;
      }
      chars_ += c;
      if (styles_) char_styles_.push_back(style);
    }
  }

  void Break() {
    std::string text;
    std::vector<uint16_t> text_styles;
    bool pending_blank = false;
    uint16_t blank_style = 0;  // a collapsed blank keeps the style of its first character
    for (size_t i = 0; i < chars_.size(); ++i) {
      char c = chars_[i];
      if (c == kCollapsible) {
        if (!pending_blank && styles_) blank_style = char_styles_[i];
        pending_blank = true;
        continue;
      }
      if (pending_blank && !text.empty() && text.back() != ' ' && c != ' ') {
        text += ' ';
        if (styles_) text_styles.push_back(blank_style);
      }
      pending_blank = false;
      text += c;
      if (styles_) text_styles.push_back(char_styles_[i]);
    }
    chars_.clear();
    char_styles_.clear();
    if (text.find_first_not_of(' ') == std::string::npos) return;
    lines_.push_back(styles_ ? Tagged(text, text_styles) : std::move(text));
  }

  std::vector<std::string> Finish() {
    Break();
    return std::move(lines_);
  }
  size_t size() const { return size_; }

 private:
  std::string Tagged(const std::string& text, const std::vector<uint16_t>& styles) const {
    std::string out;
    for (size_t start = 0; start < text.size();) {
      size_t end = start;
      while (end < text.size() && styles[end] == styles[start]) ++end;
      const Style& style = (*styles_)[styles[start]];
      out += style.Open();
      out.append(text, start, end - start);
      out += style.Close();
      start = end;
    }
    return out;
  }

  const StyleTable* styles_;  // null: no tags
  std::string chars_;
  std::vector<uint16_t> char_styles_;
  std::vector<std::string> lines_;
  size_t size_ = 0;
};

// Walks the document as a stream: only the paragraph in hand is held as a tree, so memory
// stays near the size of the input however long the document is.
class Reader {
 public:
  Reader(size_t input_size, const ReadOptions& options)
      : options_(options), budget_(input_size * 4 + (1u << 20)) {}

  /// Reads the document; false when it is not well-formed (the parser said why in `error`).
  bool Read(xmlTextReaderPtr reader, ReadResult& result) {
    int rc = xmlTextReaderRead(reader);
    while (rc == 1 && !over_budget_) {
      if (xmlTextReaderNodeType(reader) != XML_READER_TYPE_ELEMENT) {
        rc = xmlTextReaderRead(reader);
        continue;
      }
      xmlNode* node = xmlTextReaderCurrentNode(reader);
      const int depth = xmlTextReaderDepth(reader);
      if (node == nullptr) return false;
      if (depth == 0) {
        if (!IsTtml(node, "tt")) {  // not a timed-text document: nothing to take from it
          rc = xmlTextReaderNext(reader);
          continue;
        }
        ReadRoot(node);
        rc = xmlTextReaderRead(reader);
        continue;
      }
      // Frames hold the open body and divs; an element at depth d has its parent at d - 2.
      frames_.resize(std::min(frames_.size(), static_cast<size_t>(depth - 1)));
      const bool parent_is_container = frames_.size() == static_cast<size_t>(depth - 1);
      if (depth == 1 && IsTtml(node, "head")) {
        if (xmlNode* head = xmlTextReaderExpand(reader)) ReadHead(head);
        rc = xmlTextReaderNext(reader);
      } else if (depth == 1 && IsTtml(node, "body")) {
        frames_.push_back({BeginOf(node), OwnStyle(node), false});
        rc = xmlTextReaderRead(reader);
      } else if (depth >= 2 && parent_is_container && IsTtml(node, "div")) {
        const Frame& parent = frames_.back();
        frames_.push_back({parent.offset + BeginOf(node), Inherit(parent.style, node), true});
        rc = xmlTextReaderRead(reader);
      } else if (depth >= 2 && parent_is_container && frames_.back().is_div && IsTtml(node, "p")) {
        const Frame& div = frames_.back();
        if (xmlNode* p = xmlTextReaderExpand(reader))
          result.paragraphs.push_back(ReadParagraph(p, div.offset, Inherit(div.style, p)));
        rc = xmlTextReaderNext(reader);
      } else {
        rc = xmlTextReaderNext(reader);  // nothing of interest inside
      }
    }
    return rc == 0 || over_budget_;
  }

  bool over_budget() const { return over_budget_; }

 private:
  struct Frame {
    double offset;  // begin times of body and divs so far
    Style style;
    bool is_div;
  };

  void ReadRoot(xmlNode* root) {
    legacy_ = std::strcmp(Chars(root->ns->href), kTtmlNamespace) != 0;
    timing_ = ReadTimingParameters(Parameter(root, "frameRate"), Parameter(root, "frameRateMultiplier"),
                                   Parameter(root, "subFrameRate"), Parameter(root, "tickRate"));
  }

  void ReadHead(xmlNode* head) {
    if (options_.style_tags) CollectStyles(head);
    if (options_.subtract_start_of_programme) ReadStartOfProgramme(head);
  }

  std::optional<double> Time(const std::string& text) {
    if (auto t = ParseTimeExpression(text, timing_)) return t;
    // Older DFXP tools (Flash among them) write plain seconds without a unit.
    if (legacy_) {
      std::string with_unit = std::string(Trim(text)) + "s";
      return ParseTimeExpression(with_unit, timing_);
    }
    return std::nullopt;
  }

  // The begin time of a container; one that is missing or does not read counts as 0.
  double BeginOf(xmlNode* element) {
    auto text = Attribute(element, "begin");
    return text ? Time(*text).value_or(0) : 0;
  }

  void ReadStartOfProgramme(xmlNode* head) {
    for (xmlNode* metadata = head->children; metadata; metadata = metadata->next) {
      if (!IsTtml(metadata, "metadata")) continue;
      for (xmlNode* dm = metadata->children; dm; dm = dm->next) {
        if (!IsElement(dm, kEbuttMetadataNamespace, "documentMetadata")) continue;
        for (xmlNode* e = dm->children; e; e = e->next) {
          if (!IsElement(e, kEbuttMetadataNamespace, "documentStartOfProgramme")) continue;
          xmlChar* content = xmlNodeGetContent(e);
          if (auto t = ParseTimeExpression(content ? Chars(content) : "", timing_)) start_of_programme_ = *t;
          xmlFree(content);
          return;
        }
      }
    }
  }

  // Style elements by id: tt:head/tt:styling/tt:style, resolved while the head is in hand.
  void CollectStyles(xmlNode* head) {
    std::map<std::string, xmlNode*> elements;
    for (xmlNode* styling = head->children; styling; styling = styling->next) {
      if (!IsTtml(styling, "styling")) continue;
      for (xmlNode* style = styling->children; style; style = style->next) {
        if (!IsTtml(style, "style")) continue;
        xmlChar* id = xmlGetNsProp(style, reinterpret_cast<const xmlChar*>("id"), XML_XML_NAMESPACE);
        if (id == nullptr) id = xmlGetNoNsProp(style, reinterpret_cast<const xmlChar*>("id"));
        if (id) elements.emplace(Chars(id), style);
        xmlFree(id);
      }
    }
    for (const auto& [id, element] : elements) styles_by_id_[id] = ResolveStyle(element, elements, 0);
  }

  // A style element's own attributes over the styles it references, in order.
  Style ResolveStyle(xmlNode* element, const std::map<std::string, xmlNode*>& elements, int depth) {
    Style s;
    if (depth < 16) {
      for (const std::string& id : StyleReferences(element)) {
        auto it = elements.find(id);
        if (it != elements.end()) s.Overlay(ResolveStyle(it->second, elements, depth + 1));
      }
    }
    s.Overlay(InlineStyle(element));
    return s;
  }

  static std::vector<std::string> StyleReferences(xmlNode* element) {
    std::vector<std::string> ids;
    auto refs = Attribute(element, "style");
    if (!refs) return ids;
    std::string_view list = *refs;
    while (!list.empty()) {
      size_t start = list.find_first_not_of(" \t\r\n");
      if (start == std::string_view::npos) break;
      size_t end = list.find_first_of(" \t\r\n", start);
      ids.emplace_back(list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
      list = end == std::string_view::npos ? std::string_view() : list.substr(end);
    }
    return ids;
  }

  static Style InlineStyle(xmlNode* element) {
    Style s;
    if (auto v = StylingAttribute(element, "color")) s.color = ParseTtmlColor(*v);
    if (auto v = StylingAttribute(element, "fontWeight")) s.bold = Trim(*v) == "bold";
    if (auto v = StylingAttribute(element, "fontStyle")) s.italic = Trim(*v) == "italic";
    if (auto v = StylingAttribute(element, "textDecoration")) {
      std::string_view d = *v;
      if (d.find("noUnderline") != std::string_view::npos) s.underline = false;
      else if (d.find("underline") != std::string_view::npos) s.underline = true;
      else if (Trim(d) == "none") s.underline = false;
    }
    return s;
  }

  // Styles referenced by the element's style attribute, in order (a later one wins), then
  // its own attributes over them.
  Style OwnStyle(xmlNode* element) {
    Style s;
    if (!options_.style_tags) return s;
    for (const std::string& id : StyleReferences(element)) {
      auto it = styles_by_id_.find(id);
      if (it != styles_by_id_.end()) s.Overlay(it->second);
    }
    s.Overlay(InlineStyle(element));
    return s;
  }

  Style Inherit(const Style& parent, xmlNode* element) {
    Style s = parent;
    s.Overlay(OwnStyle(element));
    return s;
  }

  std::optional<double> FromProgrammeStart(std::optional<double> t) const {
    if (!t || !options_.subtract_start_of_programme) return t;
    return std::max(0.0, *t - start_of_programme_);
  }

  Paragraph ReadParagraph(xmlNode* p, double offset, const Style& style) {
    Paragraph paragraph;
    std::optional<double> own_begin;
    if (auto text = Attribute(p, "begin")) {
      own_begin = Time(*text);
      if (own_begin) paragraph.begin = offset + *own_begin;
    }
    if (auto text = Attribute(p, "end")) {
      if (auto end = Time(*text)) paragraph.end = offset + *end;
    } else if (auto dur_text = Attribute(p, "dur")) {
      if (auto dur = Time(*dur_text)) paragraph.end = offset + own_begin.value_or(0) + *dur;
    }
    paragraph.begin = FromProgrammeStart(paragraph.begin);
    paragraph.end = FromProgrammeStart(paragraph.end);

    bool preserve = xmlNodeGetSpacePreserve(p) == 1;
    LineBuilder lines(options_.style_tags ? &styles_ : nullptr);
    if (HasSpans(p) && !HasOwnText(p)) {
      for (xmlNode* span = p->children; span; span = span->next) {
        if (!IsTtml(span, "span")) continue;
        Collect(span->children, lines, SpaceOf(span, preserve), Inherit(style, span), 0);
        lines.Break();
      }
    } else {
      Collect(p->children, lines, preserve, style, 0);
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
  void Collect(xmlNode* node, LineBuilder& lines, bool preserve, const Style& style, int entity_depth) {
    const uint16_t style_index = options_.style_tags ? styles_.Index(style) : 0;
    for (; node && !over_budget_; node = node->next) {
      switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          lines.Text(Chars(node->content), preserve, style_index);
          if (used_ + lines.size() > budget_) over_budget_ = true;
          break;
        case XML_ENTITY_REF_NODE: {
          // Internal entities are expanded here, within the budget; a document that nests
          // them deeper than any real subtitle file would is cut short.
          xmlEntity* entity = xmlGetDocEntity(node->doc, node->name);
          if (entity == nullptr || entity_depth >= 8) break;
          if (entity->etype != XML_INTERNAL_GENERAL_ENTITY) break;
          Collect(entity->children, lines, preserve, style, entity_depth + 1);
          break;
        }
        case XML_ELEMENT_NODE:
          if (IsTtml(node, "br")) {
            lines.Break();
          } else if (IsTtml(node, "span")) {
            Collect(node->children, lines, SpaceOf(node, preserve), Inherit(style, node), entity_depth);
          }
          break;
        default:
          break;
      }
    }
  }

  const ReadOptions& options_;
  std::vector<Frame> frames_;
  std::map<std::string, Style> styles_by_id_;
  TimingParameters timing_;
  bool legacy_ = false;
  double start_of_programme_ = 0;
  StyleTable styles_;
  size_t budget_;
  size_t used_ = 0;
  bool over_budget_ = false;
};

unsigned HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 16;
}

}  // namespace

std::optional<unsigned> ParseTtmlColor(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.starts_with("#") && (t.size() == 7 || t.size() == 9)) {
    unsigned rgba = 0;
    for (char c : t.substr(1)) {
      unsigned d = HexDigit(c);
      if (d > 15) return std::nullopt;
      rgba = rgba * 16 + d;
    }
    return t.size() == 9 ? rgba >> 8 : rgba;
  }
  for (const char* prefix : {"rgba(", "rgb("}) {
    if (!t.starts_with(prefix) || !t.ends_with(")")) continue;
    std::string_view args = t.substr(std::strlen(prefix), t.size() - std::strlen(prefix) - 1);
    unsigned parts[4];
    int count = 0;
    while (count < 4) {
      args = Trim(args);
      size_t comma = args.find(',');
      std::string_view part = Trim(args.substr(0, comma));
      if (part.empty() || part.size() > 3) return std::nullopt;
      unsigned v = 0;
      for (char c : part) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
      }
      if (v > 255) return std::nullopt;
      parts[count++] = v;
      if (comma == std::string_view::npos) break;
      args = args.substr(comma + 1);
    }
    if (count != (std::strcmp(prefix, "rgba(") == 0 ? 4 : 3)) return std::nullopt;
    return parts[0] << 16 | parts[1] << 8 | parts[2];
  }
  static const std::map<std::string_view, unsigned> kNamed = {
      {"black", 0x000000}, {"silver", 0xC0C0C0}, {"gray", 0x808080},   {"white", 0xFFFFFF},
      {"maroon", 0x800000}, {"red", 0xFF0000},   {"purple", 0x800080}, {"fuchsia", 0xFF00FF},
      {"magenta", 0xFF00FF}, {"green", 0x008000}, {"lime", 0x00FF00},  {"olive", 0x808000},
      {"yellow", 0xFFFF00}, {"navy", 0x000080},  {"blue", 0x0000FF},   {"teal", 0x008080},
      {"aqua", 0x00FFFF},   {"cyan", 0x00FFFF}};
  auto it = kNamed.find(t);
  if (it != kNamed.end()) return it->second;
  return std::nullopt;
}

ReadResult ReadEbuTt(std::string_view bytes, const ReadOptions& options) {
  InitLibxml();
  ReadResult result;
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    result.error = "the document is larger than 2 GB";
    return result;
  }
  // No XML_PARSE_NOENT: it would read external entities. No XML_PARSE_HUGE: it would lift
  // the limits that stop entity bombs.
  xmlTextReaderPtr reader =
      xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), "input.xml", nullptr,
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (reader == nullptr) {
    result.error = "out of memory";
    return result;
  }
  // What is not well-formed, or not namespace-well-formed, makes the document unreadable.
  // Warnings do not, nor do validity remarks such as an xml:id given twice.
  xmlTextReaderSetStructuredErrorHandler(
      reader,
      [](void* arg, xmlErrorPtr error) {
        auto* first_error = static_cast<std::string*>(arg);
        const bool fatal = error->level == XML_ERR_FATAL ||
                           (error->level == XML_ERR_ERROR &&
                            (error->domain == XML_FROM_PARSER || error->domain == XML_FROM_NAMESPACE));
        if (fatal && first_error->empty())
          *first_error = error->message && *error->message ? error->message : "not well-formed XML";
      },
      &result.error);
  Reader walker(bytes.size(), options);
  bool complete = walker.Read(reader, result);
  xmlFreeTextReader(reader);
  if (walker.over_budget()) {
    result.paragraphs.clear();
    result.error = "entity expansion exceeds the size limit";
    return result;
  }
  if (!complete || !result.error.empty()) {
    result.paragraphs.clear();
    if (result.error.empty()) result.error = "not well-formed XML";
    while (!result.error.empty() && result.error.back() == '\n') result.error.pop_back();
    return result;
  }
  result.loaded = true;
  return result;
}

}  // namespace capsel
