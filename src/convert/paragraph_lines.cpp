#include "convert/paragraph_lines.h"

#include "convert/xml_blanks.h"

#include <algorithm>
#include <iterator>
#include <set>

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

// Builds lines one character at a time. Collapsible blanks are held back until the next
// character shows whether they stand inside a line (one blank) or at its end (none); right
// after preserved white space they collapse into it. Each line's end is recorded in CueLines,
// with its runs of style and its rubies; a line without text is taken back.
class LineWriter {
 public:
  LineWriter(CueLines* out, bool styled) : out_(*out), text_(out->text), styled_(styled) {
    out->Clear();
  }

  void Text(std::string_view text, bool preserve, uint16_t style) {
    if (ruby_ == RubyPart::kDropped) return;
    while (!text.empty()) {
      // A run of ordinary characters goes in at once.
      size_t run = RunLength(text, preserve);
      if (run != 0) Put(text.substr(0, run), style, preserve);
      if (run == text.size()) return;
      if (preserve) {
        if (text[run] == '\n') Break();
        text.remove_prefix(run + 1);
        continue;
      }
      // Blanks collapse: however many there are, one is held back.
      if (!pending_blank_ && !after_preserved_blank_) {
        blank_style_ = style;  // a collapsed blank keeps its first style
        pending_blank_ = true;
      }
      while (run < text.size() && IsXmlBlank(text[run])) ++run;
      text.remove_prefix(run);
    }
  }

  void Break() {
    if (has_text_) {
      out_.ends.push_back(static_cast<uint32_t>(text_.size()));
    } else {
      text_.resize(line_start_);
      while (!out_.runs.empty() && out_.runs.back().end > line_start_) out_.runs.pop_back();
      while (!out_.rubies.empty() && out_.rubies.back().end > line_start_) out_.rubies.pop_back();
    }
    line_start_ = blank_floor_ = text_.size();
    pending_blank_ = has_text_ = run_open_ = after_preserved_blank_ = false;
    ruby_ = RubyPart::kNone;
  }

  // A ruby's parts as the paragraph gives them. An annotation without a base annotates
  // nothing and is left out; blanks at the edges of the annotation are left out too.
  void Ruby(ParagraphContent::Kind kind) {
    switch (kind) {
      case ParagraphContent::Kind::kRubyBase:
        ruby_ = RubyPart::kBase;
        base_ = annotation_ = kNone;
        break;
      case ParagraphContent::Kind::kRubyText:
        if (ruby_ != RubyPart::kBase) break;
        if (base_ == kNone) {
          ruby_ = RubyPart::kDropped;
          break;
        }
        ruby_ = RubyPart::kAnnotation;
        pending_blank_ = false;
        blank_floor_ = text_.size();
        break;
      default:
        if (ruby_ == RubyPart::kAnnotation && annotation_ != kNone) {
          pending_blank_ = false;
          out_.rubies.push_back({static_cast<uint32_t>(base_), static_cast<uint32_t>(annotation_),
                                 static_cast<uint32_t>(text_.size())});
        }
        ruby_ = RubyPart::kNone;
        blank_floor_ = line_start_;
        break;
    }
  }

 private:
  enum class RubyPart : uint8_t { kNone, kBase, kAnnotation, kDropped };
  static constexpr size_t kNone = static_cast<size_t>(-1);

  void Put(std::string_view chars, uint16_t style, bool preserve) {
    if (pending_blank_ && text_.size() > blank_floor_) Append(" ", blank_style_);
    pending_blank_ = false;
    if (ruby_ == RubyPart::kBase && base_ == kNone) {
      base_ = text_.size();
    } else if (ruby_ == RubyPart::kAnnotation && annotation_ == kNone) {
      annotation_ = text_.size();
    }
    Append(chars, style);
    after_preserved_blank_ = preserve && IsXmlBlank(chars.back());
    if (!has_text_ && chars.find_first_not_of(' ') != std::string_view::npos) has_text_ = true;
  }
  void Append(std::string_view chars, uint16_t style) {
    text_ += chars;
    if (!styled_) return;
    auto end = static_cast<uint32_t>(text_.size());
    if (run_open_ && out_.runs.back().style == style) {
      out_.runs.back().end = end;
    } else {
      out_.runs.push_back({end, style});
      run_open_ = true;
    }
  }

  CueLines& out_;
  std::string& text_;  // out_.text
  bool styled_;
  size_t line_start_ = 0;
  size_t blank_floor_ = 0;  // a held-back blank goes in only after this offset
  bool pending_blank_ = false;
  uint16_t blank_style_ = 0;
  bool has_text_ = false;
  bool run_open_ = false;
  bool after_preserved_blank_ = false;
  RubyPart ruby_ = RubyPart::kNone;
  size_t base_ = kNone, annotation_ = kNone;  // where the open ruby's parts begin
};

// U+00A0, a no-break space, in UTF-8.
constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

// The length of the space (U+0020 or a no-break space) that `text` ends with, or 0.
size_t SpaceAtEnd(std::string_view text) {
  if (text.ends_with(' ')) return 1;
  return text.ends_with(kNoBreakSpace) ? kNoBreakSpace.size() : 0;
}
size_t SpaceAtStart(std::string_view text) {
  if (text.starts_with(' ')) return 1;
  return text.starts_with(kNoBreakSpace) ? kNoBreakSpace.size() : 0;
}

// A span's text ends with one space right after a visible character.
bool EndsWithOneSpace(std::string_view text) {
  const size_t space = SpaceAtEnd(text);
  if (space == 0 || space == text.size()) return false;
  text.remove_suffix(space);
  return !IsXmlBlank(text.back()) && SpaceAtEnd(text) == 0;
}
bool BeginsWithOneSpace(std::string_view text) {
  const size_t space = SpaceAtStart(text);
  if (space == 0 || space == text.size()) return false;
  text.remove_prefix(space);
  return !IsXmlBlank(text.front()) && SpaceAtStart(text) == 0;
}

// Code points of Han (with its iteration marks), Hiragana, Katakana (with the half-width
// forms) and Hangul: the scripts whose readings are written in full-width brackets.
bool IsCjk(char32_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3005 && c <= 0x3007) ||
         (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3130 && c <= 0x318F) ||
         (c >= 0x31F0 && c <= 0x31FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F) ||
         (c >= 0x20000 && c <= 0x3134F);
}

}  // namespace

RubyBrackets RubyBracketsFor(std::string_view base) {
  // Only characters of three and four bytes in UTF-8 can be of those scripts.
  for (size_t i = 0; i < base.size();) {
    const auto lead = static_cast<unsigned char>(base[i]);
    const size_t length = lead < 0xE0 ? 1 + (lead >= 0xC0) : lead < 0xF0 ? 3 : 4;
    if (length >= 3 && i + length <= base.size()) {
      char32_t c = lead & (length == 3 ? 0x0F : 0x07);
      for (size_t k = 1; k < length; ++k)
        c = c << 6 | (static_cast<unsigned char>(base[i + k]) & 0x3F);
      if (IsCjk(c)) return {"\xEF\xBC\x88", "\xEF\xBC\x89"};  // U+FF08, U+FF09
    }
    i += length;
  }
  return {"(", ")"};
}

void CueLines::Clear() {
  text.clear();
  ends.clear();
  runs.clear();
  rubies.clear();
}

void ParagraphContent::Clear() {
  text_.clear();
  pieces_.clear();
  top_spans_.clear();
  has_break_ = has_top_span_ = has_ruby_ = has_hidden_ = false;
}

void ParagraphContent::AddText(std::string_view text, bool preserve, uint16_t style,
                               Interval visible, bool top_level) {
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

void ParagraphContent::LayOut(double from, double to, bool styled, CueLines* out) const {
  const bool per_span = EachSpanALine();
  LineWriter lines(out, styled);
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
      default:
        lines.Ruby(p.kind);
        break;
    }
  }
  lines.Break();
}

bool ParagraphContent::EachSpanALine() const {
  return !has_break_ && has_top_span_ && !has_ruby_ && !HasOwnText() && !SpansRunOn();
}

// The spans' own text puts a space between two spans with visible text: the first ends with
// one space after a visible character, the second begins with one before a visible
// character, or a span of exactly one space stands between them. The layout of one span a
// line never does: its documents hold blanks between spans only outside them, as indentation.
bool ParagraphContent::SpansRunOn() const {
  std::string_view previous;  // the last span with visible text
  bool one_space_between = false;
  for (const auto& [begin, end] : top_spans_) {
    const std::string_view text = std::string_view(text_).substr(begin, end - begin);
    if (text == " " || text == kNoBreakSpace) {
      one_space_between = true;
    } else if (!IsXmlBlankText(text)) {
      if (!previous.empty() &&
          (one_space_between || EndsWithOneSpace(previous) || BeginsWithOneSpace(text)))
        return true;
      previous = text;
      one_space_between = false;
    }
  }
  return false;
}

// Text outside spans that is not only blanks.
bool ParagraphContent::HasOwnText() const {
  for (const Piece& p : pieces_)
    if (p.kind == Kind::kText && p.top_level && !IsXmlBlankText(TextOf(p))) return true;
  return false;
}

bool ParagraphContent::HasTimedText(Interval whole) const {
  if (has_hidden_) return true;
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
  const size_t stretches = cuts.size() - 1;

  // Each text that is laid out at all, in document order, with the breaks before it and the
  // stretches [first, last) in which it is visible: those between its begin and its end.
  struct Visible {
    const Piece* piece;
    uint32_t breaks;
    size_t first, last;
  };
  std::vector<Visible> texts;
  const bool per_span = EachSpanALine();
  uint32_t breaks = 0;
  bool in_top_span = false;
  auto at = [&](double t) {
    return static_cast<size_t>(std::lower_bound(cuts.begin(), cuts.end(), t) - cuts.begin());
  };
  for (const Piece& p : pieces_) {
    switch (p.kind) {
      case Kind::kText: {
        if (per_span && !in_top_span) break;  // blanks between the spans
        const size_t first = at(p.visible.begin), last = std::min(at(p.visible.end), stretches);
        if (first < last) texts.push_back({&p, breaks, first, last});
        break;
      }
      case Kind::kBreak:
        ++breaks;
        break;
      case Kind::kSpanStart:
        in_top_span = true;
        break;
      case Kind::kSpanEnd:
        in_top_span = false;
        if (per_span) ++breaks;
        break;
      default:  // a ruby's marks hold for every stretch
        texts.push_back({&p, breaks, 0, stretches});
        break;
    }
  }
  // The stretches in order, each laid out from the texts visible in it: a text comes in where
  // its first stretch begins and goes where its last ends, so a stretch costs what it shows.
  std::vector<uint32_t> arrivals(texts.size()), departures(texts.size());
  for (uint32_t i = 0; i < texts.size(); ++i) arrivals[i] = departures[i] = i;
  std::sort(arrivals.begin(), arrivals.end(),
            [&](uint32_t a, uint32_t b) { return texts[a].first < texts[b].first; });
  std::sort(departures.begin(), departures.end(),
            [&](uint32_t a, uint32_t b) { return texts[a].last < texts[b].last; });
  std::set<uint32_t> shown;  // indices into texts, so in document order
  size_t arrived = 0, departed = 0;

  CueLines held, next;
  Interval held_interval;
  bool holding = false;
  for (size_t i = 0; i < stretches; ++i) {
    for (; arrived < arrivals.size() && texts[arrivals[arrived]].first == i; ++arrived)
      shown.insert(arrivals[arrived]);
    for (; departed < departures.size() && texts[departures[departed]].last == i; ++departed)
      shown.erase(departures[departed]);
    const Interval stretch{cuts[i], cuts[i + 1]};
    // One break or many between two texts come to the same: a line without text is taken back.
    LineWriter lines(&next, styled);
    for (auto it = shown.begin(); it != shown.end(); ++it) {
      const Visible& v = texts[*it];
      if (it != shown.begin() && v.breaks != texts[*std::prev(it)].breaks) lines.Break();
      if (v.piece->kind == Kind::kText)
        lines.Text(TextOf(*v.piece), v.piece->preserve, v.piece->style);
      else
        lines.Ruby(v.piece->kind);
    }
    lines.Break();
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
