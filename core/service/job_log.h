// The debug lines and run-log entries of a job that runs on a lane. The debug view is a
// window and the run log keeps one order of entries, both the UI thread's: each line is
// handed to the UI thread, which writes them in the order they were given.
#pragma once

#include <string>
#include <utility>

#include "core/service/core_services.h"

namespace qv {

class JobLog {
 public:
  // Made on the UI thread and copied into the job; `services` must outlive the UI loop.
  explicit JobLog(CoreServices& services)
      : debug_(services.debugLog), run_(services.runLog), post_(services.lanes.post) {}

  void DebugLine(std::string message) {
    post_([&debug = debug_, message = std::move(message)] { debug.DebugLine(message); });
  }
  void WriteRunLog(std::string message) {
    post_([&run = run_, message = std::move(message)] { run.WriteRunLog(message); });
  }

 private:
  DebugLog& debug_;
  RunLog& run_;
  PostToUi post_;
};

}  // namespace qv
