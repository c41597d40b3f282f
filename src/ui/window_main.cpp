// The window half of modMain (src/app/main.cpp), and the entry point of the window module:
// it makes the real services, the engine, the tray icon and the window, and runs them.

#include <QApplication>
#include <array>

#include "app/command_line.h"
#include "app/engine.h"
#include "app/headless.h"
#include "app/window_module.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "os/qt_timer.h"
#include "ui/frm_main.h"
#include "ui/tray.h"
#include "version.h"

namespace {
// The module's own copy of its version. capsel::kVersionText itself is an inline variable,
// which the loader binds to the executable's copy, so it would always agree with capsel's.
constexpr auto kModuleVersion = std::to_array(capsel::kVersionText);
}  // namespace

extern "C" const char* capsel_window_version() { return kModuleVersion.data(); }

extern "C" int capsel_run_window(const capsel::CommandLine& cl, int& argc, char** argv) {
  QApplication app(argc, argv);
  // The window ends the program itself; hiding it in the tray or closing a message box
  // while it is hidden must not.
  app.setQuitOnLastWindowClosed(false);
  capsel::RealFileSystem fs;
  capsel::SystemClock clock;
  capsel::QtTimer timer;
  capsel::MessageBoxPrompter prompter;
  capsel::Engine engine({fs, clock, timer, prompter},
                        capsel::ResolveSettingsSource(
                            cl.config, QCoreApplication::applicationFilePath().toStdString()));
  capsel::QtTrayIcon tray;
  capsel::frmMain form(engine, tray, prompter);
  QObject::connect(&form, &capsel::frmMain::Ended, [] { QCoreApplication::exit(0); });
  capsel::ReloadOnSighup reload_on_sighup(engine);
  if (!form.Form_Load()) return 1;
  form.show();
  if (capsel::StartsMinimised(cl.argument_text)) form.showMinimized();
  return app.exec();
}
