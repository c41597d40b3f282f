#include "convert/cue_writer.h"

#include <algorithm>
#include <cstdio>

#include "convert/time_expression.h"
#include "text/unicode.h"

namespace capsel {
namespace {

// Text waits in memory until there is this much of it; then it goes to the file in one write.
constexpr size_t kFlushSize = 1 << 16;
// The window that puts cues in the order they begin; beyond it they go to a scratch file.
constexpr size_t kWindowBytes = 1 << 19;

// WebVTT's own colour classes, for the colours that have one.
const char* VttColorClass(unsigned color) {
  switch (color) {
    case 0xFFFF00:
      return "yellow";
    case 0x00FF00:
      return "lime";
    case 0x00FFFF:
      return "cyan";
    case 0xFF0000:
      return "red";
    case 0xFF00FF:
      return "magenta";
    case 0x0000FF:
      return "blue";
    case 0x000000:
      return "black";
    default:
      return nullptr;
  }
}

void OpenTags(CueFormat format, const TextStyle& s, std::string& out) {
  if (s.HasColor()) {
    if (format == CueFormat::kSrt) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "<font color=\"#%06X\">", *s.color);
      out += buf;
    } else if (const char* name = VttColorClass(*s.color)) {
      out += "<c.";
      out += name;
      out += '>';
    }
  }
  if (s.Bold()) out += "<b>";
  if (s.Italic()) out += "<i>";
  if (s.Underline()) out += "<u>";
}

void CloseTags(CueFormat format, const TextStyle& s, std::string& out) {
  if (s.Underline()) out += "</u>";
  if (s.Italic()) out += "</i>";
  if (s.Bold()) out += "</b>";
  if (s.HasColor()) {
    if (format == CueFormat::kSrt)
      out += "</font>";
    else if (VttColorClass(*s.color))
      out += "</c>";
  }
}

void AppendText(CueFormat format, std::string_view text, std::string& out) {
  if (format == CueFormat::kSrt) {
    out += text;
    return;
  }
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
}

bool IsTimeChar(char c) { return (c >= '0' && c <= '9') || c == ':' || c == ',' || c == '.'; }
bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// Whether `t` is a time as SRT readers read one: digits and colons (with a comma or
// full stop before milliseconds), beginning and ending with a digit.
bool IsTime(std::string_view t) {
  return !t.empty() && IsDigitChar(t.front()) && IsDigitChar(t.back()) &&
         t.find(':') != std::string_view::npos;
}

// SRT readers (ffmpeg's, and so mpv's and libass's, and VLC's) take a line with a time, "-->"
// and a time for the timing line of a new cue, even within a cue's text: such a line would
// end the cue and forge another. Its arrow is written "-- >"; any other "-->" stays. The
// text of the cue's lines begins at `from`.
void BreakTimingArrows(std::string& out, size_t from) {
  for (size_t at = out.find("-->", from); at != std::string::npos; at = out.find("-->", at + 3)) {
    size_t end = at;
    while (end > from && (out[end - 1] == ' ' || out[end - 1] == '\t')) --end;
    size_t begin = end;
    while (begin > from && IsTimeChar(out[begin - 1])) --begin;
    size_t after = at + 3;
    while (after < out.size() && (out[after] == ' ' || out[after] == '\t')) ++after;
    if (after < out.size() && (out[after] == '-' || out[after] == '+')) ++after;
    size_t after_end = after;
    while (after_end < out.size() && IsTimeChar(out[after_end])) ++after_end;
    const std::string_view text = out;
    if (IsTime(text.substr(begin, end - begin)) && IsTime(text.substr(after, after_end - after)))
      out.insert(at + 2, 1, ' ');
  }
}

// The cue's number and a line end.
void AppendNumber(std::string& out, long long number) {
  char buf[24];
  char* p = buf + sizeof buf;
  *--p = '\n';
  *--p = '\r';
  do {
    *--p = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0);
  out.append(p, buf + sizeof buf);
}

}  // namespace

void AppendCue(CueFormat format, std::string& out, long long number, Interval time,
               const CueLines& lines, const StyleTable* styles) {
  AppendNumber(out, number);
  AppendCueBody(format, out, time, lines, styles);
}

// A cue's timing line: "begin --> end" and CR LF.
static void AppendTimingLine(CueFormat format, std::string& out, Interval time) {
  const char separator = format == CueFormat::kSrt ? ',' : '.';
  AppendSrtTime(out, time.begin, separator);
  out += " --> ";
  AppendSrtTime(out, time.end, separator);
  out += "\r\n";
}

// A ruby's marks in the text: WebVTT's ruby and rt tags, or SRT's brackets around the
// annotation, which the writer makes (they are not text, so WebVTT's escaping leaves them).
void AppendRubyMark(CueFormat format, const CueLines& lines, const RubyMark& ruby, uint32_t pos,
                    std::string& out) {
  const bool vtt = format == CueFormat::kVtt;
  if (pos == ruby.base && vtt) out += "<ruby>";
  if (pos == ruby.text) {
    if (vtt)
      out += "<rt>";
    else
      out += RubyBracketsFor(std::string_view(lines.text).substr(ruby.base, ruby.text - ruby.base))
                 .open;
  }
  if (pos == ruby.end) {
    if (vtt)
      out += "</rt></ruby>";
    else
      out += RubyBracketsFor(std::string_view(lines.text).substr(ruby.base, ruby.text - ruby.base))
                 .close;
  }
}

void AppendCueBody(CueFormat format, std::string& out, Interval time, const CueLines& lines,
                   const StyleTable* styles) {
  AppendTimingLine(format, out, time);
  AppendCueLines(format, out, lines, styles);
  out += "\r\n";
}

void AppendCueLines(CueFormat format, std::string& out, const CueLines& lines,
                    const StyleTable* styles) {
  const size_t text_begin = out.size();
  const bool styled = styles != nullptr && !lines.runs.empty();
  size_t run = 0, ruby = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const uint32_t line_end = lines.ends[i];
    // The line in pieces that end where a run of style ends or a ruby's part begins or ends.
    for (uint32_t pos = lines.LineBegin(i); pos < line_end;) {
      uint32_t next = line_end;
      if (styled && run < lines.runs.size()) next = std::min(next, lines.runs[run].end);
      if (ruby < lines.rubies.size()) {
        const RubyMark& r = lines.rubies[ruby];
        AppendRubyMark(format, lines, r, pos, out);
        for (uint32_t mark : {r.base, r.text, r.end})
          if (mark > pos) next = std::min(next, mark);
      }
      const std::string_view piece = std::string_view(lines.text).substr(pos, next - pos);
      if (styled && run < lines.runs.size()) {
        const TextStyle& style = (*styles)[lines.runs[run].style];
        OpenTags(format, style, out);
        AppendText(format, piece, out);
        CloseTags(format, style, out);
        if (lines.runs[run].end == next) ++run;
      } else {
        AppendText(format, piece, out);
      }
      pos = next;
      if (ruby < lines.rubies.size() && lines.rubies[ruby].end == pos)
        AppendRubyMark(format, lines, lines.rubies[ruby++], pos, out);
    }
    out += "\r\n";
  }
  if (format == CueFormat::kSrt) BreakTimingArrows(out, text_begin);  // WebVTT escapes every >
}

void AppendPlacement(CueFormat format, int tags, const Placement& place, std::string& out) {
  const bool top = place.vertical == Placement::kTop;
  if (tags == 0 || (tags == 1 && !top)) return;
  if (format == CueFormat::kSrt) {
    const int key = (2 - place.vertical) * 3 + place.horizontal + 1;
    if (key == 2) return;
    out += "{\\an";
    out += static_cast<char>('0' + key);
    out += '}';
    return;
  }
  // WebVTT takes whole percentages from 0 to 100.
  auto percent = [&out](const char* name, float value) {
    out += name;
    out += std::to_string(static_cast<int>(std::clamp(value, 0.0f, 100.0f) + 0.5f));
    out += '%';
  };
  if (top) percent(" line:", place.edge);
  if (tags == 1) return;
  if (place.vertical == Placement::kMiddle) out += " line:50%";
  if (place.horizontal == Placement::kCentre) return;
  const bool left = place.horizontal == Placement::kLeft;
  out += left ? " align:left" : " align:right";
  if (!place.area_known) return;
  percent(" position:", left ? place.x : place.x + place.width);
  percent(" size:", place.width);
}

CueFileWriter::CueFileWriter(CueFormat format, int code_page, bool styled,
                             std::unique_ptr<OutputFile> file, int open_error, Overlaps overlaps,
                             MakeScratch scratch, int position_tags)
    : overlaps_(overlaps),
      order_(std::move(scratch), kWindowBytes),
      position_tags_(position_tags),
      format_(format),
      code_page_(code_page),
      styled_(styled),
      file_(std::move(file)),
      error_(open_error) {
  if (format_ == CueFormat::kVtt) text_ = kVttHeader;
}

// The place as written, as the number of its group.
int CueFileWriter::PlacementGroup(const Placement& place) {
  if (position_tags_ == 0) return 0;
  std::string text;
  AppendPlacement(format_, position_tags_, place, text);
  auto [at, added] = placement_groups_.try_emplace(std::move(text), placements_.size());
  if (added) placements_.push_back(at->first);
  return at->second;
}

void CueFileWriter::OnCue(Interval time, const CueLines& lines, const StyleTable& styles,
                          const Placement& place) {
  if (file_ == nullptr || error_ != 0) return;
  if (!Ordered()) {  // SRT: the tag stands before the first line
    AppendNumber(text_, ++number_);
    AppendTimingLine(format_, text_, time);
    AppendPlacement(format_, position_tags_, place, text_);
    AppendCueLines(format_, text_, lines, styled_ ? &styles : nullptr);
    text_ += "\r\n";
    if (text_.size() >= kFlushSize) Flush();
    return;
  }
  AppendCueLines(format_, order_.NextText(), lines, styled_ ? &styles : nullptr);
  error_ = order_.Add(SrtMilliseconds(time.begin), SrtMilliseconds(time.end), received_++,
                      PlacementGroup(place), place.vertical);
}

void CueFileWriter::WriteEntry(const OrderedCue& entry) {
  if (error_ != 0) return;  // nothing more reaches the file: hold nothing more either
  const char separator = format_ == CueFormat::kSrt ? ',' : '.';
  AppendNumber(text_, ++number_);
  AppendSrtMilliseconds(text_, entry.begin_ms, separator);
  text_ += " --> ";
  AppendSrtMilliseconds(text_, entry.end_ms, separator);
  // WebVTT's settings follow the timing; SRT's tag stands before the entry's first line.
  const std::string& place = placements_[static_cast<size_t>(entry.group)];
  if (format_ == CueFormat::kVtt) text_ += place;
  text_ += "\r\n";
  if (format_ == CueFormat::kSrt) text_ += place;
  text_ += entry.text;
  text_ += "\r\n";
  if (text_.size() >= kFlushSize) Flush();
}

// Pieces end between cues, so no character is ever cut in two.
void CueFileWriter::Flush() {
  if (file_ == nullptr || error_ != 0 || text_.empty()) return;
  std::string_view bytes = text_;
  if (code_page_ != kCodePageUtf8) {
    std::string message;
    if (!EncodeText(text_, code_page_, &encoded_, &message)) {
      error_ = EINVAL;
      return;
    }
    bytes = encoded_;
  }
  error_ = file_->Write(bytes);
  text_.clear();
}

int CueFileWriter::Commit() {
  if (Ordered() && file_ != nullptr && error_ == 0) {
    EntryMaker entries(overlaps_, [this](OrderedCue&& entry) { WriteEntry(entry); });
    const int rc = order_.Drain([&entries](OrderedCue&& cue) { entries.Add(std::move(cue)); });
    entries.Finish();
    if (error_ == 0) error_ = rc;
  }
  Flush();
  if (error_ != 0 || file_ == nullptr) return error_ != 0 ? error_ : EINVAL;
  error_ = file_->Commit();
  file_.reset();
  return error_;
}

}  // namespace capsel
