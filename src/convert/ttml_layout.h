#pragma once

// Where a paragraph stands on the picture: the regions of a document, the inline origins of
// its divs and paragraphs and the alignment of its text, reduced to one of nine anchors
// (top, middle, bottom x left, centre, right), which SRT tags and WebVTT cue settings carry.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace capsel {

/// A paragraph's place on a 3 x 3 grid, and what WebVTT needs to put it there. The default,
/// bottom centre, is where players put a subtitle that says nothing.
struct Placement {
  enum Vertical : uint8_t { kTop, kMiddle, kBottom };
  enum Horizontal : uint8_t { kLeft, kCentre, kRight };
  Vertical vertical = kBottom;
  Horizontal horizontal = kCentre;
  float edge = 0;            // the text's vertical edge, % of the picture's height
  bool area_known = false;   // x and width are those of a region or an inline origin
  float x = 0, width = 100;  // the area's left edge and width, % of the picture's width
  bool operator==(const Placement&) const = default;
};

enum class DisplayAlign : uint8_t { kBefore, kCenter, kAfter };
enum class TextAlign : uint8_t { kLeft, kCenter, kRight, kStart, kEnd };

/// Two lengths (x and y, or width and height) in % of the picture; `resolved` false for a
/// length that cannot be resolved (px without the root's extent, an unknown unit).
struct LengthPair {
  bool resolved = false;
  float x = 0, y = 0;
  bool operator==(const LengthPair&) const = default;
};

/// The layout properties an element or a style gives; unset ones come from elsewhere.
struct LayoutStyle {
  std::optional<LengthPair> origin, extent;
  std::optional<DisplayAlign> display_align;
  std::optional<TextAlign> text_align;
  std::optional<bool> rtl;
  /// Sets what `top` sets.
  void Overlay(const LayoutStyle& top);
  bool SetsAlignment() const { return text_align || rtl; }
};

/// An area of the picture in %: a region, or the inline origin and extent of a div or p.
struct Area {
  float x = 0, y = 0, width = 100, height = 100;
};

/// The anchor of text laid out in `area` (none: no area says where it stands). Vertically, the
/// text's edge (the area's top, middle or bottom, by `display_align`) gives the third; without
/// an area it is not placed: bottom. Horizontally, the text's edge by `text_align` (none:
/// centre) within the area, or within the whole picture.
Placement PlaceText(const std::optional<Area>& area, DisplayAlign display_align,
                    std::optional<TextAlign> text_align, bool rtl);

/// The layout state inherited from body to div to p: the area (a region's or an inline one,
/// the nearest wins) and the alignment of the text.
struct LayoutContext {
  LayoutStyle area;         // origin, extent, displayAlign where the text is laid out
  LayoutStyle text;         // textAlign and direction given on the content
  LayoutStyle region_text;  // textAlign and direction of the region
};

/// The layout of one document: its root's extent and cells, its styles and regions by id.
/// Look-ups are hashed, and nothing here grows with the paragraphs.
class TtmlLayout {
 public:
  static constexpr int kMaxReferenceDepth = 16;

  /// The root's tts:extent and ttp:cellResolution as written (nullopt: absent).
  void SetRoot(std::optional<std::string_view> extent,
               std::optional<std::string_view> cell_resolution);
  /// The properties that attributes as written give (nullopt: absent).
  LayoutStyle ReadAttributes(std::optional<std::string_view> origin,
                             std::optional<std::string_view> extent,
                             std::optional<std::string_view> display_align,
                             std::optional<std::string_view> text_align,
                             std::optional<std::string_view> direction) const;
  void AddStyle(std::string id, std::vector<std::string> references, LayoutStyle own);
  void AddRegion(std::string id, std::vector<std::string> references, LayoutStyle own);
  /// A `style` element inside the region added last.
  void AddRegionStyle(std::vector<std::string> references, LayoutStyle own);
  /// Resolves styles and regions once the head is complete.
  void Resolve();
  /// Some style sets textAlign or direction: only then do content styles need a look-up.
  bool StylesSetAlignment() const { return styles_set_alignment_; }

  /// The context inside an element with `region` (nullopt: none), the layout styles it
  /// references, and its own attributes `own`.
  LayoutContext Enter(const LayoutContext& parent, std::optional<std::string_view> region,
                      const std::vector<std::string>& styles, const LayoutStyle& own) const;
  /// Where a paragraph in `context` stands.
  static Placement Place(const LayoutContext& context);

 private:
  struct Raw {
    std::vector<std::string> references;
    LayoutStyle own;
  };
  struct RawRegion {
    std::vector<std::string> references;
    std::vector<Raw> children;
    LayoutStyle own;
  };
  std::optional<float> Length(std::string_view text, bool vertical) const;
  LayoutStyle ResolveStyle(const std::string& id, int depth);
  LayoutStyle Referenced(const std::vector<std::string>& references, int depth);

  float root_width_ = 0, root_height_ = 0;  // px; 0: not given
  float columns_ = 32, rows_ = 15;
  std::unordered_map<std::string, Raw> raw_styles_;
  std::vector<std::pair<std::string, RawRegion>> raw_regions_;
  std::unordered_map<std::string, LayoutStyle> styles_, regions_;
  bool styles_set_alignment_ = false;
};

}  // namespace capsel
