// modMain: the entry routine. It picks the front end (window or headless) before any Qt
// application object exists, since a QApplication cannot start without a display.

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/version.h"
#include "ui/frm_main.h"

namespace {

bool DisplayAvailable() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  capsel::CommandLine cl = capsel::ParseCommandLine(args);
  if (!cl.error.empty()) {
    std::fprintf(stderr, "capsel: %s\nTry 'capsel --help'.\n", cl.error.c_str());
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

  if (cl.headless || cl.once || !DisplayAvailable()) {
    if (!cl.headless && !cl.once)
      std::fputs("capsel: no display found, running headless\n", stderr);
    QCoreApplication app(argc, argv);
    auto source = capsel::ResolveSettingsSource(
        cl.config, QCoreApplication::applicationFilePath().toStdString());
    return capsel::RunHeadless(cl, source);
  }

  QApplication app(argc, argv);
  // The window ends the program itself; hiding it in the tray or closing a message box
  // while it is hidden must not.
  app.setQuitOnLastWindowClosed(false);
  auto source = capsel::ResolveSettingsSource(
      cl.config, QCoreApplication::applicationFilePath().toStdString());
  capsel::frmMain form(source);
  capsel::ReloadOnSighup reload_on_sighup(form.engine());
  if (!form.Form_Load()) return 1;
  form.show();
  if (capsel::StartsMinimised(cl.argument_text)) form.showMinimized();
  return app.exec();
}
