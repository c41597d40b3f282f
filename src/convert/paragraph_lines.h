#pragma once

// A paragraph's content as it came, and its layout into subtitle lines.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/ttml_timing.h"

namespace capsel {

/// A run of one style in a cue's text: it ends at `end` (an offset into CueLines::text).
struct StyleRun {
  uint32_t end;
  uint16_t style;  // index into the document's StyleTable; 0 is plain
  bool operator==(const StyleRun&) const = default;
};

/// A ruby in a cue's text: its base is [base, text), its annotation [text, end) (offsets into
/// CueLines::text); both hold text.
struct RubyMark {
  uint32_t base, text, end;
  bool operator==(const RubyMark&) const = default;
};

/// The brackets that set off a ruby's annotation in SRT: full-width when the base holds Han,
/// Kana or Hangul, as Japanese and Korean text writes a reading, ASCII otherwise.
struct RubyBrackets {
  const char *open, *close;
};
RubyBrackets RubyBracketsFor(std::string_view base);

/// The lines of one cue, laid out: all text in one string, each line ending at its offset.
struct CueLines {
  std::string text;
  std::vector<uint32_t> ends;
  std::vector<StyleRun> runs;    // only when styles are kept; never crosses a line end
  std::vector<RubyMark> rubies;  // in order; never crosses a line end

  void Clear();
  size_t size() const { return ends.size(); }
  uint32_t LineBegin(size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
  std::string_view Line(size_t i) const {
    return std::string_view(text).substr(LineBegin(i), ends[i] - LineBegin(i));
  }
  bool operator==(const CueLines&) const = default;
};

/// What a paragraph holds, in document order: text with its style, white-space mode and the
/// time it is visible, line breaks (br), and the bounds of the spans directly in it.
class ParagraphContent {
 public:
  /// kRubyBase opens a ruby: its base text follows, then kRubyText and the annotation's text,
  /// then kRubyEnd.
  enum class Kind : uint8_t { kText, kBreak, kSpanStart, kSpanEnd, kRubyBase, kRubyText, kRubyEnd };
  struct Piece {
    Kind kind;
    bool preserve = false;   // xml:space="preserve"
    bool top_level = false;  // text directly in the paragraph, outside spans
    uint16_t style = 0;
    uint32_t offset = 0, length = 0;  // the text, in text()
    Interval visible;
  };

  void Clear();
  /// Adds text; text of the same kind right after text joins it.
  void AddText(std::string_view text, bool preserve, uint16_t style, Interval visible,
               bool top_level);
  void AddBreak() {
    Add(Kind::kBreak);
    has_break_ = true;
  }
  /// The start and end of a span directly in the paragraph.
  void AddSpanStart() {
    Add(Kind::kSpanStart);
    has_top_span_ = true;
    const auto at = static_cast<uint32_t>(text_.size());
    top_spans_.push_back({at, at});
  }
  void AddSpanEnd() {
    Add(Kind::kSpanEnd);
    if (!top_spans_.empty()) top_spans_.back().second = static_cast<uint32_t>(text_.size());
  }
  /// A ruby's base begins (kRubyBase), its annotation begins (kRubyText) or it ends.
  void AddRuby(Kind kind) {
    Add(kind);
    has_ruby_ = true;
  }
  /// Some of the paragraph's text is hidden for some or all of its time: it gives a cue only
  /// where text is shown.
  void NoteHidden() { has_hidden_ = true; }

  const std::vector<Piece>& pieces() const { return pieces_; }
  std::string_view TextOf(const Piece& p) const {
    return std::string_view(text_).substr(p.offset, p.length);
  }
  size_t text_size() const { return text_.size(); }

  /// Lays out the text visible over the whole of [from, to) into `out`. A paragraph with a br
  /// anywhere is laid out as TTML lays it out: br and preserved line feeds break lines, spans
  /// run on within a line. Without any br, each span directly in the paragraph is a line of
  /// its own, unless the paragraph shows that its spans are runs of one line (SpansRunOn);
  /// then it is laid out as with a br. Blanks of default-mode text collapse to one and vanish
  /// at the ends of a line and after preserved white space; lines without text are left out.
  /// A ruby is its base followed by its annotation (CueLines::rubies). With `styled`, runs of
  /// one style are recorded.
  void LayOut(double from, double to, bool styled, CueLines* out) const;

  /// True when some text is visible for less than the whole of `whole`, or hidden.
  bool HasTimedText(Interval whole) const;

  /// Cuts `whole` where visible text begins or ends and calls `cue` for each stretch in which
  /// the lines stay the same and are not empty.
  void ForEachStretch(Interval whole, bool styled,
                      const std::function<void(Interval, const CueLines&)>& cue) const;

 private:
  void Add(Kind kind) {
    Piece piece;
    piece.kind = kind;
    pieces_.push_back(piece);
  }
  /// Without any br and without a sign of runs, each span directly in it is a line.
  bool EachSpanALine() const;
  bool HasOwnText() const;
  bool SpansRunOn() const;
  std::string text_;
  std::vector<Piece> pieces_;
  std::vector<std::pair<uint32_t, uint32_t>> top_spans_;  // each one's text in text_
  bool has_break_ = false;
  bool has_top_span_ = false;
  bool has_ruby_ = false;
  bool has_hidden_ = false;
};

}  // namespace capsel
