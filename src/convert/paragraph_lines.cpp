#include "convert/paragraph_lines.h"

#include "convert/xml_blanks.h"

#include <algorithm>

namespace capsel {
namespace {

// How many characters from the start of `text` go into a line as they are: up to a line feed
// or carriage return in preserved text; otherwise up to a blank that collapsing changes (any
// blank but a single space between two other characters). Words with single spaces between
// them, the common case, go in as one run.
size_t RunLength(std::string_view text, bool preserve) {
  const size_t n = text.size();
  size_t i = 0;
  if (preserve) {
    while (i < n && text[i] != '\n' && text[i] != '\r') ++i;
    return i;
  }
  for (;;) {
    while (i < n && !IsXmlBlank(text[i])) ++i;
    if (i > 0 && i + 1 < n && text[i] == ' ' && !IsXmlBlank(text[i + 1])) {
      i += 2;
      continue;
    }
    return i;
  }
}

}  // namespace

// Builds lines one character at a time. Collapsible blanks are held back until the next
// character shows whether they stand inside a line (one blank) or at its end (none). Lines go
// either into CueLines (each line's end recorded, with runs of style) or, as plain text, onto
// the end of a string with each line ended by CR LF; either way a line without text is taken
// back.
class LineWriter {
 public:
  LineWriter(CueLines* out, bool styled)
      : text_(out->text), ends_(&out->ends), runs_(&out->runs), styled_(styled) {
    out->Clear();
  }
  /// Lines as plain text after what `text` holds; `state` tells where the line in hand, which
  /// may already be in `text`, stands.
  LineWriter(std::string* text, LineState state) : text_(*text), s_(state) {}

  const LineState& state() const { return s_; }

  /// Continues a layout whose lines so far are `laid` (each ended by CR LF, the line in hand
  /// after them) and which stood at `state` (no styles).
  void Resume(std::string_view laid, LineState state) {
    size_t pos = 0;
    for (size_t end; (end = laid.find("\r\n", pos)) != std::string_view::npos; pos = end + 2) {
      text_ += laid.substr(pos, end - pos);
      ends_->push_back(static_cast<uint32_t>(text_.size()));
    }
    state.line_start = text_.size();
    text_ += laid.substr(pos);
    s_ = state;
  }

  void Text(std::string_view text, bool preserve, uint16_t style) {
    while (!text.empty()) {
      // A run of ordinary characters goes in at once.
      size_t run = RunLength(text, preserve);
      if (run != 0) Put(text.substr(0, run), style);
      if (run == text.size()) return;
      if (preserve) {
        if (text[run] == '\n') Break();
        text.remove_prefix(run + 1);
        continue;
      }
      // Blanks collapse: however many there are, one is held back.
      if (!s_.pending_blank) blank_style_ = style;  // a collapsed blank keeps its first style
      s_.pending_blank = true;
      while (run < text.size() && IsXmlBlank(text[run])) ++run;
      text.remove_prefix(run);
    }
  }

  void Break() {
    if (s_.has_text) {
      if (ends_ != nullptr)
        ends_->push_back(static_cast<uint32_t>(text_.size()));
      else
        text_ += "\r\n";
    } else {
      text_.resize(s_.line_start);
      if (runs_ != nullptr)
        while (!runs_->empty() && runs_->back().end > s_.line_start) runs_->pop_back();
    }
    s_ = LineState{text_.size()};
    run_open_ = false;
  }

 private:
  void Put(std::string_view chars, uint16_t style) {
    if (s_.pending_blank && text_.size() > s_.line_start) Append(" ", blank_style_);
    s_.pending_blank = false;
    Append(chars, style);
    if (!s_.has_text && chars.find_first_not_of(' ') != std::string_view::npos) s_.has_text = true;
  }
  void Append(std::string_view chars, uint16_t style) {
    text_ += chars;
    if (!styled_) return;
    auto end = static_cast<uint32_t>(text_.size());
    if (run_open_ && runs_->back().style == style) {
      runs_->back().end = end;
    } else {
      runs_->push_back({end, style});
      run_open_ = true;
    }
  }

  std::string& text_;
  std::vector<uint32_t>* ends_ = nullptr;  // null: lines end with CR LF instead
  std::vector<StyleRun>* runs_ = nullptr;
  bool styled_ = false;
  LineState s_;
  uint16_t blank_style_ = 0;
  bool run_open_ = false;
};

void CueLines::Clear() {
  text.clear();
  ends.clear();
  runs.clear();
}

void ParagraphContent::Clear() {
  text_.clear();
  pieces_.clear();
  has_break_ = has_top_span_ = may_lay_out_ = laid_out_ = false;
  laid_.clear();
}

void ParagraphContent::AddText(std::string_view text, bool preserve, uint16_t style,
                               Interval visible, bool top_level) {
  if (laid_out_ && pieces_.empty() && VisibleThroughout(visible)) {
    LineWriter lines(&laid_, laid_state_);
    lines.Text(text, preserve, style);
    laid_state_ = lines.state();
    return;
  }
  Keep(text, preserve, style, visible, top_level);
  if (!may_lay_out_ || laid_out_) return;
  if (!VisibleThroughout(visible)) {
    may_lay_out_ = false;  // this text is laid out for each stretch of its own
  } else if (top_level && !has_break_ && !text.empty() && !IsXmlBlank(text[0])) {
    StartLayingOut();  // text of its own: the spans run on within lines
  }
}

void ParagraphContent::AddBreak() {
  has_break_ = true;
  if (laid_out_ && pieces_.empty()) {
    LineWriter lines(&laid_, laid_state_);
    lines.Break();
    laid_state_ = lines.state();
    return;
  }
  Add(Kind::kBreak);
  if (may_lay_out_ && !laid_out_) StartLayingOut();  // a br: the spans run on within lines
}

void ParagraphContent::Keep(std::string_view text, bool preserve, uint16_t style, Interval visible,
                            bool top_level) {
  if (!pieces_.empty()) {
    Piece& last = pieces_.back();
    if (last.kind == Kind::kText && last.preserve == preserve && last.top_level == top_level &&
        last.style == style && last.visible == visible &&
        last.offset + last.length == text_.size()) {
      text_.append(text);
      last.length += static_cast<uint32_t>(text.size());
      return;
    }
  }
  Piece piece{Kind::kText,
              preserve,
              top_level,
              style,
              static_cast<uint32_t>(text_.size()),
              static_cast<uint32_t>(text.size()),
              visible};
  text_.append(text);
  pieces_.push_back(piece);
}

// The paragraph is now laid out as TTML lays it out, whatever follows; all text so far is
// visible throughout, so its layout is the start of every cue's.
void ParagraphContent::StartLayingOut() {
  laid_.clear();
  LineWriter lines(&laid_, LineState{});
  for (const Piece& p : pieces_) {
    if (p.kind == Kind::kText)
      lines.Text(TextOf(p), p.preserve, p.style);
    else if (p.kind == Kind::kBreak)
      lines.Break();
  }
  laid_state_ = lines.state();
  laid_out_ = true;
  pieces_.clear();
  text_.clear();
}

void ParagraphContent::LayOut(double from, double to, bool styled, CueLines* out) const {
  LineWriter lines(out, styled);
  if (laid_out_) lines.Resume(laid_, laid_state_);
  LayOutInto(from, to, lines);
}

void ParagraphContent::LayOutText(double from, double to, std::string* out) const {
  LineState state;
  if (laid_out_) {
    state = laid_state_;
    state.line_start += out->size();
    *out += laid_;
  } else {
    state.line_start = out->size();
  }
  LineWriter lines(out, state);
  LayOutInto(from, to, lines);
}

void ParagraphContent::LayOutInto(double from, double to, LineWriter& lines) const {
  const bool per_span = !laid_out_ && !has_break_ && has_top_span_ && !HasOwnText();
  bool in_top_span = false;
  for (const Piece& p : pieces_) {
    switch (p.kind) {
      case Kind::kText:
        if (per_span && !in_top_span) break;  // blanks between the spans
        if (p.visible.begin <= from && p.visible.end >= to)
          lines.Text(TextOf(p), p.preserve, p.style);
        break;
      case Kind::kBreak:
        lines.Break();
        break;
      case Kind::kSpanStart:
        in_top_span = true;
        break;
      case Kind::kSpanEnd:
        in_top_span = false;
        if (per_span) lines.Break();
        break;
    }
  }
  lines.Break();
}

// Text outside spans that is not only blanks.
bool ParagraphContent::HasOwnText() const {
  for (const Piece& p : pieces_)
    if (p.kind == Kind::kText && p.top_level && !IsXmlBlankText(TextOf(p))) return true;
  return false;
}

bool ParagraphContent::HasTimedText(Interval whole) const {
  for (const Piece& p : pieces_)
    if (p.kind == Kind::kText && !(p.visible.begin <= whole.begin && p.visible.end >= whole.end))
      return true;
  return false;
}

void ParagraphContent::ForEachStretch(
    Interval whole, bool styled, const std::function<void(Interval, const CueLines&)>& cue) const {
  std::vector<double> cuts{whole.begin, whole.end};
  for (const Piece& p : pieces_) {
    if (p.kind != Kind::kText) continue;
    for (double t : {p.visible.begin, p.visible.end})
      if (t > whole.begin && t < whole.end) cuts.push_back(t);
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

  CueLines held, next;
  Interval held_interval;
  bool holding = false;
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    const Interval stretch{cuts[i], cuts[i + 1]};
    LayOut(stretch.begin, stretch.end, styled, &next);
    if (holding && next == held && held_interval.end == stretch.begin) {
      held_interval.end = stretch.end;  // the text stays the same: one cue
      continue;
    }
    if (holding) cue(held_interval, held);
    holding = next.size() > 0;
    if (holding) {
      std::swap(held, next);
      held_interval = stretch;
    }
  }
  if (holding) cue(held_interval, held);
}

}  // namespace capsel
