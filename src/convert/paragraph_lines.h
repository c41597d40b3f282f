#pragma once

// A paragraph's content as it came, and its layout into subtitle lines.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/ttml_timing.h"

namespace capsel {

class LineWriter;

/// A run of one style in a cue's text: it ends at `end` (an offset into CueLines::text).
struct StyleRun {
  uint32_t end;
  uint16_t style;  // index into the document's StyleTable; 0 is plain
  bool operator==(const StyleRun&) const = default;
};

/// The lines of one cue, laid out: all text in one string, each line ending at its offset.
struct CueLines {
  std::string text;
  std::vector<uint32_t> ends;
  std::vector<StyleRun> runs;  // only when styles are kept; never crosses a line end

  void Clear();
  size_t size() const { return ends.size(); }
  uint32_t LineBegin(size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
  std::string_view Line(size_t i) const {
    return std::string_view(text).substr(LineBegin(i), ends[i] - LineBegin(i));
  }
  bool operator==(const CueLines&) const = default;
};

/// Where a line layout stands between two pieces of text: blanks held back, whether the line
/// in hand has text, and where it begins.
struct LineState {
  size_t line_start = 0;
  bool pending_blank = false;
  bool has_text = false;
};

/// What a paragraph holds, in document order: text with its style, white-space mode and the
/// time it is visible, line breaks (br), and the bounds of the spans directly in it.
///
/// A paragraph whose interval is known at its start tag lays its text out as it arrives, once
/// nothing that comes later can change how it breaks into lines (a br or text of its own has
/// come), as long as that text is visible for the whole interval: then only its laid-out form
/// is kept, and what arrives after a piece that is not visible throughout is kept as it came.
class ParagraphContent {
 public:
  enum class Kind : uint8_t { kText, kBreak, kSpanStart, kSpanEnd };
  struct Piece {
    Kind kind;
    bool preserve = false;   // xml:space="preserve"
    bool top_level = false;  // text directly in the paragraph, outside spans
    uint16_t style = 0;
    uint32_t offset = 0, length = 0;  // the text, in text()
    Interval visible;
  };

  void Clear();
  /// The paragraph is shown for `whole` and its styles are not kept: text may be laid out as
  /// it arrives. Its cues must then be asked for with `whole` itself.
  void LayOutAsItArrives(Interval whole) {
    whole_ = whole;
    may_lay_out_ = true;
  }
  /// Adds text; text of the same kind right after text joins it.
  void AddText(std::string_view text, bool preserve, uint16_t style, Interval visible,
               bool top_level);
  void AddBreak();
  /// The start and end of a span directly in the paragraph.
  void AddSpanStart() {
    has_top_span_ = true;
    if (!laid_out_) Add(Kind::kSpanStart);
  }
  void AddSpanEnd() {
    if (!laid_out_) Add(Kind::kSpanEnd);
  }

  /// Lays out the text visible over the whole of [from, to) into `out`. A paragraph with a br
  /// anywhere is laid out as TTML lays it out: br and preserved line feeds break lines, spans
  /// run on within a line. Without any br, each span directly in the paragraph is a line of
  /// its own, unless the paragraph has text of its own outside spans; then its whole text is
  /// one line. Blanks of default-mode text collapse to one and vanish at the ends of a line;
  /// lines without text are left out. With `styled`, runs of one style are recorded.
  void LayOut(double from, double to, bool styled, CueLines* out) const;
  /// The same lines without styles, appended to `out` as plain text, each ended by CR LF: a
  /// cue's text as a subtitle file holds it, laid out straight into the file's buffer.
  void LayOutText(double from, double to, std::string* out) const;

  /// True when some text is visible for less than the whole of `whole`.
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
  void Keep(std::string_view text, bool preserve, uint16_t style, Interval visible, bool top_level);
  bool VisibleThroughout(Interval visible) const {
    return visible.begin <= whole_.begin && visible.end >= whole_.end;
  }
  void StartLayingOut();
  std::string_view TextOf(const Piece& p) const {
    return std::string_view(text_).substr(p.offset, p.length);
  }
  void LayOutInto(double from, double to, LineWriter& lines) const;
  bool HasOwnText() const;

  std::string text_;
  std::vector<Piece> pieces_;  // when laid_out_: what came after the laid-out text
  bool has_break_ = false;
  bool has_top_span_ = false;
  bool may_lay_out_ = false;  // the interval is known and no kept text stands in the way
  Interval whole_;
  bool laid_out_ = false;  // laid_ holds the start of the paragraph's layout
  std::string laid_;       // its lines so far, each ended by CR LF
  LineState laid_state_;   // and where the layout stands at its end
};

}  // namespace capsel
