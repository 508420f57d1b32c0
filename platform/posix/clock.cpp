#include "platform/clock.h"

#include <sys/time.h>
#include <time.h>

namespace qv::platform {
namespace {

class SystemClock : public Clock {
 public:
  LocalTime Now() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm;
    localtime_r(&ts.tv_sec, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                     tm.tm_min,         tm.tm_sec,     static_cast<int>(ts.tv_nsec / 1000000)};
  }
  int64_t UnixSeconds() override { return static_cast<int64_t>(time(nullptr)); }
  int64_t MonotonicMs() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }
};

}  // namespace

std::unique_ptr<Clock> Clock::Create() { return std::make_unique<SystemClock>(); }

}  // namespace qv::platform
