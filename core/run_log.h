// The run log: one small GBK text file per entry in the log directory, and the debug view's
// time-stamped progress lines.
#pragma once

#include <string>

#include "platform/clock.h"

namespace qv {

class RunLog {
 public:
  // `logDirectory` must outlive nothing: it is copied. The clock must outlive the log.
  RunLog(std::string logDirectory, platform::Clock& clock);

  // Writes an entry to logDirectory/<prefix><stamp>.log with the content
  // <stamp>日志：\r\n<message> in GBK. A second entry in the same second with the same
  // prefix is appended to the same file so that neither is lost. Failures are silent.
  void WriteRunLog(const std::string& message, const std::string& prefix = "");

  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
  platform::Clock& clock_;
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

  // Appends "[hh:mm:ss]：" + message + "\r\n" to the view when enabled; otherwise nothing.
  void DebugLine(const std::string& message);

 private:
  const bool& enabled_;
  platform::Clock& clock_;
  DebugView* view_ = nullptr;
};

}  // namespace qv
