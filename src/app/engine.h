#pragma once

// Threading contract. An Engine is made, started (Startup) and destroyed on its owner's
// thread. Its scans run on the thread whose event loop hosts the poll timer: without a
// window that is the main thread itself; with the window it is a ScanThread, started right
// after Startup, with the timer moved onto it. From then on only the scan thread calls
// tmrCheck_Timer, LogMessage and the timer, and only it reads or reloads the settings
// record; the log file and every log sink are written there. Other threads reach the engine
// through three doors only: work handed to ScanThread::Post, which runs between two scans;
// the stop flag, an atomic that a scan reads between two files; and RequestReload, an atomic
// too. Startup's message boxes come before the scan thread starts, so they still show on the
// owner's thread.

#include <atomic>
#include <string>
#include <vector>

#include "app/service_report.h"
#include "convert/scan.h"
#include "log/activity_log.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "os/service_manager.h"
#include "os/timer.h"
#include "settings/settings.h"

namespace capsel {

/// What the window and the headless front end share: the settings record, the activity log,
/// the start-up sequence and the poll timer's work, and what a service manager and the
/// programs that watch the service are told. It knows nothing of widgets.
class Engine : private ConvertObserver {
 public:
  struct Deps {
    FileSystem& fs;
    Clock& clock;
    Timer& timer;  // tmrCheck
    Prompter& prompter;
    ServiceManager* service = nullptr;  // none: nobody is told
  };

  Engine(Deps deps, SettingsSource source);

  /// The start-up sequence: enters the settings' folder, logs the first lines, reads the
  /// settings and arms the poll timer. False when the settings file was unreadable; the
  /// program must then end.
  bool Startup();

  /// One tick of the poll timer: a reload when one was asked for, then one scan of the watch
  /// folder. A scan that a reload request cut short is followed at once by a scan with the
  /// new settings. False when a stop left listed files for later.
  bool tmrCheck_Timer();

  /// Makes scans stop after the file in progress once `stop` is true, and give up the file
  /// in progress at once when `abandon` is (either may be null).
  void SetStopFlags(const std::atomic<bool>* stop, const std::atomic<bool>* abandon = nullptr) {
    stop_ = stop;
    abandon_ = abandon;
  }

  /// Asks for the settings file to be read again. Thread-safe and async-signal-safe (one
  /// lock-free atomic store), so a signal handler or the window may call it at any time. The
  /// reload itself runs on the thread that runs the scans (tmrCheck_Timer), never while a
  /// file is in progress: before the next scan, or between two files of a running scan,
  /// which then ends early. The whole file is read and checked first; only then are the
  /// fields that come from it filled, in a step that cannot fail, so no scan ever sees a
  /// half-updated record. Other threads must not read the record while scans run elsewhere
  /// (the window keeps its own field, `InTray`, apart). A file that cannot be read now leaves
  /// the previous settings in force. No message box is shown.
  void RequestReload() { reload_requested_.store(true); }

  ActivityLog& log() { return log_; }
  Timer& timer() { return deps_.timer; }

  /// Tells the service manager that capsel is ending, with the file in progress, once. The
  /// scan does so itself when it sees the stop flag; the front end calls it for a stop
  /// between two scans.
  void NotifyStopping();

 private:
  // The conversion's progress, on the thread that converts.
  void Alive() override;
  void Starting(const std::string& file_name) override;
  void Finished(const FileOutcome& outcome) override;
  /// After the scans of a tick: the results file's failure, the metrics and the status.
  void AfterScan(std::int64_t duration_ns);
  void WriteMetrics();
  void ReloadIfRequested();
  /// Points the log file where the settings say.
  void ConfigureLogFile();
  /// The start-up lines that name the folders, logged again after a reload.
  void LogFolderLines();
  /// Logs each of `lines` (the warnings of the settings), in order.
  void LogLines(const std::vector<std::string>& lines);

  Deps deps_;
  SettingsSource source_;
  Settings settings_;
  ActivityLog log_;
  LogFileSink log_file_;
  ScanState scan_state_;
  ClaimOwner owner_{ProcessOwner(), ProcessRuns};
  const std::atomic<bool>* stop_ = nullptr;
  const std::atomic<bool>* abandon_ = nullptr;
  std::atomic<bool> reload_requested_{false};
  // What the service manager and the metrics are told.
  NoServiceManager no_service_;
  ServiceManager& service_;
  Metrics metrics_;
  std::string current_file_;  // the file in progress
  std::string last_file_, last_time_;
  std::string results_error_;  // the line for the results file's first failure in a scan
  bool metrics_failing_ = false;
  bool stopping_told_ = false;
  std::int64_t last_watchdog_ns_ = 0;
  static_assert(std::atomic<bool>::is_always_lock_free);
};

/// The window caption: product name, version text and copyright notice.
std::string CaptionText();

}  // namespace capsel
