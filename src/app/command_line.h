#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace capsel {

/// What the command line asks for. capsel's own options are taken out first; whatever is
/// left, joined by one blank, is the argument text that "/tray" and "/min" are tested on.
struct CommandLine {
  bool headless = false;
  bool once = false;
  bool help = false;
  bool version = false;
  bool check = false;         // --check: check the settings and exit
  std::string config;         // --config FILE, empty when not given
  std::string argument_text;  // the rest
  std::string error;          // non-empty when the options cannot be used
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

/// True when the argument text, trimmed and lower-cased, is exactly "/tray" or begins
/// with "/min".
bool StartsMinimised(std::string_view argument_text);

/// The text that --help prints.
std::string HelpText();

/// The settings file and its folder: FILE from --config, else the executable's name with
/// ".ini" beside it.
SettingsSource ResolveSettingsSource(const std::string& config, const std::string& executable);

}  // namespace capsel
