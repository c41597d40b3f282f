#pragma once

#include <functional>

class QObject;

namespace capsel {

/// The poll timer `tmrCheck`, as the scan drives it. Enabling restarts the countdown; an
/// interval of 0 means the timer never fires.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetInterval(int ms) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  /// The QObject behind the timer, for whoever moves it to another thread (and from then on
  /// calls the timer only there); null for a timer without one.
  virtual QObject* object() { return nullptr; }
  /// What runs on each tick.
  void OnTick(std::function<void()> tick) { tick_ = std::move(tick); }

 protected:
  void Tick() {
    if (tick_) tick_();
  }

 private:
  std::function<void()> tick_;
};

}  // namespace capsel
