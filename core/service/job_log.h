// The debug lines and run-log entries of a job that runs on a lane. The debug view is a
// window and the run log keeps one order of entries, both the UI thread's: each line is
// handed to the UI thread, which writes them in the order they were given (and drops them
// when the service has gone).
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "core/service/core_services.h"

namespace qv {

class JobLog {
 public:
  // Made on the UI thread and copied into the job; holds no reference into the services.
  explicit JobLog(CoreServices& services)
      : post_(services.lanes.post), owner_(services.owner.Weak()) {}

  void DebugLine(std::string message) {
    PostToOwner(post_, owner_,
                [message = std::move(message)](CoreServices& s) { s.debugLog.DebugLine(message); });
  }
  void WriteRunLog(std::string message) {
    PostToOwner(post_, owner_,
                [message = std::move(message)](CoreServices& s) { s.runLog.WriteRunLog(message); });
  }

 private:
  PostToUi post_;
  std::weak_ptr<CoreServices*> owner_;
};

}  // namespace qv
