// Print task polling: asks the cloud every few seconds for the tasks waiting for the store,
// queues each new one, and keeps the status lines of the polling window.
//
// The request runs on the cloud lane; its answer comes back to the UI thread, which queues
// (and journals) the tasks and shows the outcome. pollBusy is set from the request until the
// answer has been taken in; for an idle service, from the first poll of a run on the cloud
// lane until the run hands back.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/service/core_services.h"
#include "core/service/service_views.h"
#include "core/service/task_wire.h"

namespace qv {

class Poller {
 public:
  // Both arguments must outlive the poller. Polls come every pollSeconds seconds, as the
  // state says when the poller is made.
  Poller(CoreServices& services, PollStatusView& view);
  // Ends a run of polls on the cloud lane at its next poll.
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;

  // Resets the counters and polls at once; run when the polling window opens.
  void StartPolling();
  // Run by the polling window's 1000 ms timer: polls every pollInterval ticks, counted from
  // the end of the previous poll.
  void PollTimerTick();
  // Starts one poll: false when no store is configured or a poll is still under way. The
  // answer's tasks are queued even when the poller is gone by the time it comes. An answer
  // too large for the memory left fails the poll like an answer that is not JSON. When the
  // service has nothing to do and the UI thread's loop can rest, polls that find nothing
  // follow one another on the cloud lane until one finds something (see PollRun).
  bool PollPrintTasks();
  // Ends a run of polls on the cloud lane at its next poll (a request under way is not cut).
  void EndRun() { goOn_->store(false); }
  // After EndRun(): whether an answer may still come. False when no poll is out, or when it
  // is a run whose next turn has not begun asking (it asks nothing now).
  bool AnswerMayCome() const { return s_.state.pollBusy && (!runOut_ || asking_->load()); }

  // Polls made and tasks received since polling started.
  int32_t pollCount() const { return pollCount_; }
  int32_t recordCount() const { return recordCount_; }

 private:
  struct PollRun;

  // On the UI thread, when the answer of a poll has come: queue, flags, log, status lines.
  // `polls` counts the polls of the run that ends with this answer.
  static void TakeInAnswer(CoreServices& services, const std::weak_ptr<Poller*>& poller,
                           WaitAnswer& answer, int32_t polls);
  // On the UI thread, when a run of polls ended without an answer: the flags.
  static void EndPoll(CoreServices& services);
  void ShowOutcome(const WaitAnswer& answer, const std::string& status, int32_t polls);
  std::string NextPollStamp() const;
  void SetLastMessage(const std::string& text);

  CoreServices& s_;
  PollStatusView& view_;
  std::string lastMessage_ = "无";  // mirrors the label, which starts with this caption
  int32_t pollTick_ = 1;            // timer ticks since the last poll ended
  int32_t pollInterval_;            // pollSeconds, copied when polling starts
  bool runOut_ = false;             // a run of polls goes on on the cloud lane by itself
  int32_t pollCount_ = 0;
  int32_t recordCount_ = 0;
  // Answers find the poller through this; it expires with the poller.
  LaneOwner<Poller> self_{*this};
  // Read by the polls that run on the cloud lane by themselves; cleared when the poller goes.
  std::shared_ptr<std::atomic<bool>> goOn_ = std::make_shared<std::atomic<bool>>(true);
  // Set by a run's poll from its check of goOn_ until it parks for the next poll; a poll
  // that hands its answer back leaves it set.
  std::shared_ptr<std::atomic<bool>> asking_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace qv
