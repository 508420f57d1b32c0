#include "tools/sim/sim_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace qv::sim {
namespace {

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::tm LocalNow(int* millis) {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  if (millis) {
    *millis = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
  }
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return tm;
}

}  // namespace

void Log(std::string_view component, std::string_view message) {
  int millis = 0;
  std::tm tm = LocalNow(&millis);
  std::lock_guard lock(LogMutex());
  std::printf("%02d:%02d:%02d.%03d [%.*s] %.*s\n", tm.tm_hour, tm.tm_min, tm.tm_sec, millis,
              static_cast<int>(component.size()), component.data(),
              static_cast<int>(message.size()), message.data());
  std::fflush(stdout);
}

void LogBlock(std::string_view text) {
  std::lock_guard lock(LogMutex());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string NowText() {
  std::tm tm = LocalNow(nullptr);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

long long UnixMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace qv::sim
