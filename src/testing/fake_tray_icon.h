#pragma once

#include "ui/tray.h"

namespace capsel {

/// A tray for tests: it records what the window asked of it.
class FakeTrayIcon final : public TrayIcon {
 public:
  bool available = true;
  bool shown = false;
  QString tip;
  int shows = 0;
  bool Available() const override { return available; }
  void Show(const QIcon&, const QString& t) override {
    shown = true;
    tip = t;
    ++shows;
  }
  void SetTip(const QString& t) override { tip = t; }
  void Remove() override { shown = false; }
  void SetMenu(QMenu*) override {}
  void Click(Click click) { Clicked(click); }
};

}  // namespace capsel
