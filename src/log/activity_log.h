#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "os/clock.h"
#include "os/file_system.h"

namespace capsel {

/// The activity monitor keeps at most this many lines; the oldest goes first.
inline constexpr int kMonitorMaxLines = 32767;

/// How much a line matters, as syslog's priorities count: what journald reads from a "<N>"
/// prefix.
enum class Severity { kError = 3, kWarning = 4, kInfo = 6 };

/// Receives every activity line, already time-stamped.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void WriteLine(const std::string& line) = 0;
  /// The line with its severity; a sink that has no use for it takes only the line.
  virtual void WriteEntry(const std::string& line, Severity) { WriteLine(line); }
};

/// "dd.mm.yyyy HH:MM:SS", two blanks, the message.
std::string FormatLogLine(const LocalTime& time, std::string_view message);

/// The message with its control characters (bytes 00..1F and 7F, and U+0080..U+009F written as
/// C2 80..C2 9F) shown as `\xHH`, the code point in two upper-case hex digits. Everything else,
/// backslashes and bytes that are no valid UTF-8 included, stays as it is. A file name can
/// then never start a line of its own or move a terminal's cursor.
std::string EscapeControls(std::string_view message);

/// The message `pattern` with each "{}" replaced by the next of `parts`, in order. The parts
/// are taken as they are: a "{}" inside one stays. A "{}" without a part left stays too.
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> parts);

/// True for the lines that report a failure: "---- ERROR", "---- Error", "Error while processing".
bool IsFailureMessage(std::string_view message);

/// The severity of `message`, which follows `previous`: kError for failure lines and for the
/// lines that give a failure's reason or advice (the line after "Error while processing",
/// "---- Cannot write", "---- Please check"), kWarning for warnings ("---- WARNING",
/// "WARNING:", "Warning:") and for an input kept as ".failed", kInfo for the rest.
Severity SeverityOf(std::string_view message, std::string_view previous);

/// The one reporting routine. Each message, its control characters escaped, becomes one
/// time-stamped line that goes to every sink, in the order they were added. It never fails
/// towards its caller.
class ActivityLog {
 public:
  explicit ActivityLog(Clock& clock) : clock_(clock) {}

  void AddSink(LogSink* sink) { sinks_.push_back(sink); }
  void RemoveSink(LogSink* sink) { std::erase(sinks_, sink); }
  void LogMessage(std::string_view message);
  /// How many failure lines were logged so far.
  int failure_count() const { return failure_count_; }

 private:
  Clock& clock_;
  std::vector<LogSink*> sinks_;
  int failure_count_ = 0;
  std::string previous_;  // the last message, for SeverityOf
};

/// The text of a log file that cannot be written, for standard error: the path and the reason.
inline constexpr char kLogFileFailed[] = "capsel: cannot write the log file {} ({})\n";

/// The log file: every line, ended by CR LF, is appended to it while it is enabled. The file
/// is opened and closed for each line, so it may be moved or removed at any time. Only an
/// ordinary file is written. A line that cannot be written is lost; the first such loss for a
/// path is told to `complain` (standard error by default, so the journal has it and the
/// activity monitor does not), once, with the path and the reason.
class LogFileSink final : public LogSink {
 public:
  explicit LogFileSink(FileSystem& fs, std::function<void(const std::string&)> complain = {});
  /// Where the lines go from now on; nowhere while `enabled` is false.
  void Configure(bool enabled, std::string path);
  void WriteLine(const std::string& line) override;

 private:
  FileSystem& fs_;
  std::function<void(const std::string&)> complain_;
  bool enabled_ = false;
  bool complained_ = false;
  std::string path_;
};

}  // namespace capsel
