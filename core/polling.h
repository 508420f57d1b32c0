// Print task polling: asks the cloud every few seconds for the tasks waiting for the store,
// queues each new one, and keeps the status lines of the polling window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core_services.h"
#include "core/service_views.h"
#include "core/task_wire.h"

namespace qv {

class Poller {
 public:
  // Both arguments must outlive the poller. Polls come every pollSeconds seconds, as the
  // state says when the poller is made.
  Poller(CoreServices& services, PollStatusView& view);

  // Resets the flags and counters and polls at once; run when the polling window opens.
  void StartPolling();
  // Run by the polling window's 1000 ms timer: polls every pollInterval ticks, counted from
  // the end of the previous poll.
  void PollTimerTick();
  // One poll: fetch, decode, show the outcome and queue the new tasks; true when the answer
  // was usable (with or without tasks).
  bool PollPrintTasks();
  // The wait request; the answer body, empty when the exchange failed.
  std::string FetchWaitingTasks();

  // Polls made and tasks received since polling started.
  int32_t pollCount() const { return pollCount_; }
  int32_t recordCount() const { return recordCount_; }

 private:
  void ShowOutcome(const WaitAnswer& answer);
  void Enqueue(std::vector<PrintTask>& tasks);
  std::string NextPollStamp() const;
  void SetLastMessage(const std::string& text);

  CoreServices& s_;
  PollStatusView& view_;
  std::string lastMessage_ = "无";  // mirrors the label, which starts with this caption
  int32_t pollTick_ = 1;            // timer ticks since the last poll ended
  int32_t pollInterval_;            // pollSeconds, copied when polling starts
  int32_t pollCount_ = 0;
  int32_t recordCount_ = 0;
};

}  // namespace qv
