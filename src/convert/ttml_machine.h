#pragma once

// The TTML state machine behind LibxmlReader: it takes a document's parser events (start tag,
// end tag, text) one by one and turns its paragraphs into cues. It keeps only the open elements
// and the paragraph in hand, so memory does not grow with the document.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "convert/paragraph_lines.h"
#include "convert/reading.h"
#include "convert/time_expression.h"
#include "convert/ttml_layout.h"
#include "convert/ttml_style.h"
#include "convert/ttml_timing.h"

namespace capsel {

/// Elements nested deeper than this are refused: no subtitle needs them, and each level
/// costs the reader memory.
inline constexpr int kMaxElementDepth = 256;

/// A paragraph with more text than this is refused: no subtitle comes near, and its text is
/// held in memory until the paragraph ends. 1 MB is 1,048,576 bytes of UTF-8 text, counted as
/// the document gives it (blanks before they collapse, entities expanded).
inline constexpr size_t kMaxSubtitleText = 1 << 20;

/// An element's attributes as libxml2's SAX2 interface hands them: five pointers each
/// (local name, prefix, namespace, value begin, value end).
struct SaxAttributes {
  const unsigned char* const* a = nullptr;
  int count = 0;
};

/// Turns the parser events of one TTML document into cues for a sink; it knows TTML, not
/// XML: the events come from LibxmlReader.
class TtmlMachine {
 public:
  /// `decode` resolves the entity and character references of an attribute value;
  /// `text_budget` bounds the text of all paragraphs together (entity expansion).
  TtmlMachine(const ReadOptions& options, CueSink& sink,
              std::function<std::string(std::string)> decode, uint64_t text_budget);

  /// False when the document is refused (nesting too deep); reading must stop.
  bool Start(const char* name, const char* uri, SaxAttributes attributes);
  void End();
  /// False when the text exceeds the budget, or a paragraph's text kMaxSubtitleText; reading
  /// must stop.
  bool Text(const char* text, size_t length);
  /// The document is complete: cues held back for a later paragraph are written now.
  void Finish();

  /// Why the reader refused the document; empty when it did not.
  const std::string& refusal() const { return refusal_; }
  ReadReport& report() { return report_; }

 private:
  enum class Kind {
    kSkip,
    kRoot,
    kHead,
    kStyling,
    kHeadMetadata,
    kLayout,
    kRegion,
    kDocumentMetadata,
    kStartOfProgramme,
    kBody,
    kDiv,
    kParagraph,
    kSpan
  };
  // What a span's text is to a ruby: text of no ruby, its base, its annotation, or left out
  // (a delimiter, or an annotation after the first). Blanks directly in a container are
  // left out; other text there follows the ruby.
  enum class RubyPart : uint8_t {
    kNone,
    kContainer,
    kBaseContainer,
    kBase,
    kTextContainer,
    kText,
    kLeftOut
  };
  struct Frame {
    Kind kind = Kind::kSkip;
    TextStyle style;
    bool preserve = false;  // xml:space="preserve" in force
    uint16_t style_index = 0;
    TimedElement timed;  // body, div, p, span
    // Hidden (tts:display="none", here or above, or its region) for some of its time: its
    // text shows only within `shown`, intervals in order and apart.
    bool restricted = false;
    std::vector<Interval> shown;
    RubyPart ruby = RubyPart::kNone;
    LayoutContext layout;  // body, div, p
  };
  // A piece of a ruby's annotation (or other text in it), held until the ruby ends: it
  // follows the base.
  struct Annotation {
    std::string text;
    bool preserve;
    uint16_t style;
    Interval visible;
  };
  // A paragraph that waits: its end is open until a later paragraph begins, or it stands
  // behind one that waits.
  struct Held {
    Interval interval;
    bool resolved;
    ParagraphContent content;
    Placement place;
  };

  // An attribute as it stands in the document; nullopt where the element does not have it.
  using Attribute = std::optional<std::string_view>;
  // The attributes the reader uses, found in one pass over an element's attributes.
  struct Found {
    Attribute begin, end, dur, time_container, style, id, xml_id, xml_space, region;
    Attribute color, font_weight, font_style, text_decoration, display, ruby;  // tts:
    Attribute frame_rate, frame_rate_multiplier, sub_frame_rate, tick_rate;    // ttp:
    Attribute time_base, drop_mode, cell_resolution;                           // ttp:
    Attribute origin, extent, display_align, text_align, direction;            // tts:
  };
  // An attribute's local name, and the field of Found that takes its value.
  struct AttributeName {
    const char* name;
    Attribute Found::*field;
  };
  /// The names the reader looks for in the namespace `uri` (null: no namespace).
  static std::span<const AttributeName> NamesIn(const char* uri);
  static Found Gather(SaxAttributes attrs);
  /// The value with its entity and character references resolved (in `scratch` if needed).
  std::string_view Value(std::string_view raw, std::string& scratch) const;
  /// The same for an attribute that may be absent: absent stays absent.
  Attribute Value(const Attribute& raw, std::string& scratch) const;
  /// The style ids an attribute lists; none when it is absent.
  std::vector<std::string> Ids(const Attribute& raw) const;
  std::optional<double> Time(std::string_view text) const;
  TimingAttributes ReadTiming(const Found& attrs, bool paragraph, double sync);
  TextStyle OwnStyle(const Found& attrs) const;
  TextStyle InlineStyle(const Found& attrs) const;
  /// Opens a body, div, p or span; returns the ruby role it names.
  std::optional<RubyRole> OpenTimed(Frame& frame, const Frame& parent, const Found& attrs);
  void OpenRubyPart(Frame& frame, const Frame& parent, std::optional<RubyRole> role);
  void CloseRubyPart(const Frame& frame, const Frame& parent);
  /// The root element: its vocabulary, its timing parameters and the root's size.
  void OpenRoot(const char* uri, const Found& attrs);
  /// A style that the head's styling defines.
  void DefineStyle(const Found& attrs);
  /// False for a region without an id, which nothing can refer to.
  bool AddRegion(const Found& attrs);
  void ResolveRegions();
  void ApplySet(const Found& attrs);
  void AddText(const Frame& frame, std::string_view text, Interval visible);
  void StartParagraph(Frame& frame);
  void FinishParagraph(Frame& frame);
  void Resolve(double next_begin);
  void Flush();
  void Emit(Interval interval, const ParagraphContent& content, const Placement& place);
  LayoutStyle LayoutAttributes(const Found& attrs) const;
  void ReadTimeOffset();
  void Shifted(Interval* interval) const;

  const ReadOptions options_;  // a copy: a few settings, and no reference to outlive
  CueSink& sink_;
  std::function<std::string(std::string)> decode_;
  TimingParameters timing_;
  bool legacy_ = false;
  const char* last_uri_ = nullptr;  // the namespace of the element opened last
  bool last_uri_is_ttml_ = false;
  std::vector<Frame> stack_;
  StyleSheet style_sheet_;
  StyleTable styles_;
  struct Region {
    std::string id;
    std::vector<std::string> references;
    TextStyle own;
  };
  std::vector<Region> regions_;  // until the body begins
  std::unordered_set<std::string> hidden_regions_;
  TtmlLayout layout_;
  Placement place_;                     // of the paragraph in hand
  std::vector<Annotation> annotation_;  // of the open ruby
  std::vector<Annotation> after_ruby_;  // text directly in the open ruby, which follows it
  size_t annotation_bytes_ = 0;
  bool annotation_taken_ = false;  // the open ruby's first annotation has ended
  std::string start_of_programme_text_;
  std::optional<double> start_of_programme_;
  double offset_ = 0;  // options_.time_offset at the document's frame rate
  ParagraphContent paragraph_;
  CueLines lines_;
  double previous_begin_ = 0, previous_end_ = 0;
  bool begin_readable_ = true;  // of the element opened last
  std::deque<Held> held_;
  ReadReport report_;
  uint64_t budget_;
  uint64_t used_ = 0;
  std::string refusal_;
};

}  // namespace capsel
