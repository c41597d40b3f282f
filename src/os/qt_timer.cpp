#include "os/qt_timer.h"

namespace capsel {

QtTimer::QtTimer() {
  // A coarse timer is plenty for a two-second poll and lets the system batch wake-ups.
  timer_.setTimerType(Qt::CoarseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

void QtTimer::SetInterval(int ms) {
  bool was_active = timer_.isActive();
  timer_.setInterval(ms);
  // QTimer would fire at once with 0; here 0 means the timer never fires.
  if (ms <= 0)
    timer_.stop();
  else if (was_active)
    timer_.start();
}

void QtTimer::SetEnabled(bool enabled) {
  if (enabled && timer_.interval() > 0) {
    timer_.start();  // restarts the countdown
  } else if (!enabled) {
    timer_.stop();
  }
}

}  // namespace capsel
