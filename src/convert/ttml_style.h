#pragma once

// The part of TTML styling that subtitles can show: colour, bold, italic, underline.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace capsel {

/// A span's part in a ruby (tts:ruby).
enum class RubyRole : uint8_t {
  kContainer,
  kBaseContainer,
  kBase,
  kTextContainer,
  kText,
  kDelimiter
};

/// The style of a piece of text; unset properties come from the ancestors.
struct TextStyle {
  std::optional<unsigned> color;  // 0xRRGGBB
  std::optional<bool> bold, italic, underline;
  // Not inherited: they belong to the element whose style they are, and the reader takes
  // them off before its children see the style.
  std::optional<bool> display_none;  // tts:display="none"
  std::optional<RubyRole> ruby;

  /// Sets what `top` sets.
  void Overlay(const TextStyle& top);
  bool operator==(const TextStyle&) const = default;
  bool Bold() const { return bold.value_or(false); }
  bool Italic() const { return italic.value_or(false); }
  bool Underline() const { return underline.value_or(false); }
  /// A colour other than the default white.
  bool HasColor() const { return color && *color != 0xFFFFFF; }
};

/// The styles met in one document, each stored once, so that text can carry a small number
/// instead of a whole style. Number 0 is plain text. Looking a style up costs the same
/// however many there are.
class StyleTable {
 public:
  StyleTable();
  /// The number of `style`; a new one is added. Past 65,535 styles, text is left plain.
  uint16_t Index(const TextStyle& style);
  const TextStyle& operator[](uint16_t index) const { return styles_[index]; }

 private:
  struct Hash {
    size_t operator()(const TextStyle& s) const;
  };
  std::deque<TextStyle> styles_;
  std::unordered_map<TextStyle, uint16_t, Hash> index_;
};

/// The `style` elements of a document's head, by id, each resolved through the styles it
/// refers to (a later reference wins, the element's own attributes win over all).
class StyleSheet {
 public:
  /// Chains of style references deeper than this are cut: a loop must not hang the reader.
  static constexpr int kMaxReferenceDepth = 16;

  void Add(std::string id, std::vector<std::string> references, TextStyle own);
  /// Some style sets tts:display or tts:ruby, which count even where styles are not kept.
  bool SetsDisplayOrRuby() const { return sets_display_or_ruby_; }
  /// Resolves every style added so far, once the head's styling is complete; each style at
  /// each depth of a chain is resolved once, so the time grows with the references, however
  /// they branch.
  void Resolve();
  bool resolved() const { return resolved_flag_; }
  /// The resolved style of `id`, or null.
  const TextStyle* Find(const std::string& id) const;

 private:
  struct Raw {
    std::vector<std::string> references;
    TextStyle own;
    std::optional<TextStyle> at_depth[kMaxReferenceDepth];  // resolved so far
  };
  TextStyle ResolveOne(const std::string& id, int depth);
  std::map<std::string, Raw> raw_;
  std::unordered_map<std::string, TextStyle> resolved_;
  bool resolved_flag_ = false;
  bool sets_display_or_ruby_ = false;
};

/// The ids of a space-separated list such as a `style` attribute.
std::vector<std::string> SplitIds(std::string_view list);

/// An RGB colour (0xRRGGBB) from a TTML colour: #rrggbb, #rrggbbaa, rgb(), rgba() or a
/// named colour; the alpha is dropped. Empty for what is no colour, and for "transparent".
std::optional<unsigned> ParseTtmlColor(std::string_view text);

/// The role that a tts:ruby value names; empty for "none" and what is no role.
std::optional<RubyRole> ParseRubyRole(std::string_view text);

/// The style that tts:color, tts:fontWeight, tts:fontStyle and tts:textDecoration give; each
/// argument is the attribute's text, or nullopt when it is absent.
TextStyle StyleFromAttributes(std::optional<std::string_view> color,
                              std::optional<std::string_view> font_weight,
                              std::optional<std::string_view> font_style,
                              std::optional<std::string_view> text_decoration);

}  // namespace capsel
