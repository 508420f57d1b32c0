// Print execution: once a second, the oldest queued task goes to the printer its print_type
// names, as many copies as it asks for, and its outcome is reported to the cloud.
#pragma once

#include "core/core_services.h"
#include "core/service_views.h"

namespace qv {

class PrintJobRunner {
 public:
  // Both arguments must outlive the runner.
  PrintJobRunner(CoreServices& services, PrintShell& shell) : s_(services), shell_(shell) {}

  // Run by the service window's 1000 ms print timer: asks for a store ID when none is set,
  // otherwise executes at most one task and shows the queue length.
  void PrintTimerTick();
  // Takes the oldest task (if any, and unless a task is being printed) and executes it.
  void ExecuteNextTask();

 private:
  CoreServices& s_;
  PrintShell& shell_;
};

}  // namespace qv
