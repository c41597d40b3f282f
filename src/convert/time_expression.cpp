#include "convert/time_expression.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "convert/xml_blanks.h"

namespace capsel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads digits [.digits] at `pos`; fails when there is no digit before the point, or the
// fraction is empty.
bool ReadDecimal(std::string_view s, size_t& pos, double* value, size_t* int_digits = nullptr,
                 bool allow_fraction = true) {
  size_t start = pos;
  while (pos < s.size() && IsDigit(s[pos])) ++pos;
  size_t digits = pos - start;
  if (digits == 0) return false;
  if (int_digits) *int_digits = digits;
  double v = 0;
  for (size_t i = start; i < pos; ++i) v = v * 10 + (s[i] - '0');
  if (allow_fraction && pos < s.size() && s[pos] == '.') {
    size_t frac_start = ++pos;
    double scale = 0.1;
    while (pos < s.size() && IsDigit(s[pos])) {
      v += (s[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (pos == frac_start) return false;
  }
  *value = v;
  return true;
}

std::optional<double> PositiveNumber(std::string_view text) {
  text = TrimXmlBlanks(text);
  size_t pos = 0;
  double v = 0;
  if (!ReadDecimal(text, pos, &v) || pos != text.size() || v <= 0) return std::nullopt;
  return v;
}

// A time code in the smpte time base: the frames it counts, less the frame numbers its drop
// mode skipped up to its minute, at the effective frame rate. `seconds` may carry a fraction
// and `frames` sub-frames; both count on as frames do.
double SmpteSeconds(double hours, double minutes, double seconds, double frames,
                    const TimingParameters& timing) {
  double dropped = 0;
  if (timing.drop_mode == DropMode::kDropNtsc)
    dropped = (hours * 54 + minutes - std::floor(minutes / 10)) * 2;
  else if (timing.drop_mode == DropMode::kDropPal)
    dropped = (hours * 27 + std::floor(minutes / 2) - std::floor(minutes / 20)) * 4;
  const double counted = (hours * 3600 + minutes * 60 + seconds) * timing.frame_rate + frames;
  return (counted - dropped) / timing.EffectiveFrameRate();
}

}  // namespace

TimingParameters ReadTimingParameters(std::string_view frame_rate, std::string_view multiplier,
                                      std::string_view sub_frame_rate, std::string_view tick_rate,
                                      std::string_view time_base, std::string_view drop_mode) {
  TimingParameters t;
  t.smpte = TrimXmlBlanks(time_base) == "smpte";
  if (t.smpte) {
    const std::string_view mode = TrimXmlBlanks(drop_mode);
    if (mode == "dropNTSC") t.drop_mode = DropMode::kDropNtsc;
    if (mode == "dropPAL") t.drop_mode = DropMode::kDropPal;
  }
  bool frame_rate_given = false;
  if (auto v = PositiveNumber(frame_rate)) {
    t.frame_rate = *v;
    frame_rate_given = true;
  }
  // "numerator denominator", e.g. "1000 1001".
  std::string_view m = TrimXmlBlanks(multiplier);
  size_t blank = m.find_first_of(" \t");
  if (blank != std::string_view::npos) {
    auto num = PositiveNumber(m.substr(0, blank));
    auto den = PositiveNumber(m.substr(blank + 1));
    if (num && den) t.frame_rate_multiplier = *num / *den;
  }
  if (auto v = PositiveNumber(sub_frame_rate)) t.sub_frame_rate = *v;
  if (auto v = PositiveNumber(tick_rate)) {
    t.tick_rate = *v;
  } else if (frame_rate_given) {
    // TTML: without a tick rate, ticks run at the effective frame rate times the sub-frame rate.
    t.tick_rate = t.EffectiveFrameRate() * t.sub_frame_rate;
  }
  return t;
}

// "hh:mm:ss" with an optional fraction, the form nearly every document uses, read without
// the general parser's detours. The arithmetic is the general parser's, step for step, so
// both give the same value to the last bit.
std::optional<double> ParseCommonClockTime(std::string_view s) {
  if (s.size() < 8 || s[2] != ':' || s[5] != ':') return std::nullopt;
  const size_t digit_at[] = {0, 1, 3, 4, 6, 7};
  for (size_t i : digit_at)
    if (!IsDigit(s[i])) return std::nullopt;
  double hours = (s[0] - '0') * 10 + (s[1] - '0');
  double minutes = (s[3] - '0') * 10 + (s[4] - '0');
  double seconds = (s[6] - '0') * 10 + (s[7] - '0');
  if (minutes > 59 || seconds >= 61) return std::nullopt;
  size_t pos = 8;
  if (pos < s.size()) {
    if (s[pos] != '.' || pos + 1 == s.size()) return std::nullopt;
    double scale = 0.1;
    for (++pos; pos < s.size(); ++pos) {
      if (!IsDigit(s[pos])) return std::nullopt;
      seconds += (s[pos] - '0') * scale;
      scale /= 10;
    }
  }
  return hours * 3600 + minutes * 60 + seconds;
}

std::optional<double> ParseTimeExpression(std::string_view text, const TimingParameters& timing) {
  if (!timing.CountsFrames())
    if (auto common = ParseCommonClockTime(text)) return common;
  std::string_view s = TrimXmlBlanks(text);
  size_t pos = 0;
  double first = 0;
  size_t first_digits = 0;
  if (!ReadDecimal(s, pos, &first, &first_digits)) return std::nullopt;

  if (pos < s.size() && s[pos] == ':') {
    // Clock time: hours ":" minutes ":" seconds, then a fraction or ":" frames.
    if (pos != first_digits) return std::nullopt;  // hours take no fraction
    double minutes = 0, seconds = 0;
    size_t digits = 0;
    ++pos;
    if (!ReadDecimal(s, pos, &minutes, &digits, false) || digits != 2 || minutes > 59)
      return std::nullopt;
    if (pos >= s.size() || s[pos] != ':') return std::nullopt;
    ++pos;
    size_t seconds_start = pos;
    if (!ReadDecimal(s, pos, &seconds, &digits) || digits != 2 || seconds >= 61)
      return std::nullopt;
    bool has_fraction = pos > seconds_start + 2;
    double total = first * 3600 + minutes * 60 + seconds;
    double frames = 0;
    if (pos < s.size() && s[pos] == ':' && !has_fraction) {
      ++pos;
      // TTML counts frames, and sub-frames, from 0 to one below their rate.
      if (!ReadDecimal(s, pos, &frames, nullptr, false) || frames >= timing.frame_rate)
        return std::nullopt;
      if (pos < s.size() && s[pos] == '.') {
        ++pos;
        double sub_frames = 0;
        if (!ReadDecimal(s, pos, &sub_frames, nullptr, false) ||
            sub_frames >= timing.sub_frame_rate)
          return std::nullopt;
        frames += sub_frames / timing.sub_frame_rate;
      }
    }
    if (pos != s.size()) return std::nullopt;
    if (timing.CountsFrames()) return SmpteSeconds(first, minutes, seconds, frames, timing);
    return total + frames / timing.EffectiveFrameRate();
  }

  // Offset time: a number and its unit.
  std::string_view unit = s.substr(pos);
  if (unit == "h") return first * 3600;
  if (unit == "m") return first * 60;
  if (unit == "s") return first;
  if (unit == "ms") return first / 1000;
  if (unit == "f") return first / timing.EffectiveFrameRate();
  if (unit == "t") return first / timing.tick_rate;
  return std::nullopt;
}

std::optional<double> ParseTimeOffset(std::string_view text, const TimingParameters& timing) {
  text = TrimXmlBlanks(text);
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || !IsDigit(text[0])) return std::nullopt;  // one sign, then the time
  const std::optional<double> time = ParseTimeExpression(text, timing);
  if (!time) return std::nullopt;
  return negative ? -*time : *time;
}

long long SrtMilliseconds(double seconds) {
  // Past about 285,000 years an SRT time stops meaning anything; clamp rather than overflow.
  constexpr double kMaxMs = 9e15;
  double total_ms = !std::isnan(seconds) && seconds > 0 ? std::min(seconds * 1000, kMaxMs) : 0;
  // Decimal fractions such as .9605 are not exact in binary; the small nudge makes a value
  // written as an exact half round up, as it reads.
  return static_cast<long long>(std::floor(total_ms + 0.5 + 1e-6));
}

void AppendSrtTime(std::string& out, double seconds, char separator) {
  AppendSrtMilliseconds(out, SrtMilliseconds(seconds), separator);
}

void AppendSrtMilliseconds(std::string& out, long long ms, char separator) {
  // Written by hand: this runs twice for every subtitle.
  const long long hours = ms / 3600000;
  const int rest = static_cast<int>(ms % 3600000);
  char buf[40];
  char* p = buf + 20;  // hours take as many digits as they need, at least two
  long long h = hours;
  do {
    *--p = static_cast<char>('0' + h % 10);
    h /= 10;
  } while (h > 0);
  if (hours < 10) *--p = '0';
  char* q = buf + 20;
  auto two = [&q](int v) {
    *q++ = static_cast<char>('0' + v / 10);
    *q++ = static_cast<char>('0' + v % 10);
  };
  *q++ = ':';
  two(rest / 60000);
  *q++ = ':';
  two(rest / 1000 % 60);
  *q++ = separator;
  const int milli = rest % 1000;
  *q++ = static_cast<char>('0' + milli / 100);
  two(milli % 100);
  out.append(p, q);
}

std::string FormatSrtTime(double seconds) {
  std::string out;
  AppendSrtTime(out, seconds);
  return out;
}

}  // namespace capsel
