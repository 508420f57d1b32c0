#include "platform/clock.h"

#include <windows.h>

namespace qv::platform {
namespace {

class SystemClock : public Clock {
 public:
  LocalTime Now() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                     st.wMilliseconds};
  }
  int64_t UnixSeconds() override {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
  }
  int64_t MonotonicMs() override { return static_cast<int64_t>(GetTickCount64()); }
};

}  // namespace

std::unique_ptr<Clock> Clock::Create() { return std::make_unique<SystemClock>(); }

}  // namespace qv::platform
