#pragma once

#include <string>

#include "app/command_line.h"
#include "settings/settings.h"

namespace capsel {

class Engine;

/// While it lives, SIGHUP asks `engine` to read its settings again (Engine::RequestReload)
/// instead of ending the program; afterwards SIGHUP is ignored. One at a time.
class ReloadOnSighup {
 public:
  explicit ReloadOnSighup(Engine& engine);
  ~ReloadOnSighup();
  ReloadOnSighup(const ReloadOnSighup&) = delete;
  ReloadOnSighup& operator=(const ReloadOnSighup&) = delete;
};

/// The settings file and its folder: FILE from --config, else the executable's name with
/// ".ini" beside it.
SettingsSource ResolveSettingsSource(const std::string& config, const std::string& executable);

/// Runs capsel without a window, on the running QCoreApplication. Activity lines also go to
/// standard output; the start-up's message boxes go to standard error. Returns the exit
/// status: 0, 1 when the settings file was unreadable, 2 when --once saw a failure line.
int RunHeadless(const CommandLine& command_line, const SettingsSource& source);

}  // namespace capsel
