#pragma once

#include <atomic>
#include <string>

#include "convert/scan.h"
#include "convert/timer.h"
#include "log/activity_log.h"
#include "log/clock.h"
#include "settings/file_system.h"
#include "settings/settings.h"

namespace capsel {

/// What the window and the headless front end share: the settings record, the activity log,
/// the start-up sequence and the poll timer's work. It knows nothing of widgets.
class Engine {
 public:
  struct Deps {
    FileSystem& fs;
    Clock& clock;
    Timer& timer;  // tmrCheck
    Prompter& prompter;
  };

  Engine(Deps deps, SettingsSource source);

  /// The start-up sequence: enters the settings' folder, logs the first lines, reads the
  /// settings and arms the poll timer. False when the settings file was unreadable; the
  /// program must then end.
  bool Startup();

  /// One tick of the poll timer: one scan of the watch folder.
  void tmrCheck_Timer();

  /// Makes scans stop after the file in progress once `stop` is true.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

  void LogMessage(std::string_view message) { log_.LogMessage(message); }
  ActivityLog& log() { return log_; }
  Settings& settings() { return settings_; }
  Timer& timer() { return deps_.timer; }

 private:
  Deps deps_;
  SettingsSource source_;
  Settings settings_;
  ActivityLog log_;
  ScanState scan_state_;
  const std::atomic<bool>* stop_ = nullptr;
};

/// The window caption: product name, version text and copyright notice.
std::string CaptionText();

}  // namespace capsel
