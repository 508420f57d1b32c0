// The two lanes on which the print service's blocking work runs, and what their jobs use.
// The cloud lane carries the exchanges with the cloud that stand alone (polls, printer list
// reports); the printer lane carries the print jobs, each with its result report. A slow
// cloud thus does not hold up the printers, nor a stalled printer the polls.
// Thread contract: pollCloud is used by cloud-lane jobs only; reportCloud and the printers by
// printer-lane jobs only (the printer list has a spooler connection of its own); the queues
// take jobs from the UI thread, post and postUnhurried from any thread. Results come back
// through RunOnLane (core/service/lane_work.h), never a hand-built pair.
#pragma once

#include <functional>

#include "core/service/job_queue.h"
#include "core/service/printer_access.h"
#include "core/service/task_cloud.h"

namespace qv {

struct ServiceLanes {
  JobQueue& cloudJobs;
  TaskCloud& pollCloud;  // cloud lane only
  JobQueue& printJobs;
  TaskCloud& reportCloud;   // printer lane only
  PrinterAccess& printers;  // printer lane only
  PostToUi post;
  // Like post, for a result nobody waits for (a poll that found nothing): the UI thread may
  // take it in when it wakes for something else rather than wake for it. Empty: post.
  PostToUi postUnhurried = {};
  // Lets the UI thread's loop sleep through its timers until the next post, for a service
  // that has nothing to do meanwhile; true when the loop does so. Empty: it never does.
  std::function<bool()> restUntilPosted = {};
};

}  // namespace qv
