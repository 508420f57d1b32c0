// Wall-clock time. Everything that stamps or formats a time takes a Clock so that tests can
// set the time (year boundaries, two events in the same second).
#pragma once

#include <cstdint>
#include <memory>

#include "util/local_time.h"

namespace qv::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Local date and time now.
  virtual LocalTime Now() = 0;
  // Seconds since 1970-01-01 00:00:00 UTC now.
  virtual int64_t UnixSeconds() = 0;
  // Milliseconds from an arbitrary fixed point; never goes backwards.
  virtual int64_t MonotonicMs() = 0;
  static std::unique_ptr<Clock> Create();
};

}  // namespace qv::platform
