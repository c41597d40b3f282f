#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "os/clock.h"
#include "os/file_system.h"
#include "settings/settings.h"

namespace capsel {

/// The activity monitor keeps at most this many lines; the oldest goes first.
inline constexpr int kMonitorMaxLines = 32767;

/// Receives every activity line, already time-stamped.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void WriteLine(const std::string& line) = 0;
};

/// "dd.mm.yyyy HH:MM:SS", two blanks, the message.
std::string FormatLogLine(const LocalTime& time, std::string_view message);

/// The message with its control characters (bytes 00..1F and 7F, and U+0080..U+009F written as
/// C2 80..C2 9F) shown as `\xHH`, the code point in two upper-case hex digits. Everything else,
/// backslashes and bytes that are no valid UTF-8 included, stays as it is. A file name can
/// then never start a line of its own or move a terminal's cursor.
std::string EscapeControls(std::string_view message);

/// True for the lines that report a failure: "---- ERROR", "---- Error", "Error while processing".
bool IsFailureMessage(std::string_view message);

/// The one reporting routine. Each message, its control characters escaped, becomes one
/// time-stamped line that goes to every sink and, while `UseLogfile` is set, is appended to the log
/// file `LogfileName`. It never fails towards its caller: a log file that cannot be written just
/// misses the line.
class ActivityLog {
 public:
  ActivityLog(Clock& clock, FileSystem& fs, const Settings& settings)
      : clock_(clock), fs_(fs), settings_(settings) {}

  void AddSink(LogSink* sink) { sinks_.push_back(sink); }
  void LogMessage(std::string_view message);
  /// How many failure lines were logged so far.
  int failure_count() const { return failure_count_; }

 private:
  Clock& clock_;
  FileSystem& fs_;
  const Settings& settings_;
  std::vector<LogSink*> sinks_;
  int failure_count_ = 0;
};

}  // namespace capsel
