#pragma once

#include <QTimer>

#include "os/timer.h"

namespace capsel {

/// The poll timer on Qt's event loop.
class QtTimer final : public Timer {
 public:
  QtTimer();
  void SetInterval(int ms) override;
  int Interval() const override { return timer_.interval(); }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return timer_.isActive(); }
  QObject* object() override { return &timer_; }

 private:
  QTimer timer_;
};

}  // namespace capsel
