// modMain: the entry routine, and the one place where capsel is put together. It picks the
// front end (window or headless) before any Qt application object exists, since a
// QApplication cannot start without a display; then it makes the real services and the
// engine and hands them to that front end.

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/engine.h"
#include "app/headless.h"
#include "app/messages.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "os/qt_timer.h"
#include "ui/frm_main.h"
#include "ui/tray.h"
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
  capsel::Engine engine({fs, clock, timer, prompter}, SettingsSourceFor(cl));
  return capsel::RunHeadless(cl, engine);
}

int RunWithWindow(const capsel::CommandLine& cl, int& argc, char** argv) {
  QApplication app(argc, argv);
  // The window ends the program itself; hiding it in the tray or closing a message box
  // while it is hidden must not.
  app.setQuitOnLastWindowClosed(false);
  capsel::RealFileSystem fs;
  capsel::SystemClock clock;
  capsel::QtTimer timer;
  capsel::MessageBoxPrompter prompter;
  capsel::Engine engine({fs, clock, timer, prompter}, SettingsSourceFor(cl));
  capsel::QtTrayIcon tray;
  capsel::frmMain form(engine, tray, prompter);
  QObject::connect(&form, &capsel::frmMain::Ended, [] { QCoreApplication::exit(0); });
  capsel::ReloadOnSighup reload_on_sighup(engine);
  if (!form.Form_Load()) return 1;
  form.show();
  if (capsel::StartsMinimised(cl.argument_text)) form.showMinimized();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
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

  if (cl.headless || cl.once) return RunWithoutWindow(cl, argc, argv);
  if (!DisplayAvailable()) {
    std::fputs(capsel::msg::kNoDisplay, stderr);
    return RunWithoutWindow(cl, argc, argv);
  }
  return RunWithWindow(cl, argc, argv);
}
