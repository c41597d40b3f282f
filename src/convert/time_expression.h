#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace capsel {

/// Which frame numbers of each minute a time code skips (ttp:dropMode): none; 0 and 1 of
/// every minute but each tenth; 0 to 3 of every even minute but each twentieth.
enum class DropMode { kNonDrop, kDropNtsc, kDropPal };

/// The document's timing parameters (ttp:frameRate and friends), with TTML's defaults.
struct TimingParameters {
  double frame_rate = 30;
  double frame_rate_multiplier = 1;  // numerator / denominator of ttp:frameRateMultiplier
  double sub_frame_rate = 1;
  double tick_rate = 1;
  bool smpte = false;  // ttp:timeBase="smpte": a clock time is a time code that counts frames
  DropMode drop_mode = DropMode::kNonDrop;  // only in the smpte time base
  double EffectiveFrameRate() const { return frame_rate * frame_rate_multiplier; }
  /// Whether a time code's seconds differ from the media clock's: counted frames at a rate
  /// other than the nominal one, or frame numbers dropped. Otherwise both read alike.
  bool CountsFrames() const {
    return smpte && (frame_rate_multiplier != 1 || drop_mode != DropMode::kNonDrop);
  }
};

/// Reads the parameters from the root element's ttp: attributes; each is the text of the
/// attribute or empty when absent. A value that does not read keeps its default.
TimingParameters ReadTimingParameters(std::string_view frame_rate, std::string_view multiplier,
                                      std::string_view sub_frame_rate, std::string_view tick_rate,
                                      std::string_view time_base = {},
                                      std::string_view drop_mode = {});

/// Seconds from a TTML time expression: clock time "hh:mm:ss", "hh:mm:ss.fraction",
/// "hh:mm:ss:frames(.subframes)", or offset time "N(.fraction)" with unit h, m, s, ms, f or t.
/// Empty when the text is no such expression.
std::optional<double> ParseTimeExpression(std::string_view text, const TimingParameters& timing);

/// A signed time expression ("-10:00:00:00", "+2s", "500ms"): the sign, then a time as
/// ParseTimeExpression reads it with `timing`. Empty when it does not read.
std::optional<double> ParseTimeOffset(std::string_view text, const TimingParameters& timing);

/// Whole milliseconds, rounded as FormatSrtTime rounds them; negative times are 0.
long long SrtMilliseconds(double seconds);

/// Appends "HH:MM:SS" + `separator` + "mmm" to `out`, as FormatSrtTime writes it.
void AppendSrtTime(std::string& out, double seconds, char separator = ',');
/// The same for a time already in milliseconds (SrtMilliseconds).
void AppendSrtMilliseconds(std::string& out, long long ms, char separator = ',');

/// "HH:MM:SS,mmm", rounded to the nearest millisecond; hours take more digits when needed.
/// Negative times are written as 00:00:00,000.
std::string FormatSrtTime(double seconds);

}  // namespace capsel
