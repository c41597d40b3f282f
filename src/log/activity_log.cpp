#include "log/activity_log.h"

#include <cstdio>

namespace capsel {

std::string FormatLogLine(const LocalTime& t, std::string_view message) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d.%02d.%04d %02d:%02d:%02d  ", t.day, t.month, t.year,
                t.hour, t.minute, t.second);
  std::string line = stamp;
  line += message;
  return line;
}

bool IsFailureMessage(std::string_view message) {
  return message.starts_with("---- ERROR") || message.starts_with("---- Error") ||
         message.starts_with("Error while processing");
}

void ActivityLog::LogMessage(std::string_view message) {
  std::string line = FormatLogLine(clock_.Local(), message);
  if (IsFailureMessage(message)) ++failure_count_;
  for (LogSink* sink : sinks_) sink->WriteLine(line);
  // A flag that is no number counts as set here: better a line too many in the file than one
  // missing.
  if (ReadFlag(settings_.UseLogfile) != FlagValue::kOff) {
    fs_.Append(settings_.LogfileName, line + "\r\n");  // failures are ignored by design
  }
}

}  // namespace capsel
