#include "log/activity_log.h"

#include <cerrno>
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

std::string EscapeControls(std::string_view message) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(message.size());
  auto escape = [&](unsigned char code) {
    out += "\\x";
    out += kHex[code >> 4];
    out += kHex[code & 0xF];
  };
  for (size_t i = 0; i < message.size(); ++i) {
    const auto byte = static_cast<unsigned char>(message[i]);
    // C2 is never a continuation byte, so C2 80..9F is a C1 character wherever it stands.
    const auto next = i + 1 < message.size() ? static_cast<unsigned char>(message[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7F) {
      escape(byte);
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      escape(next);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> parts) {
  std::string out;
  auto part = parts.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "{}") == 0 && part != parts.end()) {
      out += *part++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

bool IsFailureMessage(std::string_view message) {
  return message.starts_with("---- ERROR") || message.starts_with("---- Error") ||
         message.starts_with("Error while processing");
}

Severity SeverityOf(std::string_view message, std::string_view previous) {
  if (IsFailureMessage(message) || previous.starts_with("Error while processing") ||
      message.starts_with("---- Cannot write ") || message.starts_with("---- Please check"))
    return Severity::kError;
  if (message.starts_with("---- WARNING") || message.starts_with("WARNING:") ||
      message.starts_with("Warning:") || message.starts_with("---- Keeping "))
    return Severity::kWarning;
  return Severity::kInfo;
}

void ActivityLog::LogMessage(std::string_view message) {
  // capsel's own texts hold no control characters; names from outside may.
  std::string line = FormatLogLine(clock_.Local(), EscapeControls(message));
  if (IsFailureMessage(message)) ++failure_count_;
  const Severity severity = SeverityOf(message, previous_);
  previous_ = message;
  for (LogSink* sink : sinks_) sink->WriteEntry(line, severity);
}

LogFileSink::LogFileSink(FileSystem& fs, std::function<void(const std::string&)> complain)
    : fs_(fs), complain_(std::move(complain)) {
  if (!complain_) complain_ = [](const std::string& text) { std::fputs(text.c_str(), stderr); };
}

void LogFileSink::Configure(bool enabled, std::string path) {
  if (path != path_) complained_ = false;
  enabled_ = enabled;
  path_ = std::move(path);
}

void LogFileSink::WriteLine(const std::string& line) {
  if (!enabled_) return;
  const int rc = fs_.Append(path_, line + "\r\n");
  if (rc == 0 || complained_) return;
  complained_ = true;
  complain_(FormatMessage(kLogFileFailed, {EscapeControls(path_),
                                           rc == EINVAL ? "not an ordinary file" : ErrorText(rc)}));
}

}  // namespace capsel
