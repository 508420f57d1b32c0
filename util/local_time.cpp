#include "util/local_time.h"

#include <cstdio>

namespace qv {

std::string DateTimeText(const LocalTime& t) {
  std::string out = std::to_string(t.year) + "年" + std::to_string(t.month) + "月" +
                    std::to_string(t.day) + "日";
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
