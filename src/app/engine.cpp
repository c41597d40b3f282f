#include "app/engine.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "app/messages.h"
#include "convert/scan.h"
#include "version.h"

namespace capsel {

namespace {
constexpr int kPollIntervalMs = 2000;
// The watchdog is told at most this often while a file is read: a clock reading per piece is
// all the hot path pays.
constexpr std::int64_t kWatchdogGapNs = 1000000000;

std::string ClockText(const LocalTime& t) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

// The watch folder as the status line names it.
std::string FolderText(const std::string& in_path) {
  if (in_path.empty()) return ".";
  return in_path.size() > 1 && in_path.back() == '/' ? in_path.substr(0, in_path.size() - 1)
                                                     : in_path;
}
}  // namespace

std::string CaptionText() {
  return std::string(kProductName) + " " + kVersionText + " " + kCopyright;
}

Engine::Engine(Deps deps, SettingsSource source)
    : deps_(deps),
      source_(std::move(source)),
      log_(deps.clock),
      log_file_(deps.fs),
      service_(deps.service ? *deps.service : no_service_) {
  deps_.timer.OnTick([this] { tmrCheck_Timer(); });
}

bool Engine::Startup() {
  // Relative names in the settings refer to the settings' folder from here on. A failure
  // leaves the folder the program was started in, which is all that can be done.
  deps_.fs.SetCurrentDir(source_.program_folder);
  log_.LogMessage(FormatMessage(msg::kInitializing, {kProductName}));
  std::vector<std::string> warnings;
  if (LoadSettings(source_, settings_, log_, deps_.prompter, deps_.fs, &warnings) != 0)
    return false;
  // The log file takes the lines from here on: only the settings name it.
  ConfigureLogFile();
  log_.AddSink(&log_file_);
  LogLines(warnings);
  deps_.timer.SetInterval(kPollIntervalMs);
  deps_.timer.SetEnabled(true);
  log_.LogMessage(msg::kInitialized);
  LogFolderLines();
  metrics_.start_ns = deps_.clock.NowNs();
  WriteMetrics();
  service_.Status(StatusText(FolderText(settings_.InPath), metrics_, "", ""));
  service_.Ready();
  return true;
}

void Engine::LogLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) log_.LogMessage(line);
}

void Engine::LogFolderLines() {
  log_.LogMessage(FormatMessage(msg::kWatchFolder, {settings_.InPath}));
  if (settings_.OutPathXml == kDeleteMarker) {
    log_.LogMessage(msg::kDeleteModeWarning);
  } else if (deps_.fs.SameFile(settings_.InPath.empty() ? "." : settings_.InPath,
                               settings_.OutPathXml.empty() ? "." : settings_.OutPathXml)) {
    // Moving a file onto itself is refused, so such files stay and are tried again and again.
    log_.LogMessage(msg::kSameFolderWarning);
  }
}

void Engine::ReloadIfRequested() {
  if (!reload_requested_.exchange(false)) return;
  service_.Reloading();
  SettingsFileRead read = ReadSettingsFile(source_, deps_.fs);
  if (!read.readable) {
    log_.LogMessage(FormatMessage(msg::kCannotReload, {source_.path}));
    service_.Ready();
    return;
  }
  const std::vector<std::string> warnings =
      ApplySettings(read.ini, source_.program_folder, settings_);
  ConfigureLogFile();
  log_.LogMessage(FormatMessage(msg::kReloaded, {source_.path}));
  LogLines(warnings);
  // The start-up's warning box, as a line: nobody is there to close a box now.
  if (!read.compatible) log_.LogMessage(IncompatibleSettingsText(BaseName(source_.path)));
  LogFolderLines();
  service_.Ready();
}

void Engine::ConfigureLogFile() {
  log_file_.Configure(settings_.UseLogfile, settings_.LogfileName);
}

bool Engine::tmrCheck_Timer() {
  // The watchdog's time moves on during the scan; the scan's own does not.
  const std::int64_t started_ns = last_watchdog_ns_ = deps_.clock.MonotonicNs();
  service_.Watchdog();
  ScanContext context{deps_.fs, deps_.clock,        deps_.timer, settings_, log_,   scan_state_,
                      stop_,    &reload_requested_, abandon_,    this,      &owner_};
  bool complete;
  do {
    ReloadIfRequested();
    complete = DoConvert(context);
  } while (complete && reload_requested_.load() && !(stop_ && stop_->load()));
  AfterScan(deps_.clock.MonotonicNs() - started_ns);
  return complete;
}

void Engine::Alive() {
  const std::int64_t now = deps_.clock.MonotonicNs();
  if (now - last_watchdog_ns_ >= kWatchdogGapNs) {
    last_watchdog_ns_ = now;
    service_.Watchdog();
  }
  if (stop_ && stop_->load()) NotifyStopping();
}

void Engine::Starting(const std::string& file_name) { current_file_ = file_name; }

void Engine::Finished(const FileOutcome& outcome) {
  const std::int64_t now = deps_.clock.NowNs();
  metrics_.Count(outcome, now);
  last_file_ = outcome.input;
  last_time_ = ClockText(deps_.clock.Local());
  if (settings_.ResultsFile.empty()) return;
  const int rc = deps_.fs.Append(settings_.ResultsFile, ResultsLine(outcome, IsoTime(now)) + "\n");
  if (rc != 0 && results_error_.empty())
    results_error_ =
        FormatMessage(msg::kCannotAppendResults, {settings_.ResultsFile, ErrorText(rc)});
}

void Engine::NotifyStopping() {
  if (std::exchange(stopping_told_, true)) return;
  service_.Stopping();
  service_.Status(current_file_.empty()
                      ? msg::kStatusStopping
                      : FormatMessage(msg::kStatusStoppingAfter, {current_file_}));
}

void Engine::AfterScan(std::int64_t duration_ns) {
  current_file_.clear();
  if (!results_error_.empty()) log_.LogMessage(std::exchange(results_error_, {}));
  metrics_.last_scan_ns = deps_.clock.NowNs();
  metrics_.scan_duration_ns = duration_ns;
  metrics_.waiting = scan_state_.waiting;
  WriteMetrics();
  if (!stopping_told_)
    service_.Status(StatusText(FolderText(settings_.InPath), metrics_, last_file_, last_time_));
}

// A metrics file that cannot be written is logged once, and again only after it was written.
// A reader sees the old text or the new one whole; it is not flushed to disk, as the next scan
// writes it again.
void Engine::WriteMetrics() {
  if (settings_.MetricsFile.empty()) return;
  std::unique_ptr<OutputFile> file;
  int rc = deps_.fs.CreateReplacing(settings_.MetricsFile, /*sync=*/false, &file);
  if (rc == 0) rc = file->Write(MetricsText(metrics_, kVersionText));
  if (rc == 0) rc = file->Commit();
  if (rc != 0 && !metrics_failing_)
    log_.LogMessage(
        FormatMessage(msg::kCannotWriteMetrics, {settings_.MetricsFile, ErrorText(rc)}));
  metrics_failing_ = rc != 0;
}

}  // namespace capsel
