#pragma once

#include <functional>
#include <string>
#include <vector>

#include "log/activity_log.h"

namespace capsel {

/// Keeps every line logged, time stamp and all; most tests compare only the messages.
class MemoryLog final : public LogSink {
 public:
  void WriteLine(const std::string& line) override {
    lines.push_back(line);
    if (on_line) on_line(MessageOf(line));
  }
  /// The lines without their time stamps.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const std::string& line : lines) messages.push_back(MessageOf(line));
    return messages;
  }
  /// A line without its time stamp "dd.mm.yyyy HH:MM:SS  ".
  static std::string MessageOf(const std::string& line) { return line.substr(21); }

  std::vector<std::string> lines;
  /// Runs with each message once it is kept: lets a test act in the middle of a scan.
  std::function<void(const std::string&)> on_line;
};

}  // namespace capsel
