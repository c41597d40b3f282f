#include "os/qt_timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "testing/qt_application.h"

namespace capsel {
namespace {

// The real timer on Qt's event loop: it ticks when enabled, and not once disabled or with
// an interval of 0.
TEST(QtTimer, TicksOnlyWhileEnabledWithAnInterval) {
  EnsureApplication();
  struct Case {
    int interval_ms;
    bool disabled_again;
    bool ticks;
  };
  for (const Case& c : {Case{5, false, true}, Case{5, true, false}, Case{0, false, false}}) {
    QtTimer timer;
    int ticks = 0;
    timer.OnTick([&ticks] { ++ticks; });
    timer.SetInterval(c.interval_ms);
    timer.SetEnabled(true);
    if (c.disabled_again) timer.SetEnabled(false);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 100 && ticks == 0) QCoreApplication::processEvents();
    EXPECT_EQ(ticks > 0, c.ticks) << c.interval_ms << " ms, disabled again " << c.disabled_again;
  }
}

}  // namespace
}  // namespace capsel
