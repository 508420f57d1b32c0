#include "core/config/run_log.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "util/utf8.h"

namespace qv {
namespace {

constexpr uint64_t kClusterBytes = 4096;
constexpr int64_t kSecondsPerDay = 86400;
// Entries older than the age limit are looked for at most once an hour, so that writing an
// entry does not mean listing the folder.
constexpr int64_t kAgeCheckEveryMs = 60 * 60 * 1000;

// What a file of `size` bytes takes on disk: whole clusters, at least one.
uint64_t DiskBytes(uint64_t size) {
  return std::max<uint64_t>(1, (size + kClusterBytes - 1) / kClusterBytes) * kClusterBytes;
}

// A number of the stamp: up to four decimal digits (the exact form is checked afterwards).
std::optional<int> StampField(std::string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The second a log file was written in, read from its name "<prefix>2026_3_7_09_05_04.log";
// nothing for a name the run log does not make, so that no other file is ever removed.
std::optional<int64_t> StampSecondsOf(std::string_view name) {
  constexpr std::string_view kExtension = ".log";
  if (!name.ends_with(kExtension)) return std::nullopt;
  const std::string_view stamped = name.substr(0, name.size() - kExtension.size());
  // From the end: second, minute, hour, day and month after a "_" each, then the year.
  std::string_view rest = stamped;
  int fields[5];
  for (int i = 4; i >= 0; --i) {
    const size_t sep = rest.rfind('_');
    if (sep == std::string_view::npos) return std::nullopt;
    const std::optional<int> value = StampField(rest.substr(sep + 1));
    if (!value) return std::nullopt;
    fields[i] = *value;
    rest = rest.substr(0, sep);
  }
  if (rest.size() < 4) return std::nullopt;
  const std::optional<int> year = StampField(rest.substr(rest.size() - 4));
  if (!year) return std::nullopt;
  const LocalTime t{*year, fields[0], fields[1], fields[2], fields[3], fields[4]};
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 59) {
    return std::nullopt;
  }
  // Leading zeros and digit counts exactly as the log writes them.
  if (stamped.substr(rest.size() - 4) != LogStamp(t)) return std::nullopt;
  return SecondsSinceEpoch(t);
}

struct LogFile {
  int64_t stampSeconds;
  std::string name;
  uint64_t diskBytes;
};

std::vector<LogFile> ListLogFiles(const std::string& directory) {
  std::vector<LogFile> files;
  for (platform::FileEntry& entry : platform::ListFiles(directory)) {
    if (const std::optional<int64_t> stamp = StampSecondsOf(entry.name)) {
      files.push_back({*stamp, std::move(entry.name), DiskBytes(entry.size)});
    }
  }
  std::sort(files.begin(), files.end(), [](const LogFile& a, const LogFile& b) {
    return a.stampSeconds != b.stampSeconds ? a.stampSeconds < b.stampSeconds : a.name < b.name;
  });
  return files;
}

}  // namespace

std::string CapLogMessage(const std::string& message, size_t limit) {
  if (message.size() <= limit) return message;
  // Whole characters only: the entry is converted to GBK, where half a character would
  // garble what follows it.
  const char* const begin = message.data();
  const char* const end = begin + message.size();
  size_t kept = 0;
  while (kept < limit) {
    const size_t step = StepUtf8(begin + kept, end).length;
    if (kept + step > limit) break;
    kept += step;
  }
  return message.substr(0, kept) + "…（共 " + std::to_string(message.size()) + " 字节）";
}

RunLog::RunLog(std::string logDirectory, platform::Clock& clock, RunLogLimits limits)
    : directory_(std::move(logDirectory)), clock_(clock), limits_(limits) {}

void RunLog::WriteAlarm(const std::string& message) {
  std::fprintf(stderr, "quorvel-print: %s\n", message.c_str());
  std::fflush(stderr);
  WriteRunLog(message);
}

void RunLog::WriteRunLog(const std::string& message, const std::string& prefix) {
  const LocalTime now = clock_.Now();
  const std::string stamp = LogStamp(now);
  const std::string path = platform::JoinPath(directory_, prefix + stamp + ".log");
  const std::string entry =
      FromUtf8(stamp + "日志：\r\n" + CapLogMessage(message, limits_.messageBytes));

  const std::lock_guard<std::mutex> lock(mutex_);
  const int64_t nowMs = clock_.MonotonicMs();
  if (!scanned_ || nowMs >= nextAgeCheckMs_) {
    Prune(now, limits_.folderBytes);
    scanned_ = true;
    nextAgeCheckMs_ = nowMs + kAgeCheckEveryMs;
  }
  // Two failures in the same second share a file name; appending keeps both, where
  // replacing would silently lose the first.
  const bool append = platform::FileExists(path);
  const uint64_t cost = append ? entry.size() + 2 : DiskBytes(entry.size());
  // A full folder is thinned to three quarters, so that the next listing is due only after
  // many more entries.
  if (folderBytes_ + cost > limits_.folderBytes) Prune(now, limits_.folderBytes / 4 * 3);
  const bool written =
      append ? platform::AppendFile(path, "\r\n" + entry) : platform::WriteFile(path, entry);
  if (written) folderBytes_ += cost;
}

// Removes the log files past the age limit and, oldest first, those that keep the folder
// above `targetBytes`; recounts what is left.
void RunLog::Prune(const LocalTime& now, uint64_t targetBytes) {
  const int64_t oldestKept = SecondsSinceEpoch(now) - limits_.maxAgeDays * kSecondsPerDay;
  const std::vector<LogFile> files = ListLogFiles(directory_);
  uint64_t total = 0;
  for (const LogFile& f : files) total += f.diskBytes;
  for (const LogFile& f : files) {
    if (f.stampSeconds >= oldestKept && total <= targetBytes) break;
    if (platform::RemoveFile(platform::JoinPath(directory_, f.name))) total -= f.diskBytes;
  }
  folderBytes_ = total;
}

void DebugLog::DebugLine(const std::string& message) {
  if (!enabled_ || view_ == nullptr) return;
  view_->AppendDebugText(DebugStamp(clock_.Now()) +
                         CapLogMessage(message, RunLogLimits{}.messageBytes) + "\r\n");
}

}  // namespace qv
