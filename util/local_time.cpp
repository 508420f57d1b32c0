#include "util/local_time.h"

#include <cstdio>

namespace qv {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar; eras of
// 400 years, years starting in March so that the leap day comes last).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, LocalTime& t) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
}

}  // namespace

int64_t SecondsSinceEpoch(const LocalTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 +
         t.second;
}

LocalTime AddSeconds(const LocalTime& t, int64_t seconds) {
  const int64_t total = SecondsSinceEpoch(t) + seconds;
  const int64_t days =
      total >= 0 ? total / kSecondsPerDay : (total - kSecondsPerDay + 1) / kSecondsPerDay;
  const int64_t rest = total - days * kSecondsPerDay;
  LocalTime out = t;
  CivilFromDays(days, out);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

std::string DateTimeText(const LocalTime& t) {
  std::string out =
      std::to_string(t.year) + "年" + std::to_string(t.month) + "月" + std::to_string(t.day) + "日";
  if (t.second != 0) {
    out += std::to_string(t.hour) + "时" + std::to_string(t.minute) + "分" +
           std::to_string(t.second) + "秒";
  } else if (t.minute != 0) {
    out += std::to_string(t.hour) + "时" + std::to_string(t.minute) + "分";
  } else if (t.hour != 0) {
    out += std::to_string(t.hour) + "时";
  }
  return out;
}

std::string LogStamp(const LocalTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d_%d_%d_%02d_%02d_%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buffer;
}

std::string DebugStamp(const LocalTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "[%02d:%02d:%02d]", t.hour, t.minute, t.second);
  return std::string(buffer) + "：";
}

}  // namespace qv
