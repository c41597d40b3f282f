#pragma once

// The one application object the tests share, whichever test needs it first: a QApplication
// (widget tests need one) on the offscreen platform.

#include <QApplication>

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

}  // namespace capsel
