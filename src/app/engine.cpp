#include "app/engine.h"

#include "app/version.h"
#include "convert/scan.h"

namespace capsel {

namespace {
constexpr int kPollIntervalMs = 2000;
}

std::string CaptionText() {
  return std::string(kProductName) + " " + kVersionText + " " + kCopyright;
}

Engine::Engine(Deps deps, SettingsSource source)
    : deps_(deps), source_(std::move(source)), log_(deps.clock, deps.fs, settings_) {
  deps_.timer.OnTick([this] { tmrCheck_Timer(); });
}

bool Engine::Startup() {
  // Relative names in the settings refer to the settings' folder from here on. A failure
  // leaves the folder the program was started in, which is all that can be done.
  deps_.fs.SetCurrentDir(source_.program_folder);
  log_.LogMessage(std::string("Initializing ") + kProductName + "...");
  if (LoadSettings(source_, settings_, log_, deps_.prompter, deps_.fs) != 0) return false;
  deps_.timer.SetInterval(kPollIntervalMs);
  deps_.timer.SetEnabled(true);
  log_.LogMessage("capsel initialized");
  log_.LogMessage("Watchfolder for incoming XML EBU-TT files is: " + settings_.InPath + ".");
  if (settings_.OutPathXml == kDeleteMarker) {
    log_.LogMessage(
        "WARNING: capsel is configured to DELETE input XML EBU-TT files after processing, "
        "instead of moving them to another folder!");
  }
  return true;
}

void Engine::tmrCheck_Timer() {
  ScanContext context{deps_.fs, deps_.clock, deps_.timer, settings_, log_, scan_state_, stop_};
  DoConvert(context);
}

}  // namespace capsel
