#pragma once

#include <QTimer>

#include "os/timer.h"

namespace capsel {

/// The poll timer on Qt's event loop.
class QtTimer final : public Timer {
 public:
  QtTimer();
  void SetInterval(int ms) override;
  void SetEnabled(bool enabled) override;
  QObject* object() override { return &timer_; }

 private:
  QTimer timer_;
};

}  // namespace capsel
