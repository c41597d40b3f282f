#include "app/engine.h"

#include "app/messages.h"
#include "convert/scan.h"
#include "version.h"

namespace capsel {

namespace {
constexpr int kPollIntervalMs = 2000;
}

std::string CaptionText() {
  return std::string(kProductName) + " " + kVersionText + " " + kCopyright;
}

Engine::Engine(Deps deps, SettingsSource source)
    : deps_(deps), source_(std::move(source)), log_(deps.clock), log_file_(deps.fs) {
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
  SettingsFileRead read = ReadSettingsFile(source_, deps_.fs);
  if (!read.readable) {
    log_.LogMessage(FormatMessage(msg::kCannotReload, {source_.path}));
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
}

void Engine::ConfigureLogFile() {
  log_file_.Configure(settings_.UseLogfile, settings_.LogfileName);
}

bool Engine::tmrCheck_Timer() {
  ScanContext context{deps_.fs,    deps_.clock, deps_.timer,        settings_, log_,
                      scan_state_, stop_,       &reload_requested_, abandon_,  &owner_};
  bool complete;
  do {
    ReloadIfRequested();
    complete = DoConvert(context);
  } while (complete && reload_requested_.load() && !(stop_ && stop_->load()));
  return complete;
}

}  // namespace capsel
