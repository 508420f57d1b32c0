// The run log: one small GBK text file per entry in the log directory, and the debug view's
// time-stamped progress lines.
// Thread contract: RunLog may be written from any thread (its folder accounting is behind a
// mutex); the program writes it from the UI thread so that entries keep one order, and lane
// jobs hand their lines over (JobLog). DebugLog and its view are the UI thread's only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/clock.h"

namespace qv {

// How much the run log may hold. Entries quote texts from outside (a cloud answer's line, a
// transport's reason); a hostile or broken cloud must not be able to fill the shop's disk
// through them.
struct RunLogLimits {
  // Longest message one entry keeps, in UTF-8 bytes; the rest is replaced by a note of the
  // full length. Far above anything the program composes itself.
  size_t messageBytes = 16 * 1024;
  // Upper bound of the log files together. Each file counts at least one 4 KiB cluster,
  // which is what a small file takes on disk, so this also bounds their number.
  uint64_t folderBytes = 64ull * 1024 * 1024;
  // Entries older than this many days are removed.
  int maxAgeDays = 30;
};

// `message` cut to at most `limit` bytes on a UTF-8 character boundary, followed by
// "…（共 N 字节）" with its full length when anything was cut; unchanged otherwise.
std::string CapLogMessage(const std::string& message, size_t limit);

class RunLog {
 public:
  // `logDirectory` is copied. The clock must outlive the log.
  RunLog(std::string logDirectory, platform::Clock& clock, RunLogLimits limits = {});

  // Writes an entry to logDirectory/<prefix><stamp>.log with the content
  // <stamp>日志：\r\n<message> in GBK, the message capped as CapLogMessage says. A second
  // entry in the same second with the same prefix is appended to the same file so that
  // neither is lost. Keeps the folder within the limits, oldest entries removed first.
  // Failures are silent. Any thread.
  void WriteRunLog(const std::string& message, const std::string& prefix = "");
  // The entry as WriteRunLog writes it, and the message on stderr as well: for faults that
  // must be seen even when the log folder itself cannot be written (a full or read-only disk).
  void WriteAlarm(const std::string& message);

  const std::string& Directory() const { return directory_; }

 private:
  void Prune(const LocalTime& now, uint64_t targetBytes);

  std::string directory_;
  platform::Clock& clock_;
  const RunLogLimits limits_;
  std::mutex mutex_;
  bool scanned_ = false;      // the folder has been pruned once since the log was made
  uint64_t folderBytes_ = 0;  // what the log files take, as counted since the last prune
  int64_t nextAgeCheckMs_ = 0;
};

// Where debug lines go: the shell's debug window (created on the first line it receives).
class DebugView {
 public:
  virtual ~DebugView() = default;
  // Appends one finished line (stamp, message and "\r\n") to the view.
  virtual void AppendDebugText(const std::string& text) = 0;
};

// Progress lines for the debug view, written only while the view is enabled.
class DebugLog {
 public:
  DebugLog(const bool& enabled, platform::Clock& clock) : enabled_(enabled), clock_(clock) {}

  // The view that receives lines; nullptr drops them. Not owned.
  void SetView(DebugView* view) { view_ = view; }

  // Appends "[hh:mm:ss]：" + message + "\r\n" to the view when enabled, the message capped as
  // in the run log; otherwise nothing.
  void DebugLine(const std::string& message);

 private:
  const bool& enabled_;
  platform::Clock& clock_;
  DebugView* view_ = nullptr;
};

}  // namespace qv
