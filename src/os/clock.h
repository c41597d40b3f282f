#pragma once

#include <cstdint>

namespace capsel {

/// A moment on the local wall clock.
struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

/// Where capsel gets the time from; tests fix it.
class Clock {
 public:
  virtual ~Clock() = default;
  /// The current local date and time.
  virtual LocalTime Local() = 0;
  /// The current time in nanoseconds since the epoch, comparable with file times.
  virtual std::int64_t NowNs() = 0;
  /// Nanoseconds on a clock that only moves forward, whatever is done to the wall clock;
  /// meaningful only as the difference of two readings.
  virtual std::int64_t MonotonicNs() = 0;
};

class SystemClock final : public Clock {
 public:
  LocalTime Local() override;
  std::int64_t NowNs() override;
  std::int64_t MonotonicNs() override;
};

}  // namespace capsel
