#include "convert/cue_writer.h"

#include <cstdio>

#include "convert/time_expression.h"
#include "text/unicode.h"

namespace capsel {
namespace {

// Text waits in memory until there is this much of it; then it goes to the file in one write.
constexpr size_t kFlushSize = 1 << 16;
// The window that puts WebVTT cues in the order they begin.
constexpr size_t kWindowCues = 1 << 16;
constexpr size_t kWindowBytes = 8 << 20;

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

void AppendCueBody(CueFormat format, std::string& out, Interval time, const CueLines& lines,
                   const StyleTable* styles) {
  AppendTimingLine(format, out, time);
  const size_t text_begin = out.size();
  size_t run = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const uint32_t line_end = lines.ends[i];
    if (styles == nullptr || lines.runs.empty()) {
      AppendText(format, lines.Line(i), out);
    } else {
      for (uint32_t pos = lines.LineBegin(i); pos < line_end && run < lines.runs.size(); ++run) {
        const StyleRun& r = lines.runs[run];
        const TextStyle& style = (*styles)[r.style];
        OpenTags(format, style, out);
        AppendText(format, std::string_view(lines.text).substr(pos, r.end - pos), out);
        CloseTags(format, style, out);
        pos = r.end;
      }
    }
    out += "\r\n";
  }
  if (format == CueFormat::kSrt) BreakTimingArrows(out, text_begin);  // WebVTT escapes every >
  out += "\r\n";
}

CueFileWriter::CueFileWriter(CueFormat format, int code_page, bool styled,
                             std::unique_ptr<OutputFile> file, int open_error)
    : format_(format),
      code_page_(code_page),
      styled_(styled),
      file_(std::move(file)),
      error_(open_error) {
  if (format_ == CueFormat::kVtt) text_ = kVttHeader;
}

void CueFileWriter::OnCue(Interval time, const CueLines& lines, const StyleTable& styles) {
  if (file_ == nullptr || error_ != 0) return;
  if (format_ == CueFormat::kSrt) {
    AppendCue(format_, text_, ++number_, time, lines, styled_ ? &styles : nullptr);
  } else {
    Held cue{SrtMilliseconds(time.begin), received_++, {}};
    AppendCueBody(format_, cue.body, time, lines, styled_ ? &styles : nullptr);
    held_bytes_ += cue.body.size();
    held_.push(std::move(cue));
    if (held_.size() > kWindowCues || held_bytes_ > kWindowBytes) WriteHeld(held_.size() / 2);
  }
  if (text_.size() >= kFlushSize) Flush();
}

std::string* CueFileWriter::BeginPlainCue(Interval time) {
  // A file that is not written takes its cues by OnCue, which drops them.
  if (format_ != CueFormat::kSrt || styled_ || file_ == nullptr || error_ != 0) return nullptr;
  AppendNumber(text_, ++number_);
  AppendTimingLine(format_, text_, time);
  plain_text_begin_ = text_.size();
  return &text_;
}

void CueFileWriter::EndPlainCue() {
  BreakTimingArrows(text_, plain_text_begin_);
  text_ += "\r\n";
  if (text_.size() >= kFlushSize) Flush();
}

// Writes the earliest held cues until `keep` are left.
void CueFileWriter::WriteHeld(size_t keep) {
  while (held_.size() > keep) {
    const Held& cue = held_.top();
    AppendNumber(text_, ++number_);
    text_ += cue.body;
    held_bytes_ -= cue.body.size();
    held_.pop();
    if (text_.size() >= kFlushSize) Flush();
  }
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
  WriteHeld(0);
  Flush();
  if (error_ != 0 || file_ == nullptr) return error_ != 0 ? error_ : EINVAL;
  error_ = file_->Commit();
  file_.reset();
  return error_;
}

}  // namespace capsel
