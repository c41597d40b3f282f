#pragma once

// The one QApplication that widget tests need, on the offscreen platform, a window on the
// real disk, and a way to run work on a window's scan thread.

#include <QApplication>
#include <QThread>
#include <atomic>
#include <functional>
#include <string>

#include "app/engine.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "testing/fake_tray_icon.h"
#include "testing/recording_prompter.h"
#include "ui/frm_main.h"

namespace capsel {

inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "capsel_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
  }
}

/// The window's control with the object name `name`, its design name.
template <typename T>
T* Control(frmMain& form, const char* name) {
  return form.findChild<T*>(name);
}

/// The window as the program puts it together, on the real file system and clock, with the
/// settings file `folder`/capsel.ini and `timer` as its poll timer; its message boxes are only
/// recorded, and its tray icon is a fake.
struct WindowOnDisk {
  WindowOnDisk(const std::string& folder, Timer& timer)
      : engine({fs, clock, timer, prompter}, {folder + "/capsel.ini", folder}),
        form(engine, tray, prompter) {}
  RealFileSystem fs;
  SystemClock clock;
  RecordingPrompter prompter;
  FakeTrayIcon tray;
  Engine engine;
  frmMain form;
};

/// Runs `work` where the window's scans run and waits for it, keeping the window's event
/// loop turning; then lets the window take the lines logged meanwhile.
inline void RunOnScanThread(frmMain& form, const std::function<void()>& work) {
  std::atomic<bool> done{false};
  form.scans().Post([&] {
    work();
    done.store(true);
  });
  while (!done.load()) {
    QApplication::processEvents();
    QThread::msleep(2);
  }
  QApplication::processEvents();
}

}  // namespace capsel
