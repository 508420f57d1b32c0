// The state of the print service: the settings it runs with, and what polls and prints change.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/config/settings.h"
#include "core/service/print_task.h"
#include "core/service/task_queue.h"

namespace qv {

// The task on the printer lane, for an ending that its bound cuts short: a ticket whose
// outcome was not yet settled goes back into the journal to print at the next start. The
// task is the UI thread's copy, never changed; the flag is set on the printer lane.
struct TicketInHand {
  PrintTask task;
  std::atomic<bool> settled{false};  // the outcome is known and its report is going out
};

// The settings the program started with and the service's own state. Only the UI thread
// touches it: a lane job gets copies of what it needs, never a reference into it.
struct ServiceState : ProgramSettings {
  // A print run or a poll is under way: set and cleared by print execution and by polling,
  // read by the shell, which does not end the program while either is set. The poller's own
  // counters are the poller's.
  bool printBusy = false;
  bool pollBusy = false;
  // Set once the program ends: no poll and no print starts any more.
  bool ending = false;
  // While printBusy: the task being printed.
  std::shared_ptr<TicketInHand> ticketInHand;

  // Debug view: progress lines go to the debug window while this is set.
  bool debugViewEnabled = false;

  // Tasks fetched and not yet printed, oldest first, kept in the journal in dataDirectory.
  TaskQueue taskQueue;
};

}  // namespace qv
