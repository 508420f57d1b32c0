// A broken-down local date and time, as the clock of the platform reports it.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Seconds from 1970-01-01 00:00:00 to `t`, both read on the same clock (proleptic Gregorian
// calendar, no leap seconds); milliseconds are left out.
int64_t SecondsSinceEpoch(const LocalTime& t);

// The wall-clock time `seconds` after `t` (before it when negative), carried through minutes,
// hours, days, months and years; the milliseconds are kept.
LocalTime AddSeconds(const LocalTime& t, int64_t seconds);

// "2026年3月7日9时5分4秒" with the trailing zero parts dropped ("2026年3月7日" at midnight)
// and numbers without leading zeros.
std::string DateTimeText(const LocalTime& t);

// The run-log stamp "2026_3_7_09_05_04": year, month and day without leading zeros, the
// time with two digits each.
std::string LogStamp(const LocalTime& t);

// "[09:05:04]：" (the last character is the full-width colon), the debug-view line prefix.
std::string DebugStamp(const LocalTime& t);

}  // namespace qv
