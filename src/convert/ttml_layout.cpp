#include "convert/ttml_layout.h"

#include <charconv>

#include "convert/xml_blanks.h"

namespace capsel {
namespace {

// The third of the picture that a position in % falls in: 0, 1 or 2.
int Third(float percent) { return percent < 100.0f / 3 ? 0 : percent > 200.0f / 3 ? 2 : 1; }

// The blank-separated words of an attribute value, at most `n` of them; empty for more.
std::vector<std::string_view> Words(std::string_view text, size_t n) {
  std::vector<std::string_view> words;
  for (;;) {
    text = TrimXmlBlanks(text);
    if (text.empty()) return words;
    size_t end = 0;
    while (end < text.size() && !IsXmlBlank(text[end])) ++end;
    if (words.size() == n) return {};
    words.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
}

std::optional<float> Number(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  float value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

void LayoutStyle::Overlay(const LayoutStyle& top) {
  if (top.origin) origin = top.origin;
  if (top.extent) extent = top.extent;
  if (top.display_align) display_align = top.display_align;
  if (top.text_align) text_align = top.text_align;
  if (top.rtl) rtl = top.rtl;
}

Placement PlaceText(const std::optional<Area>& area, DisplayAlign display_align,
                    std::optional<TextAlign> text_align, bool rtl) {
  Placement p;
  const Area whole;
  const Area& a = area ? *area : whole;
  if (area) {
    const float half = display_align == DisplayAlign::kCenter  ? 0.5f
                       : display_align == DisplayAlign::kAfter ? 1.0f
                                                               : 0.0f;
    p.edge = a.y + a.height * half;
    p.vertical = static_cast<Placement::Vertical>(Third(p.edge));
    p.area_known = true;
    p.x = a.x;
    p.width = a.width;
  }
  TextAlign align = text_align.value_or(TextAlign::kCenter);
  if (align == TextAlign::kStart) align = rtl ? TextAlign::kRight : TextAlign::kLeft;
  if (align == TextAlign::kEnd) align = rtl ? TextAlign::kLeft : TextAlign::kRight;
  const float edge = align == TextAlign::kLeft    ? a.x
                     : align == TextAlign::kRight ? a.x + a.width
                                                  : a.x + a.width / 2;
  p.horizontal = static_cast<Placement::Horizontal>(Third(edge));
  return p;
}

void TtmlLayout::SetRoot(std::optional<std::string_view> extent,
                         std::optional<std::string_view> cell_resolution) {
  const auto size = Words(extent.value_or(""), 2);
  if (size.size() == 2 && size[0].ends_with("px") && size[1].ends_with("px")) {
    const auto w = Number(size[0].substr(0, size[0].size() - 2));
    const auto h = Number(size[1].substr(0, size[1].size() - 2));
    if (w && h && *w > 0 && *h > 0) root_width_ = *w, root_height_ = *h;
  }
  const auto cells = Words(cell_resolution.value_or(""), 2);
  if (cells.size() == 2) {
    const auto c = Number(cells[0]), r = Number(cells[1]);
    if (c && r && *c > 0 && *r > 0) columns_ = *c, rows_ = *r;
  }
}

// A length in % of the picture's width (or height), or none when it cannot be resolved.
std::optional<float> TtmlLayout::Length(std::string_view text, bool vertical) const {
  std::optional<float> n;
  if (text.ends_with("%")) return Number(text.substr(0, text.size() - 1));
  if (text.ends_with("px")) {
    const float root = vertical ? root_height_ : root_width_;
    if (root == 0) return std::nullopt;
    if ((n = Number(text.substr(0, text.size() - 2)))) return *n * 100 / root;
  } else if (text.ends_with("c")) {
    if ((n = Number(text.substr(0, text.size() - 1))))
      return *n * 100 / (vertical ? rows_ : columns_);
  }
  return std::nullopt;
}

LayoutStyle TtmlLayout::ReadAttributes(std::optional<std::string_view> origin,
                                       std::optional<std::string_view> extent,
                                       std::optional<std::string_view> display_align,
                                       std::optional<std::string_view> text_align,
                                       std::optional<std::string_view> direction) const {
  LayoutStyle s;
  // "auto" (or nothing) is the whole picture: as if not given.
  auto pair = [&](std::optional<std::string_view> text, std::optional<LengthPair>* out) {
    if (!text || TrimXmlBlanks(*text) == "auto") return;
    const auto words = Words(*text, 2);
    const auto x = words.size() == 2 ? Length(words[0], false) : std::nullopt;
    const auto y = words.size() == 2 ? Length(words[1], true) : std::nullopt;
    *out = x && y ? LengthPair{true, *x, *y} : LengthPair{};
  };
  pair(origin, &s.origin);
  pair(extent, &s.extent);
  const std::string_view display = TrimXmlBlanks(display_align.value_or(""));
  if (display == "before") s.display_align = DisplayAlign::kBefore;
  if (display == "center") s.display_align = DisplayAlign::kCenter;
  if (display == "after") s.display_align = DisplayAlign::kAfter;
  const std::string_view align = TrimXmlBlanks(text_align.value_or(""));
  if (align == "left") s.text_align = TextAlign::kLeft;
  if (align == "center") s.text_align = TextAlign::kCenter;
  if (align == "right") s.text_align = TextAlign::kRight;
  if (align == "start" || align == "justify") s.text_align = TextAlign::kStart;
  if (align == "end") s.text_align = TextAlign::kEnd;
  const std::string_view dir = TrimXmlBlanks(direction.value_or(""));
  if (dir == "ltr" || dir == "rtl") s.rtl = dir == "rtl";
  return s;
}

void TtmlLayout::AddStyle(std::string id, std::vector<std::string> references, LayoutStyle own) {
  if (own.SetsAlignment()) styles_set_alignment_ = true;
  raw_styles_.emplace(std::move(id), Raw{std::move(references), own});
}

void TtmlLayout::AddRegion(std::string id, std::vector<std::string> references, LayoutStyle own) {
  raw_regions_.push_back({std::move(id), RawRegion{std::move(references), {}, own}});
}

void TtmlLayout::AddRegionStyle(std::vector<std::string> references, LayoutStyle own) {
  if (!raw_regions_.empty())
    raw_regions_.back().second.children.push_back({std::move(references), own});
}

// Each style is resolved once; a loop, or a chain deeper than the limit, is cut where it
// goes on.
LayoutStyle TtmlLayout::ResolveStyle(const std::string& id, int depth) {
  if (auto done = styles_.find(id); done != styles_.end()) return done->second;
  auto raw = raw_styles_.find(id);
  if (raw == raw_styles_.end() || depth >= kMaxReferenceDepth) return {};
  styles_[id] = {};  // a loop back here finds nothing more
  LayoutStyle s = Referenced(raw->second.references, depth + 1);
  s.Overlay(raw->second.own);
  styles_[id] = s;
  return s;
}

LayoutStyle TtmlLayout::Referenced(const std::vector<std::string>& references, int depth) {
  LayoutStyle s;
  for (const std::string& ref : references) s.Overlay(ResolveStyle(ref, depth));
  return s;
}

// A region takes the styles it references, then the styles inside it, then its own
// attributes, each later one winning.
void TtmlLayout::Resolve() {
  for (const auto& [id, raw] : raw_styles_) ResolveStyle(id, 0);
  raw_styles_.clear();
  for (auto& [id, raw] : raw_regions_) {
    LayoutStyle s = Referenced(raw.references, 0);
    for (const Raw& child : raw.children) {
      s.Overlay(Referenced(child.references, 0));
      s.Overlay(child.own);
    }
    s.Overlay(raw.own);
    regions_.emplace(id, s);
  }
  raw_regions_.clear();
}

LayoutContext TtmlLayout::Enter(const LayoutContext& parent, std::optional<std::string_view> region,
                                const std::vector<std::string>& styles,
                                const LayoutStyle& own) const {
  LayoutContext c = parent;
  if (region) {
    c.area = {};
    c.region_text = {};
    if (auto it = regions_.find(std::string(TrimXmlBlanks(*region))); it != regions_.end()) {
      c.area = it->second;
      c.region_text.text_align = it->second.text_align;
      c.region_text.rtl = it->second.rtl;
    } else {
      c.area.origin = LengthPair{};  // an unknown region says nowhere
    }
  }
  if (own.origin || own.extent) {  // written on the element: its own region
    c.area.origin = own.origin;
    c.area.extent = own.extent;
  }
  if (own.display_align) c.area.display_align = own.display_align;
  for (const std::string& id : styles) {
    if (auto it = styles_.find(id); it != styles_.end()) {
      if (it->second.text_align) c.text.text_align = it->second.text_align;
      if (it->second.rtl) c.text.rtl = it->second.rtl;
    }
  }
  if (own.text_align) c.text.text_align = own.text_align;
  if (own.rtl) c.text.rtl = own.rtl;
  return c;
}

Placement TtmlLayout::Place(const LayoutContext& context) {
  const LayoutStyle& a = context.area;
  std::optional<Area> area;
  const bool resolved = (!a.origin || a.origin->resolved) && (!a.extent || a.extent->resolved);
  if ((a.origin || a.extent) && resolved) {
    area = Area{};
    if (a.origin) area->x = a.origin->x, area->y = a.origin->y;
    // Without an extent the area reaches the picture's edges.
    area->width = a.extent ? a.extent->x : 100 - area->x;
    area->height = a.extent ? a.extent->y : 100 - area->y;
  }
  const auto align =
      context.text.text_align ? context.text.text_align : context.region_text.text_align;
  const auto rtl = context.text.rtl ? context.text.rtl : context.region_text.rtl;
  return PlaceText(area, a.display_align.value_or(DisplayAlign::kBefore), align,
                   rtl.value_or(false));
}

}  // namespace capsel
