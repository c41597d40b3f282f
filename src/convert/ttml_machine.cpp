#include "convert/ttml_machine.h"

#include <algorithm>
#include <cstring>

#include "convert/xml_blanks.h"

namespace capsel {
namespace {

// TTML, and the draft namespaces older DFXP tools write; all are read alike.
constexpr const char* kDocumentNamespaces[] = {kTtmlNamespace, "http://www.w3.org/2006/10/ttaf1",
                                               "http://www.w3.org/2006/04/ttaf1"};
constexpr char kXmlNamespace[] = "http://www.w3.org/XML/1998/namespace";

// An end that nothing in the document gives lasts until the next paragraph begins, but at
// most this long.
constexpr double kOpenEndLimit = 10;
// Paragraphs held back behind one whose end is open; past this, the oldest is given its
// longest end, so a document of open ends cannot hold itself in memory.
constexpr size_t kMaxHeld = 4096;

const char* Chars(const unsigned char* s) { return reinterpret_cast<const char*>(s); }

Interval Intersect(Interval a, Interval b) {
  return {std::max(a.begin, b.begin), std::min(a.end, b.end)};
}

// `set` without `cut`; both in order and apart, as they stay.
void Subtract(std::vector<Interval>& set, Interval cut) {
  std::vector<Interval> left;
  for (const Interval& i : set) {
    if (!(cut.begin < i.end && cut.end > i.begin)) {
      left.push_back(i);
      continue;
    }
    if (i.begin < cut.begin) left.push_back({i.begin, cut.begin});
    if (cut.end < i.end) left.push_back({cut.end, i.end});
  }
  set = std::move(left);
}

// `set` with `add`; intervals that meet become one.
void Unite(std::vector<Interval>& set, Interval add) {
  if (add.Empty()) return;
  set.push_back(add);
  std::sort(set.begin(), set.end(), [](Interval a, Interval b) { return a.begin < b.begin; });
  std::vector<Interval> merged;
  for (const Interval& i : set) {
    if (!merged.empty() && i.begin <= merged.back().end)
      merged.back().end = std::max(merged.back().end, i.end);
    else
      merged.push_back(i);
  }
  set = std::move(merged);
}

bool InDocumentNamespace(const char* uri) {
  if (uri == nullptr) return false;
  for (const char* name : kDocumentNamespaces)
    if (std::strcmp(uri, name) == 0) return true;
  return false;
}

bool InVocabulary(const char* uri, std::initializer_list<const char*> suffixes) {
  if (uri == nullptr) return false;
  std::string_view href = uri;
  for (const char* name : kDocumentNamespaces) {
    if (!href.starts_with(name)) continue;
    for (const char* suffix : suffixes)
      if (href.substr(std::strlen(name)) == suffix) return true;
  }
  return false;
}

}  // namespace

TtmlMachine::TtmlMachine(const ReadOptions& options, CueSink& sink,
                         std::function<std::string(std::string)> decode, uint64_t text_budget)
    : options_(options), sink_(sink), decode_(std::move(decode)), budget_(text_budget) {}

std::span<const TtmlMachine::AttributeName> TtmlMachine::NamesIn(const char* uri) {
  // Most attributes of a document are in no namespace: timing, region and style first.
  static constexpr AttributeName kNoNamespace[] = {{"begin", &Found::begin},
                                                   {"end", &Found::end},
                                                   {"region", &Found::region},
                                                   {"style", &Found::style},
                                                   {"id", &Found::id},
                                                   {"dur", &Found::dur},
                                                   {"timeContainer", &Found::time_container}};
  static constexpr AttributeName kXml[] = {{"space", &Found::xml_space}, {"id", &Found::xml_id}};
  static constexpr AttributeName kStyling[] = {{"color", &Found::color},
                                               {"fontWeight", &Found::font_weight},
                                               {"fontStyle", &Found::font_style},
                                               {"textDecoration", &Found::text_decoration},
                                               {"display", &Found::display},
                                               {"ruby", &Found::ruby},
                                               {"origin", &Found::origin},
                                               {"extent", &Found::extent},
                                               {"displayAlign", &Found::display_align},
                                               {"textAlign", &Found::text_align},
                                               {"direction", &Found::direction}};
  static constexpr AttributeName kParameter[] = {
      {"frameRate", &Found::frame_rate},
      {"frameRateMultiplier", &Found::frame_rate_multiplier},
      {"subFrameRate", &Found::sub_frame_rate},
      {"tickRate", &Found::tick_rate},
      {"timeBase", &Found::time_base},
      {"dropMode", &Found::drop_mode},
      {"cellResolution", &Found::cell_resolution}};
  if (uri == nullptr) return kNoNamespace;
  if (std::strcmp(uri, kXmlNamespace) == 0) return kXml;
  if (InVocabulary(uri, {"#styling", "#style"})) return kStyling;
  if (InVocabulary(uri, {"#parameter"})) return kParameter;
  return {};
}

TtmlMachine::Found TtmlMachine::Gather(SaxAttributes attrs) {
  Found f;
  for (int i = 0; i < attrs.count; ++i) {
    const unsigned char* const* at = attrs.a + 5 * i;
    const char* local = Chars(at[0]);
    for (const AttributeName& wanted : NamesIn(Chars(at[2]))) {
      // The first letter rules out most names without a call.
      if (wanted.name[0] != local[0] || std::strcmp(wanted.name, local) != 0) continue;
      // The first of a name counts, as a lookup by name would find it.
      Attribute& slot = f.*wanted.field;
      if (!slot)
        slot = std::string_view(at[3] ? Chars(at[3]) : "", static_cast<size_t>(at[4] - at[3]));
      break;
    }
  }
  return f;
}

std::string_view TtmlMachine::Value(std::string_view raw, std::string& scratch) const {
  if (raw.find('&') == std::string_view::npos) return raw;
  scratch = decode_(std::string(raw));
  return scratch;
}

TtmlMachine::Attribute TtmlMachine::Value(const Attribute& raw, std::string& scratch) const {
  if (!raw) return std::nullopt;
  return Value(*raw, scratch);
}

std::vector<std::string> TtmlMachine::Ids(const Attribute& raw) const {
  if (!raw) return {};
  std::string scratch;
  return SplitIds(Value(*raw, scratch));
}

std::optional<double> TtmlMachine::Time(std::string_view text) const {
  if (auto t = ParseTimeExpression(text, timing_)) return t;
  // Older DFXP tools (Flash among them) write plain seconds without a unit.
  if (legacy_) return ParseTimeExpression(std::string(TrimXmlBlanks(text)) + "s", timing_);
  return std::nullopt;
}

// A time that is there but does not read is one File Error line. On a paragraph it takes the
// previous paragraph's value; on any other element it counts as not given.
TimingAttributes TtmlMachine::ReadTiming(const Found& attrs, bool paragraph, double sync) {
  TimingAttributes t;
  std::string scratch;
  auto read = [&](const Attribute& raw, std::optional<double>* value, double previous) {
    if (!raw) return true;
    *value = Time(Value(*raw, scratch));
    if (*value) return true;
    ++report_.file_errors;
    if (paragraph) *value = previous - sync;
    return false;
  };
  begin_readable_ = read(attrs.begin, &t.begin, previous_begin_);
  std::optional<double> dur;
  bool end_read = read(attrs.end, &t.end, previous_end_);
  bool dur_read = read(attrs.dur, &dur, 0);
  if (dur_read)
    t.dur = dur;
  else if (paragraph && end_read && !t.end)
    t.end = previous_end_ - sync;
  if (attrs.time_container) t.seq = TrimXmlBlanks(Value(*attrs.time_container, scratch)) == "seq";
  return t;
}

TextStyle TtmlMachine::InlineStyle(const Found& attrs) const {
  std::string s1, s2, s3, s4;
  TextStyle s = StyleFromAttributes(Value(attrs.color, s1), Value(attrs.font_weight, s2),
                                    Value(attrs.font_style, s3), Value(attrs.text_decoration, s4));
  if (attrs.display) s.display_none = TrimXmlBlanks(Value(*attrs.display, s1)) == "none";
  if (attrs.ruby) s.ruby = ParseRubyRole(Value(*attrs.ruby, s1));
  return s;
}

// Styles referenced by the element, in order (a later one wins), then its own attributes.
// Without style tags, only display and ruby count: references are followed only when a
// style sets one of them.
TextStyle TtmlMachine::OwnStyle(const Found& attrs) const {
  TextStyle s;
  if (attrs.style && (options_.style_tags || style_sheet_.SetsDisplayOrRuby())) {
    for (const std::string& id : Ids(attrs.style))
      if (const TextStyle* referenced = style_sheet_.Find(id)) s.Overlay(*referenced);
  }
  s.Overlay(InlineStyle(attrs));
  return s;
}

std::optional<RubyRole> TtmlMachine::OpenTimed(Frame& frame, const Frame& parent,
                                               const Found& attrs) {
  const TimedElement& up = parent.timed;
  const double sync = up.seq ? up.cursor : up.interval.begin;
  frame.timed = OpenChild(up, ReadTiming(attrs, frame.kind == Kind::kParagraph, sync));
  TextStyle own = OwnStyle(attrs);
  // Hidden here, or in a hidden region, it hides all within; hidden above, it is hidden too.
  bool hidden = own.display_none.value_or(false);
  if (!hidden && attrs.region && !hidden_regions_.empty()) {
    std::string scratch;
    hidden = hidden_regions_.contains(std::string(TrimXmlBlanks(Value(*attrs.region, scratch))));
  }
  frame.restricted = parent.restricted || hidden;
  if (parent.restricted && !hidden) frame.shown = parent.shown;
  const std::optional<RubyRole> ruby = own.ruby;
  own.display_none.reset();
  own.ruby.reset();
  frame.style = parent.style;
  frame.style.Overlay(own);
  if (options_.placement && frame.kind != Kind::kSpan) {
    frame.layout = parent.layout;
    // Most paragraphs name a region and nothing more: the rest is read only when it is there.
    const bool aligned = attrs.style && layout_.StylesSetAlignment();
    const bool own =
        attrs.origin || attrs.extent || attrs.display_align || attrs.text_align || attrs.direction;
    if (aligned || own || attrs.region) {
      std::string scratch;
      frame.layout = layout_.Enter(parent.layout, Value(attrs.region, scratch),
                                   aligned ? Ids(attrs.style) : std::vector<std::string>{},
                                   own ? LayoutAttributes(attrs) : LayoutStyle{});
    }
  }
  return ruby;
}

LayoutStyle TtmlMachine::LayoutAttributes(const Found& attrs) const {
  std::string s1, s2, s3, s4, s5;
  return layout_.ReadAttributes(Value(attrs.origin, s1), Value(attrs.extent, s2),
                                Value(attrs.display_align, s3), Value(attrs.text_align, s4),
                                Value(attrs.direction, s5));
}

void TtmlMachine::OpenRubyPart(Frame& frame, const Frame& parent, std::optional<RubyRole> role) {
  using enum RubyPart;
  if (parent.ruby == kNone) {
    if (role != RubyRole::kContainer) return;
    frame.ruby = kContainer;
    paragraph_.AddRuby(ParagraphContent::Kind::kRubyBase);
    annotation_.clear();
    after_ruby_.clear();
    annotation_bytes_ = 0;
    annotation_taken_ = false;
    return;
  }
  if (parent.ruby == kLeftOut) {
    frame.ruby = kLeftOut;
  } else if (!role) {  // a plain span: part of what holds it
    frame.ruby = parent.ruby == kContainer || parent.ruby == kBaseContainer ? kBase
                 : parent.ruby == kTextContainer                            ? kText
                                                                            : parent.ruby;
  } else {
    switch (*role) {
      case RubyRole::kBaseContainer:
        frame.ruby = kBaseContainer;
        break;
      case RubyRole::kBase:
        frame.ruby = kBase;
        break;
      // A subtitle line has room for one reading: the first annotation.
      case RubyRole::kTextContainer:
        frame.ruby = annotation_taken_ ? kLeftOut : kTextContainer;
        break;
      case RubyRole::kText:
        frame.ruby = annotation_taken_ ? kLeftOut : kText;
        break;
      default:  // a delimiter stands in for what the brackets do; a ruby in a ruby is none
        frame.ruby = kLeftOut;
        break;
    }
  }
}

void TtmlMachine::CloseRubyPart(const Frame& frame, const Frame& parent) {
  using enum RubyPart;
  if (frame.ruby == kContainer && parent.ruby == kNone) {
    paragraph_.AddRuby(ParagraphContent::Kind::kRubyText);
    for (const Annotation& a : annotation_)
      paragraph_.AddText(a.text, a.preserve, a.style, a.visible, false);
    paragraph_.AddRuby(ParagraphContent::Kind::kRubyEnd);
    for (const Annotation& a : after_ruby_)
      paragraph_.AddText(a.text, a.preserve, a.style, a.visible, false);
    annotation_.clear();
    after_ruby_.clear();
    annotation_bytes_ = 0;
  } else if ((frame.ruby == kText || frame.ruby == kTextContainer) && parent.ruby == kContainer) {
    annotation_taken_ = true;
  }
}

void TtmlMachine::OpenRoot(const char* uri, const Found& attrs) {
  legacy_ = std::strcmp(uri, kTtmlNamespace) != 0;
  std::string s1, s2, s3, s4, s5, s6;
  auto text = [this](const Attribute& raw, std::string& scratch) {
    return Value(raw, scratch).value_or("");
  };
  timing_ = ReadTimingParameters(text(attrs.frame_rate, s1), text(attrs.frame_rate_multiplier, s2),
                                 text(attrs.sub_frame_rate, s3), text(attrs.tick_rate, s4),
                                 text(attrs.time_base, s5), text(attrs.drop_mode, s6));
  ReadTimeOffset();
  if (options_.placement)
    layout_.SetRoot(Value(attrs.extent, s1), Value(attrs.cell_resolution, s2));
}

// A style without an id is one nothing can refer to.
void TtmlMachine::DefineStyle(const Found& attrs) {
  const Attribute& id = attrs.xml_id ? attrs.xml_id : attrs.id;
  if (!id) return;
  std::string scratch, key(TrimXmlBlanks(Value(*id, scratch)));
  std::vector<std::string> references = Ids(attrs.style);
  if (options_.placement) layout_.AddStyle(key, references, LayoutAttributes(attrs));
  style_sheet_.Add(std::move(key), std::move(references), InlineStyle(attrs));
}

// A region is kept as it stands until the body begins, when all styles are known.
bool TtmlMachine::AddRegion(const Found& attrs) {
  const Attribute& id = attrs.xml_id ? attrs.xml_id : attrs.id;
  if (!id) return false;
  std::string scratch, key(TrimXmlBlanks(Value(*id, scratch)));
  regions_.push_back({key, Ids(attrs.style), InlineStyle(attrs)});
  if (options_.placement)
    layout_.AddRegion(std::move(key), regions_.back().references, LayoutAttributes(attrs));
  return true;
}

// A region hidden by tts:display, its own or its styles', hides what is shown in it.
void TtmlMachine::ResolveRegions() {
  for (const Region& region : regions_) {
    TextStyle s;
    for (const std::string& ref : region.references)
      if (const TextStyle* referenced = style_sheet_.Find(ref)) s.Overlay(*referenced);
    s.Overlay(region.own);
    if (s.display_none.value_or(false)) hidden_regions_.insert(region.id);
  }
  regions_.clear();
  if (options_.placement) layout_.Resolve();
}

// A set that animates tts:display shows or hides its parent for the set's own interval; sets
// come before their parent's text, so the text finds its parent's intervals complete.
void TtmlMachine::ApplySet(const Found& attrs) {
  if (!attrs.display) return;
  Frame& target = stack_.back();
  std::string scratch;
  const bool hide = TrimXmlBlanks(Value(*attrs.display, scratch)) == "none";
  const TimedElement& up = target.timed;
  const double sync = up.seq ? up.cursor : up.interval.begin;
  const Interval when = OpenChild(up, ReadTiming(attrs, false, sync)).interval;
  if (when.Empty()) return;
  if (hide) {
    if (!target.restricted) target.shown = {target.timed.interval};
    target.restricted = true;
    Subtract(target.shown, when);
  } else if (target.restricted) {
    // Shown within what the element above shows.
    const Frame* above = stack_.size() >= 2 ? &stack_[stack_.size() - 2] : nullptr;
    if (above == nullptr || !above->restricted)
      Unite(target.shown, when);
    else
      for (const Interval& i : above->shown) Unite(target.shown, Intersect(i, when));
  }
}

bool TtmlMachine::Start(const char* name, const char* uri, SaxAttributes raw_attributes) {
  if (stack_.size() >= static_cast<size_t>(kMaxElementDepth)) {
    refusal_ = "elements are nested deeper than " + std::to_string(kMaxElementDepth) + " levels";
    return false;
  }
  const Found attrs = Gather(raw_attributes);
  Frame frame;
  Frame* parent = stack_.empty() ? nullptr : &stack_.back();
  frame.preserve = parent ? parent->preserve : false;
  if (attrs.xml_space == "preserve")
    frame.preserve = true;
  else if (attrs.xml_space == "default")
    frame.preserve = false;
  // The parser hands the same string for every use of a namespace: one comparison per
  // namespace, not per element.
  if (uri != last_uri_) {
    last_uri_ = uri;
    last_uri_is_ttml_ = InDocumentNamespace(uri);
  }
  const bool ttml = last_uri_is_ttml_;
  auto is = [&](const char* local) { return ttml && std::strcmp(name, local) == 0; };
  auto is_metadata = [&](const char* local) {
    return uri && std::strcmp(uri, kEbuttMetadataNamespace) == 0 && std::strcmp(name, local) == 0;
  };

  switch (parent ? parent->kind : Kind::kSkip) {
    case Kind::kSkip:
      if (parent == nullptr && is("tt")) {
        frame.kind = Kind::kRoot;
        frame.timed = RootElement();
        OpenRoot(uri, attrs);
      }
      break;
    case Kind::kRoot:
      if (is("head")) {
        frame.kind = Kind::kHead;
      } else if (is("body")) {
        // Styles count from the head before the body; resolved once, they stay so.
        if (!style_sheet_.resolved()) {
          style_sheet_.Resolve();
          ResolveRegions();
        }
        frame.kind = Kind::kBody;
        OpenTimed(frame, *parent, attrs);
      }
      break;
    case Kind::kHead:
      if (is("styling") && !style_sheet_.resolved())
        frame.kind = Kind::kStyling;
      else if (is("layout"))
        frame.kind = Kind::kLayout;
      else if (is("metadata") && options_.subtract_start_of_programme)
        frame.kind = Kind::kHeadMetadata;
      break;
    case Kind::kStyling:
      if (is("style")) DefineStyle(attrs);
      break;
    case Kind::kLayout:
      if (is("region") && AddRegion(attrs)) frame.kind = Kind::kRegion;
      break;
    case Kind::kRegion:
      if (is("style") && options_.placement)
        layout_.AddRegionStyle(Ids(attrs.style), LayoutAttributes(attrs));
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
      if (is("set")) {
        ApplySet(attrs);
      } else if (is("div")) {
        frame.kind = Kind::kDiv;
        OpenTimed(frame, *parent, attrs);
      } else if (is("p") && parent->kind == Kind::kDiv) {
        frame.kind = Kind::kParagraph;
        OpenTimed(frame, *parent, attrs);
        StartParagraph(frame);
      }
      break;
    case Kind::kParagraph:
    case Kind::kSpan:
      if (is("span")) {
        frame.kind = Kind::kSpan;
        const std::optional<RubyRole> role = OpenTimed(frame, *parent, attrs);
        if (parent->kind == Kind::kParagraph) paragraph_.AddSpanStart();
        OpenRubyPart(frame, *parent, role);
      } else if (is("br")) {
        paragraph_.AddBreak();
      } else if (is("set")) {
        ApplySet(attrs);
      }
      break;  // anything else in a paragraph (metadata, set, foreign elements) gives no text
    default:
      break;
  }
  if (options_.style_tags && (frame.kind == Kind::kParagraph || frame.kind == Kind::kSpan))
    frame.style_index = styles_.Index(frame.style);
  stack_.push_back(std::move(frame));
  return true;
}

void TtmlMachine::End() {
  if (stack_.empty()) return;
  Frame frame = std::move(stack_.back());
  stack_.pop_back();
  switch (frame.kind) {
    case Kind::kBody:
    case Kind::kDiv:
      CloseChild(stack_.back().timed, frame.timed);
      break;
    case Kind::kSpan:
      CloseChild(stack_.back().timed, frame.timed);
      CloseRubyPart(frame, stack_.back());
      if (stack_.back().kind == Kind::kParagraph) paragraph_.AddSpanEnd();
      break;
    case Kind::kParagraph:
      FinishParagraph(frame);
      break;
    case Kind::kStartOfProgramme:
      start_of_programme_ = ParseTimeExpression(start_of_programme_text_, timing_);
      break;
    default:
      break;
  }
}

bool TtmlMachine::Text(const char* text, size_t length) {
  if (stack_.empty()) return true;
  Frame& frame = stack_.back();
  if (frame.kind == Kind::kStartOfProgramme) {
    // A time is short: what a longer text holds beyond the limit is not kept.
    if (start_of_programme_text_.size() < kMaxSubtitleText)
      start_of_programme_text_.append(text, length);
  } else if (frame.kind == Kind::kParagraph || frame.kind == Kind::kSpan) {
    if (paragraph_.text_size() + annotation_bytes_ + length > kMaxSubtitleText) {
      report_.refusal = Refusal::kSubtitleTooLarge;
      return false;
    }
    used_ += length;
    if (used_ > budget_) {
      refusal_ = "entity expansion exceeds the size limit";
      return false;
    }
    // Whether the text is only blanks matters only where it could hold open an element whose
    // end is not known yet.
    const TimedElement& t = frame.timed;
    const bool matters = !t.seq && t.latest_child_end != kIndefinite &&
                         (!t.end_known || t.interval.end == kIndefinite);
    Interval visible =
        AnonymousText(frame.timed, matters && IsXmlBlankText(std::string_view(text, length)));
    if (!frame.restricted) {
      AddText(frame, std::string_view(text, length), visible);
    } else {
      paragraph_.NoteHidden();
      for (const Interval& shown : frame.shown)
        if (Interval cut = Intersect(visible, shown); !cut.Empty())
          AddText(frame, std::string_view(text, length), cut);
    }
  }
  return true;
}

void TtmlMachine::AddText(const Frame& frame, std::string_view text, Interval visible) {
  switch (frame.ruby) {
    case RubyPart::kNone:
    case RubyPart::kBase:
      break;
    case RubyPart::kContainer:  // between the parts of the ruby; other text follows it
      if (!IsXmlBlankText(text))
        after_ruby_.push_back({std::string(text), frame.preserve, frame.style_index, visible});
      annotation_bytes_ += text.size();
      return;
    case RubyPart::kBaseContainer:
      if (IsXmlBlankText(text)) return;
      break;
    case RubyPart::kTextContainer:
    case RubyPart::kText:
      if (frame.ruby == RubyPart::kTextContainer && IsXmlBlankText(text)) return;
      annotation_.push_back({std::string(text), frame.preserve, frame.style_index, visible});
      annotation_bytes_ += text.size();
      return;
    case RubyPart::kLeftOut:
      return;
  }
  paragraph_.AddText(text, frame.preserve, frame.style_index, visible,
                     frame.kind == Kind::kParagraph);
}

void TtmlMachine::StartParagraph(Frame& frame) {
  paragraph_.Clear();
  if (options_.placement) place_ = TtmlLayout::Place(frame.layout);
  // A paragraph whose end is open lasts until a later one begins.
  if (begin_readable_ && frame.timed.interval.begin < kIndefinite)
    Resolve(frame.timed.interval.begin);
}

void TtmlMachine::FinishParagraph(Frame& frame) {
  Interval interval = CloseChild(stack_.back().timed, frame.timed);
  // Where nothing ends the paragraph but all its text is timed, the text ends it.
  const double content_end = frame.timed.latest_child_end;
  if (interval.end == kIndefinite && content_end > -kIndefinite && content_end < kIndefinite)
    interval.end = std::max(interval.begin, content_end);
  ++report_.paragraphs;
  const bool open = !interval.Empty() && interval.end == kIndefinite;
  if (interval.begin < kIndefinite) previous_begin_ = interval.begin;
  if (interval.end < kIndefinite) previous_end_ = interval.end;
  if (open) {
    ++report_.file_errors;  // nothing in the document says when it ends
    held_.push_back({interval, false, paragraph_, place_});
    while (held_.size() > kMaxHeld && !held_.front().resolved) {
      Held& oldest = held_.front();
      oldest.interval.end = oldest.interval.begin + kOpenEndLimit;
      oldest.resolved = true;
      Flush();
    }
  } else if (held_.empty()) {
    Emit(interval, paragraph_, place_);
  } else {
    held_.push_back({interval, true, paragraph_, place_});
  }
  paragraph_.Clear();
}

void TtmlMachine::Resolve(double next_begin) {
  for (Held& held : held_) {
    if (held.resolved || !(next_begin > held.interval.begin)) continue;
    held.interval.end = std::min(next_begin, held.interval.begin + kOpenEndLimit);
    held.resolved = true;
  }
  Flush();
}

void TtmlMachine::Flush() {
  while (!held_.empty() && held_.front().resolved) {
    Emit(held_.front().interval, held_.front().content, held_.front().place);
    held_.pop_front();
  }
}

// The offset's frames count at the document's frame rate; a frame number that this rate does
// not have is a time that does not read, and no offset applies.
void TtmlMachine::ReadTimeOffset() {
  if (options_.time_offset.empty()) return;
  const std::optional<double> offset = ParseTimeOffset(options_.time_offset, timing_);
  if (!offset) ++report_.file_errors;
  offset_ = offset.value_or(0);
}

void TtmlMachine::Finish() {
  report_.no_programme_start = options_.subtract_start_of_programme && !start_of_programme_;
  for (Held& held : held_) {
    if (held.resolved) continue;
    held.interval.end = held.interval.begin + kOpenEndLimit;
    held.resolved = true;
  }
  Flush();
}

// Times count from the programme start, then the offset is added; neither leaves a time
// below zero.
void TtmlMachine::Shifted(Interval* interval) const {
  if (options_.subtract_start_of_programme && start_of_programme_) {
    interval->begin = std::max(0.0, interval->begin - *start_of_programme_);
    interval->end = std::max(0.0, interval->end - *start_of_programme_);
  }
  if (offset_ != 0) {
    interval->begin = std::max(0.0, interval->begin + offset_);
    interval->end = std::max(0.0, interval->end + offset_);
  }
}

// A cue shorter than a millisecond would be written with its end equal to its begin.
static bool Shown(Interval interval) {
  return SrtMilliseconds(interval.begin) < SrtMilliseconds(interval.end);
}

// A paragraph gives one cue for its interval or, where its text is timed on its own, one for
// each stretch in which the text stays the same; none when it is never shown.
void TtmlMachine::Emit(Interval interval, const ParagraphContent& content, const Placement& place) {
  bool shown = false;
  if (!interval.Empty()) {
    if (!content.HasTimedText(interval)) {
      const Interval visible = interval;
      Shifted(&interval);
      shown = Shown(interval);
      if (shown) {
        content.LayOut(visible.begin, visible.end, options_.style_tags, &lines_);
        sink_.OnCue(interval, lines_, styles_, place);
      }
    } else {
      content.ForEachStretch(interval, options_.style_tags,
                             [&](Interval stretch, const CueLines& lines) {
                               Shifted(&stretch);
                               if (!Shown(stretch)) return;
                               sink_.OnCue(stretch, lines, styles_, place);
                               shown = true;
                             });
    }
  }
  if (!shown) ++report_.never_shown;
}

}  // namespace capsel
