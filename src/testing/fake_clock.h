#pragma once

#include "os/clock.h"

namespace capsel {

/// A clock that shows what the test sets.
class FakeClock final : public Clock {
 public:
  LocalTime local;
  std::int64_t now_ns = 0;
  std::int64_t monotonic_ns = 0;
  LocalTime Local() override { return local; }
  std::int64_t NowNs() override { return now_ns; }
  std::int64_t MonotonicNs() override { return monotonic_ns; }
};

}  // namespace capsel
