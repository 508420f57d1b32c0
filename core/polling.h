// Print task polling: asks the cloud every few seconds for the tasks waiting for the store,
// queues each new one, and keeps the status lines of the polling window.
#pragma once

#include <string>

#include "core/core_services.h"
#include "core/service_views.h"

namespace qv {

class Poller {
 public:
  // Both arguments must outlive the poller.
  Poller(CoreServices& services, PollStatusView& view) : s_(services), view_(view) {}

  // Resets the flags and counters and polls at once; run when the polling window opens.
  void StartPolling();
  // Run by the polling window's 1000 ms timer: polls every pollInterval ticks, counted from
  // the end of the previous poll.
  void PollTimerTick();
  // One poll; true when the answer was usable (with or without tasks). An answer too large
  // for the memory left fails the poll like an answer that is not JSON.
  bool PollPrintTasks();
  // The wait request; the answer body, empty when the exchange failed.
  std::string FetchWaitingTasks();

 private:
  bool PollOnce();
  std::string NextPollStamp();
  void SetLastMessage(const std::string& text);

  CoreServices& s_;
  PollStatusView& view_;
  std::string lastMessage_ = "无";  // mirrors the label, which starts with this caption
};

}  // namespace qv
