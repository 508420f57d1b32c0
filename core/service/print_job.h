// Print execution: the oldest queued task goes to the printer its print_type names, as many
// copies as it asks for, and its outcome is reported to the cloud.
//
// The print timer starts a task when none is running; the task runs on the printer lane and
// its end comes back to the UI thread, which starts the next queued task at once while the
// timer runs. printBusy is set from the take of a task until its end has come back.
#pragma once

#include <memory>

#include "core/service/core_services.h"
#include "core/service/service_views.h"

namespace qv {

class PrintJobRunner {
 public:
  // Both arguments must outlive the runner.
  PrintJobRunner(CoreServices& services, PrintShell& shell) : s_(services), shell_(shell) {}

  // Run by the service window's 1000 ms print timer: asks for a store ID when none is set,
  // otherwise starts the oldest task unless one is running, and shows the queue length.
  void PrintTimerTick();
  // Takes the oldest task (if any, and unless a task is running) and starts it on the
  // printer lane. Its end is taken in even when the runner is gone by then.
  void ExecuteNextTask();

 private:
  void AfterTask();

  CoreServices& s_;
  PrintShell& shell_;
  // A task's end finds the runner through this; it expires with the runner.
  LaneOwner<PrintJobRunner> self_{*this};
};

}  // namespace qv
