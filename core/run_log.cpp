#include "core/run_log.h"

#include "platform/file_system.h"
#include "platform/gbk.h"

namespace qv {

RunLog::RunLog(std::string logDirectory, platform::Clock& clock)
    : directory_(std::move(logDirectory)), clock_(clock) {}

void RunLog::WriteRunLog(const std::string& message, const std::string& prefix) {
  const std::string stamp = LogStamp(clock_.Now());
  const std::string path = platform::JoinPath(directory_, prefix + stamp + ".log");
  const std::string entry = FromUtf8(stamp + "日志：\r\n" + message);
  // Two failures in the same second share a file name; appending keeps both, where
  // replacing would silently lose the first.
  if (platform::FileExists(path)) {
    platform::AppendFile(path, "\r\n" + entry);
  } else {
    platform::WriteFile(path, entry);
  }
}

void DebugLog::DebugLine(const std::string& message) {
  if (!enabled_ || view_ == nullptr) return;
  view_->AppendDebugText(DebugStamp(clock_.Now()) + message + "\r\n");
}

}  // namespace qv
