// modMain: the entry routine, and the one place where capsel is put together. It picks the
// front end (window or headless) before any Qt application object exists, since a
// QApplication cannot start without a display; then it makes the real services and the
// engine and hands them to that front end. The window's half lives in the window module
// (src/ui/window_main.cpp), loaded only when a window is wanted.

#include <dlfcn.h>

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/command_line.h"
#include "app/engine.h"
#include "app/headless.h"
#include "app/messages.h"
#include "app/settings_check.h"
#include "app/window_module.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "os/qt_timer.h"
#include "os/service_manager.h"
#include "version.h"

namespace {

bool DisplayAvailable() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

capsel::SettingsSource SettingsSourceFor(const capsel::CommandLine& cl) {
  return capsel::ResolveSettingsSource(cl.config,
                                       QCoreApplication::applicationFilePath().toStdString());
}

int RunWithoutWindow(const capsel::CommandLine& cl, int& argc, char** argv) {
  QCoreApplication app(argc, argv);
  capsel::RealFileSystem fs;
  capsel::SystemClock clock;
  capsel::QtTimer timer;
  capsel::StderrPrompter prompter;
  capsel::SystemdServiceManager service;
  capsel::Engine engine({fs, clock, timer, prompter, &service}, SettingsSourceFor(cl));
  return capsel::RunHeadless(cl, engine);
}

// Beside the executable first (a build folder), else where the installation puts it: the
// first that exists is the one to load.
std::string WindowModulePath() {
  std::error_code error;
  std::filesystem::path beside =
      std::filesystem::read_symlink("/proc/self/exe", error).parent_path() /
      capsel::kWindowModuleFile;
  if (!error && std::filesystem::exists(beside, error)) return beside.string();
  return std::string(CAPSEL_WINDOW_MODULE_DIR "/") + capsel::kWindowModuleFile;
}

// A module of another version may find every name it needs in this executable and still
// misread what they stand for (a changed class layout, a changed meaning): the line that
// refuses it, or "" for a module of this very version.
std::string RefusalOf(void* module, const std::string& path) {
  void* symbol = ::dlsym(module, capsel::kWindowVersionPoint);
  const char* version =
      symbol != nullptr ? reinterpret_cast<decltype(&capsel_window_version)>(symbol)() : nullptr;
  if (version == nullptr) {
    return capsel::FormatMessage(capsel::msg::kUnversionedWindowModule,
                                 {path, capsel::kVersionText});
  }
  if (std::strcmp(version, capsel::kVersionText) == 0) return "";
  return capsel::FormatMessage(capsel::msg::kWindowModuleVersion,
                               {path, version, capsel::kVersionText});
}

int RunWithWindow(const capsel::CommandLine& cl, int& argc, char** argv) {
  const std::string path = WindowModulePath();
  // RTLD_NOW: a module that does not fit this executable fails here, where capsel can still
  // run headless, not at its first call of a missing function. It stays loaded, even when
  // refused: Qt's Gui and Widgets leave handlers behind that run at exit.
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  void* entry = module != nullptr ? ::dlsym(module, capsel::kWindowEntryPoint) : nullptr;
  if (entry == nullptr) {
    const char* reason = ::dlerror();
    std::fputs(capsel::FormatMessage(capsel::msg::kNoWindowModule,
                                     {path, reason != nullptr ? reason : "no entry point"})
                   .c_str(),
               stderr);
    return RunWithoutWindow(cl, argc, argv);
  }
  if (const std::string refusal = RefusalOf(module, path); !refusal.empty()) {
    std::fputs(refusal.c_str(), stderr);
    return RunWithoutWindow(cl, argc, argv);
  }
  return reinterpret_cast<decltype(&capsel_run_window)>(entry)(cl, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // A standard output or log reader that has gone must not end capsel: a write then fails
  // with EPIPE, which the sinks handle.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  capsel::CommandLine cl = capsel::ParseCommandLine(args);
  if (!cl.error.empty()) {
    std::fputs(capsel::FormatMessage(capsel::msg::kUnusableCommandLine, {cl.error}).c_str(),
               stderr);
    return 64;
  }
  if (cl.help) {
    std::fputs(capsel::HelpText().c_str(), stdout);
    return 0;
  }
  if (cl.version) {
    std::printf("%s %s\n", capsel::kProductName, capsel::kVersionText);
    return 0;
  }

  if (cl.check) {
    QCoreApplication app(argc, argv);
    capsel::RealFileSystem fs;
    return capsel::CheckSettings(SettingsSourceFor(cl), fs, stdout, stderr);
  }
  if (cl.headless || cl.once) return RunWithoutWindow(cl, argc, argv);
  if (!DisplayAvailable()) {
    std::fputs(capsel::msg::kNoDisplay, stderr);
    return RunWithoutWindow(cl, argc, argv);
  }
  return RunWithWindow(cl, argc, argv);
}
