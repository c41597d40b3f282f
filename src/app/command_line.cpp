#include "app/command_line.h"

#include <filesystem>

#include "app/messages.h"
#include "version.h"

namespace capsel {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--headless") {
      cl.headless = true;
    } else if (a == "--once") {
      cl.once = true;
    } else if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "--check") {
      cl.check = true;
    } else if (a == "--config") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        cl.error = msg::kConfigNeedsPath;
      } else {
        cl.config = args[++i];
      }
    } else if (a.starts_with("--config=")) {
      cl.config = a.substr(9);
      if (cl.config.empty()) cl.error = msg::kConfigNeedsPath;
    } else {
      rest.push_back(a);
    }
  }
  for (size_t i = 0; i < rest.size(); ++i) {
    if (i) cl.argument_text += ' ';
    cl.argument_text += rest[i];
  }
  return cl;
}

bool StartsMinimised(std::string_view text) {
  const char* kBlanks = " \t";
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower == "/tray" || lower.starts_with("/min");
}

std::string HelpText() {
  return std::string("Usage: ") + kProductName +
         " [OPTION]... [/tray | /min]\n"
         "Watches a folder for EBU-TT subtitle files (*.xml), converts each into a SubRip\n"
         "(.srt) file and moves the input to a second folder, or deletes it.\n"
         "\n"
         "Options:\n"
         "  --check        read the settings as the start-up does, print the values in force\n"
         "                 and check the folders and files they name, then exit. Exit\n"
         "                 status: 0 all is well, 1 the settings file could not be read, 3 a\n"
         "                 check failed (each problem is a line on standard error)\n"
         "  --config FILE  read the settings from FILE instead of the .ini file beside the\n"
         "                 executable; relative folders in it refer to FILE's folder\n"
         "  --headless     run without a window; activity lines also go to standard output\n"
         "  --once         start, scan the watch folder once, convert what is there and exit\n"
         "                 (implies --headless). Exit status: 0 all went well, 1 the settings\n"
         "                 file could not be read, 2 at least one failure was logged (a\n"
         "                 missing watch folder is one), 3 stopped by SIGTERM or SIGINT\n"
         "                 before every file was done\n"
         "  --help         show this help and exit\n"
         "  --version      show the version and exit\n"
         "  /tray, /min    start minimised, in the system tray\n"
         "\n"
         "Without a display capsel runs headless.\n";
}

SettingsSource ResolveSettingsSource(const std::string& config, const std::string& executable) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!config.empty()) {
    fs::path path = fs::absolute(config, ec);
    if (ec) path = config;
    path = path.lexically_normal();
    return {path.string(), path.parent_path().string()};
  }
  fs::path exe = fs::path(executable).lexically_normal();
  std::string folder = exe.parent_path().string();
  return {folder + "/" + exe.stem().string() + ".ini", folder};
}

}  // namespace capsel
