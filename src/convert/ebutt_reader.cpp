#include "convert/ebutt_reader.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

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

// Reads the document as a stream of parser events (libxml2's SAX2 interface): nothing but the
// paragraph in hand is kept, so memory stays near the size of the input however long the
// document is, and no tree is ever built.
class SaxReader {
 public:
  SaxReader(xmlParserCtxtPtr ctxt, size_t input_size, const ReadOptions& options)
      : ctxt_(ctxt), options_(options), budget_(input_size * 4 + (1u << 20)) {}

  // The parser hands its own context to every callback (its default handlers need it); the
  // reader rides along in the context's private pointer.
  static SaxReader* Of(void* ctx) {
    return static_cast<SaxReader*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
  }
  static void OnStart(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int,
                      const xmlChar**, int nb_attributes, int, const xmlChar** attributes) {
    Of(ctx)->Start(Chars(localname), uri ? Chars(uri) : nullptr, Attributes{attributes, nb_attributes});
  }
  static void OnEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) { Of(ctx)->End(); }
  static void OnText(void* ctx, const xmlChar* text, int len) {
    Of(ctx)->Text(Chars(text), static_cast<size_t>(len));
  }

  std::vector<Paragraph>& paragraphs() { return paragraphs_; }
  bool over_budget() const { return over_budget_; }

 private:
  // Where an element stands, which decides what its content gives.
  enum class Kind {
    kSkip, kRoot, kHead, kStyling, kHeadMetadata, kDocumentMetadata, kStartOfProgramme,
    kBody, kDiv, kParagraph, kSpan
  };
  struct Frame {
    Kind kind = Kind::kSkip;
    double offset = 0;  // begin times of body and divs so far
    Style style;
    bool preserve = false;  // xml:space="preserve" in force
    uint16_t style_index = 0;
  };
  // The content of the paragraph in hand, as it came.
  struct Event {
    enum class Type { kText, kSpanStart, kSpanEnd, kBreak } type;
    int level;  // 0: directly in the paragraph
    std::string text;
    uint16_t style = 0;
    bool preserve = false;
  };
  struct RawStyle {
    std::vector<std::string> references;
    Style own;
  };

  // The attributes of an element, five pointers each as SAX2 gives them.
  struct Attributes {
    const xmlChar** a;
    int count;
    template <typename Match>
    std::optional<std::string> Find(const char* name, Match uri_matches) const {
      for (int i = 0; i < count; ++i) {
        const xmlChar** at = a + 5 * i;
        if (std::strcmp(Chars(at[0]), name) == 0 && uri_matches(at[2] ? Chars(at[2]) : nullptr))
          return std::string(Chars(at[3]), static_cast<size_t>(at[4] - at[3]));
      }
      return std::nullopt;
    }
  };

  static bool InDocumentNamespace(const char* uri) {
    if (uri == nullptr) return false;
    for (const char* name : kDocumentNamespaces)
      if (std::strcmp(uri, name) == 0) return true;
    return false;
  }
  static bool InVocabulary(const char* uri, std::initializer_list<const char*> suffixes) {
    if (uri == nullptr) return false;
    std::string_view href = uri;
    for (const char* name : kDocumentNamespaces) {
      if (!href.starts_with(name)) continue;
      for (const char* suffix : suffixes)
        if (href.substr(std::strlen(name)) == suffix) return true;
    }
    return false;
  }

  // An attribute value with its entity and character references resolved.
  std::string Decoded(std::string value) const {
    if (value.find('&') == std::string::npos) return value;
    xmlChar* decoded = xmlStringLenDecodeEntities(ctxt_, reinterpret_cast<const xmlChar*>(value.data()),
                                                  static_cast<int>(value.size()), XML_SUBSTITUTE_REF, 0, 0, 0);
    if (decoded == nullptr) return value;
    std::string out = Chars(decoded);
    xmlFree(decoded);
    return out;
  }
  std::optional<std::string> Plain(const Attributes& attrs, const char* name) const {
    auto v = attrs.Find(name, [](const char* uri) { return uri == nullptr; });
    if (v) v = Decoded(std::move(*v));
    return v;
  }
  std::optional<std::string> Vocabulary(const Attributes& attrs, const char* name,
                                        std::initializer_list<const char*> suffixes) const {
    auto v = attrs.Find(name, [&](const char* uri) { return InVocabulary(uri, suffixes); });
    if (v) v = Decoded(std::move(*v));
    return v;
  }
  std::optional<std::string> XmlAttribute(const Attributes& attrs, const char* name) const {
    return attrs.Find(name, [](const char* uri) {
      return uri != nullptr && std::strcmp(uri, Chars(XML_XML_NAMESPACE)) == 0;
    });
  }

  std::optional<double> Time(const std::string& text) const {
    if (auto t = ParseTimeExpression(text, timing_)) return t;
    // Older DFXP tools (Flash among them) write plain seconds without a unit.
    if (legacy_) return ParseTimeExpression(std::string(Trim(text)) + "s", timing_);
    return std::nullopt;
  }
  // The begin time of a container; one that is missing or does not read counts as 0.
  double BeginOf(const Attributes& attrs) const {
    auto text = Plain(attrs, "begin");
    return text ? Time(*text).value_or(0) : 0;
  }

  Style InlineStyle(const Attributes& attrs) const {
    Style s;
    auto styling = [&](const char* name) { return Vocabulary(attrs, name, {"#styling", "#style"}); };
    if (auto v = styling("color")) s.color = ParseTtmlColor(*v);
    if (auto v = styling("fontWeight")) s.bold = Trim(*v) == "bold";
    if (auto v = styling("fontStyle")) s.italic = Trim(*v) == "italic";
    if (auto v = styling("textDecoration")) {
      std::string_view d = *v;
      if (d.find("noUnderline") != std::string_view::npos) s.underline = false;
      else if (d.find("underline") != std::string_view::npos) s.underline = true;
      else if (Trim(d) == "none") s.underline = false;
    }
    return s;
  }
  static std::vector<std::string> References(const std::optional<std::string>& refs) {
    std::vector<std::string> ids;
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
  // Styles referenced by the element, in order (a later one wins), then its own attributes.
  Style OwnStyle(const Attributes& attrs) const {
    Style s;
    if (!options_.style_tags) return s;
    for (const std::string& id : References(Plain(attrs, "style"))) {
      auto it = styles_by_id_.find(id);
      if (it != styles_by_id_.end()) s.Overlay(it->second);
    }
    s.Overlay(InlineStyle(attrs));
    return s;
  }
  Style Inherit(const Style& parent, const Attributes& attrs) const {
    Style s = parent;
    s.Overlay(OwnStyle(attrs));
    return s;
  }
  Style Resolve(const std::string& id, int depth) const {
    Style s;
    auto it = raw_styles_.find(id);
    if (it == raw_styles_.end() || depth >= 16) return s;
    for (const std::string& ref : it->second.references) s.Overlay(Resolve(ref, depth + 1));
    s.Overlay(it->second.own);
    return s;
  }

  void Start(const char* name, const char* uri, const Attributes& attrs) {
    Frame frame;
    frame.kind = Kind::kSkip;
    const Frame* parent = stack_.empty() ? nullptr : &stack_.back();
    frame.preserve = parent ? parent->preserve : false;
    if (auto space = XmlAttribute(attrs, "space")) {
      if (*space == "preserve") frame.preserve = true;
      else if (*space == "default") frame.preserve = false;
    }
    const bool ttml = InDocumentNamespace(uri);
    auto is = [&](const char* local) { return ttml && std::strcmp(name, local) == 0; };
    auto is_metadata = [&](const char* local) {
      return uri && std::strcmp(uri, kEbuttMetadataNamespace) == 0 && std::strcmp(name, local) == 0;
    };

    switch (parent ? parent->kind : Kind::kSkip) {
      case Kind::kSkip:
        if (parent == nullptr && is("tt")) {
          frame.kind = Kind::kRoot;
          legacy_ = std::strcmp(uri, kTtmlNamespace) != 0;
          auto parameter = [&](const char* p) { return Vocabulary(attrs, p, {"#parameter"}).value_or(""); };
          timing_ = ReadTimingParameters(parameter("frameRate"), parameter("frameRateMultiplier"),
                                         parameter("subFrameRate"), parameter("tickRate"));
        }
        break;
      case Kind::kRoot:
        if (is("head")) {
          frame.kind = Kind::kHead;
        } else if (is("body")) {
          frame.kind = Kind::kBody;
          frame.offset = BeginOf(attrs);
          frame.style = OwnStyle(attrs);
        }
        break;
      case Kind::kHead:
        if (is("styling") && options_.style_tags) frame.kind = Kind::kStyling;
        else if (is("metadata") && options_.subtract_start_of_programme) frame.kind = Kind::kHeadMetadata;
        break;
      case Kind::kStyling:
        if (is("style")) {
          auto id = XmlAttribute(attrs, "id");
          if (!id) id = Plain(attrs, "id");
          if (id) raw_styles_.emplace(*id, RawStyle{References(Plain(attrs, "style")), InlineStyle(attrs)});
        }
        break;
      case Kind::kHeadMetadata:
        if (is_metadata("documentMetadata")) frame.kind = Kind::kDocumentMetadata;
        break;
      case Kind::kDocumentMetadata:
        if (is_metadata("documentStartOfProgramme") && !start_of_programme_) {
          frame.kind = Kind::kStartOfProgramme;
          start_of_programme_text_.clear();
        }
        break;
      case Kind::kBody:
      case Kind::kDiv:
        if (is("div")) {
          frame.kind = Kind::kDiv;
          frame.offset = parent->offset + BeginOf(attrs);
          frame.style = Inherit(parent->style, attrs);
        } else if (is("p") && parent->kind == Kind::kDiv) {
          frame.kind = Kind::kParagraph;
          frame.style = Inherit(parent->style, attrs);
          StartParagraph(attrs, parent->offset);
        }
        break;
      case Kind::kParagraph:
      case Kind::kSpan:
        if (is("span")) {
          frame.kind = Kind::kSpan;
          frame.style = Inherit(parent->style, attrs);
          events_.push_back({Event::Type::kSpanStart, Level(), {}});
        } else if (is("br")) {
          events_.push_back({Event::Type::kBreak, Level(), {}});
        }
        break;  // anything else in a paragraph (metadata, foreign elements) gives no text
      default:
        break;
    }
    if (options_.style_tags && (frame.kind == Kind::kParagraph || frame.kind == Kind::kSpan))
      frame.style_index = styles_.Index(frame.style);
    stack_.push_back(std::move(frame));
  }

  void End() {
    if (stack_.empty()) return;
    Frame frame = std::move(stack_.back());
    stack_.pop_back();
    switch (frame.kind) {
      case Kind::kSpan:
        events_.push_back({Event::Type::kSpanEnd, Level(), {}});
        break;
      case Kind::kParagraph:
        FinishParagraph();
        break;
      case Kind::kStyling:
        for (const auto& [id, raw] : raw_styles_) styles_by_id_[id] = Resolve(id, 0);
        break;
      case Kind::kStartOfProgramme:
        start_of_programme_ = ParseTimeExpression(start_of_programme_text_, timing_);
        break;
      default:
        break;
    }
  }

  void Text(const char* text, size_t len) {
    if (stack_.empty()) return;
    const Frame& frame = stack_.back();
    if (frame.kind == Kind::kStartOfProgramme) {
      start_of_programme_text_.append(text, len);
    } else if (frame.kind == Kind::kParagraph || frame.kind == Kind::kSpan) {
      used_ += len;
      if (used_ > budget_) {
        over_budget_ = true;
        xmlStopParser(ctxt_);
        return;
      }
      // Adjacent text (split by the parser, or by an entity) joins one event.
      if (!events_.empty() && events_.back().type == Event::Type::kText &&
          events_.back().level == Level() && events_.back().style == frame.style_index &&
          events_.back().preserve == frame.preserve) {
        events_.back().text.append(text, len);
      } else {
        events_.push_back({Event::Type::kText, Level(), std::string(text, len), frame.style_index, frame.preserve});
      }
    }
  }

  // How deep the current element stands below the paragraph (0: the paragraph itself).
  int Level() const { return static_cast<int>(stack_.size()) - 1 - paragraph_depth_; }

  void StartParagraph(const Attributes& attrs, double offset) {
    paragraph_ = Paragraph{};
    events_.clear();
    paragraph_depth_ = static_cast<int>(stack_.size());
    std::optional<double> own_begin;
    if (auto text = Plain(attrs, "begin")) {
      own_begin = Time(*text);
      if (own_begin) paragraph_.begin = offset + *own_begin;
    }
    if (auto text = Plain(attrs, "end")) {
      if (auto end = Time(*text)) paragraph_.end = offset + *end;
    } else if (auto dur_text = Plain(attrs, "dur")) {
      if (auto dur = Time(*dur_text)) paragraph_.end = offset + own_begin.value_or(0) + *dur;
    }
  }

  static bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
  }

  void FinishParagraph() {
    bool has_spans = false, has_own_text = false;
    for (const Event& e : events_) {
      if (e.level != 0) continue;
      if (e.type == Event::Type::kSpanStart) has_spans = true;
      if (e.type == Event::Type::kText && !IsBlank(e.text)) has_own_text = true;
    }
    LineBuilder lines(options_.style_tags ? &styles_ : nullptr);
    const bool per_span = has_spans && !has_own_text;
    bool in_span = false;
    for (const Event& e : events_) {
      if (per_span && e.level == 0) {
        // Directly in the paragraph: span boundaries make the lines, nothing else counts.
        if (e.type == Event::Type::kSpanStart) in_span = true;
        if (e.type == Event::Type::kSpanEnd) {
          in_span = false;
          lines.Break();
        }
        continue;
      }
      if (per_span && !in_span) continue;
      if (e.type == Event::Type::kText) lines.Text(e.text.c_str(), e.preserve, e.style);
      else if (e.type == Event::Type::kBreak) lines.Break();
    }
    paragraph_.lines = lines.Finish();
    if (options_.subtract_start_of_programme && start_of_programme_) {
      for (auto* t : {&paragraph_.begin, &paragraph_.end})
        if (*t) *t = std::max(0.0, **t - *start_of_programme_);
    }
    paragraphs_.push_back(std::move(paragraph_));
    events_.clear();
  }

  xmlParserCtxtPtr ctxt_;
  const ReadOptions& options_;
  TimingParameters timing_;
  bool legacy_ = false;
  std::vector<Frame> stack_;
  std::map<std::string, RawStyle> raw_styles_;
  std::map<std::string, Style> styles_by_id_;
  StyleTable styles_;
  std::string start_of_programme_text_;
  std::optional<double> start_of_programme_;
  Paragraph paragraph_;
  int paragraph_depth_ = 0;
  std::vector<Event> events_;
  std::vector<Paragraph> paragraphs_;
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
  xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
  if (ctxt == nullptr) {
    result.error = "out of memory";
    return result;
  }
  // The default SAX2 handlers keep what the parser itself needs (the DTD's entities, so that
  // internal entities are expanded as text); elements and text come to the reader instead of
  // building a tree.
  auto* handler = static_cast<xmlSAXHandler*>(xmlMalloc(sizeof(xmlSAXHandler)));
  if (handler == nullptr) {
    xmlFreeParserCtxt(ctxt);
    result.error = "out of memory";
    return result;
  }
  std::memset(handler, 0, sizeof(xmlSAXHandler));
  xmlSAXVersion(handler, 2);
  handler->startElementNs = SaxReader::OnStart;
  handler->endElementNs = SaxReader::OnEnd;
  handler->characters = SaxReader::OnText;
  handler->cdataBlock = SaxReader::OnText;
  handler->ignorableWhitespace = SaxReader::OnText;
  handler->reference = nullptr;
  handler->serror = nullptr;
  handler->error = nullptr;
  handler->warning = nullptr;
  if (ctxt->sax != nullptr) xmlFree(ctxt->sax);
  ctxt->sax = handler;
  SaxReader reader(ctxt, bytes.size(), options);
  ctxt->_private = &reader;
  // No XML_PARSE_NOENT: it would read external entities. No XML_PARSE_HUGE: it would lift
  // the limits that stop entity bombs.
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  xmlParseDocument(ctxt);
  const bool well_formed = ctxt->wellFormed && ctxt->nsWellFormed;
  if (!well_formed) {
    result.error = ctxt->lastError.message ? ctxt->lastError.message : "not well-formed XML";
    while (!result.error.empty() && result.error.back() == '\n') result.error.pop_back();
  }
  if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  xmlFreeParserCtxt(ctxt);
  if (reader.over_budget()) {
    result.error = "entity expansion exceeds the size limit";
    return result;
  }
  if (!well_formed) return result;
  result.paragraphs = std::move(reader.paragraphs());
  result.loaded = true;
  return result;
}

}  // namespace capsel
