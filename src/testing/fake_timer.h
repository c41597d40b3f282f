#pragma once

#include <algorithm>

#include "os/timer.h"

namespace capsel {

/// A timer for tests: time moves only when the test says so.
class FakeTimer final : public Timer {
 public:
  void SetInterval(int ms) override { interval_ = ms; }
  int Interval() const { return interval_; }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    if (enabled) elapsed_ = 0;
  }
  bool Enabled() const { return enabled_; }
  /// Lets `ms` milliseconds pass, firing whenever a full interval has elapsed while enabled.
  /// Returns the number of ticks.
  int Advance(int ms) {
    int ticks = 0;
    while (ms > 0) {
      if (!enabled_ || interval_ <= 0) return ticks;
      int step = std::min(ms, interval_ - elapsed_);
      elapsed_ += step;
      ms -= step;
      if (elapsed_ == interval_) {
        elapsed_ = 0;
        ++ticks;
        Tick();
      }
    }
    return ticks;
  }
  /// Milliseconds of the current countdown that have passed.
  int elapsed() const { return elapsed_; }

 private:
  int interval_ = 0;
  int elapsed_ = 0;
  bool enabled_ = false;
};

}  // namespace capsel
