// A clock that stands still until the test moves it.
#pragma once

#include "platform/clock.h"

namespace qv::testing {

class FakeClock : public platform::Clock {
 public:
  explicit FakeClock(LocalTime now = {2026, 3, 7, 9, 5, 4}) : now_(now) {}
  LocalTime Now() override { return now_; }
  int64_t UnixSeconds() override { return unix_; }
  int64_t MonotonicMs() override { return monotonicMs_; }

  void Set(LocalTime now) { now_ = now; }
  void SetUnix(int64_t seconds) { unix_ = seconds; }
  void AdvanceMs(int64_t ms) { monotonicMs_ += ms; }

 private:
  LocalTime now_;
  int64_t unix_ = 1700000000;
  int64_t monotonicMs_ = 0;
};

}  // namespace qv::testing
