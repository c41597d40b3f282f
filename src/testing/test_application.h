#pragma once

// The window's controls by name, and a way to run work on a window's scan thread; the
// application object is in qt_application.h.

#include <QApplication>
#include <QThread>
#include <atomic>
#include <functional>
#include <string>

#include "testing/qt_application.h"
#include "ui/frm_main.h"

namespace capsel {

/// The window's control with the object name `name`, its design name.
template <typename T>
T* Control(frmMain& form, const char* name) {
  return form.findChild<T*>(name);
}

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
