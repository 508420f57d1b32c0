// Where the service's blocking work runs: queues of jobs, each run one at a time in the order
// given, off the UI thread; and the way results come back to the UI thread, which owns the
// service's state.
#pragma once

#include <chrono>
#include <functional>

namespace qv {

class JobQueue {
 public:
  virtual ~JobQueue() = default;
  // Queues `job` behind those given before; callable from the UI thread.
  virtual void Submit(std::function<void()> job) = 0;
  // Queues `job` to run once `delay` has passed, ahead of the jobs given later that are not
  // due yet; callable from any thread, the queue's own jobs included.
  virtual void SubmitAfter(std::chrono::milliseconds delay, std::function<void()> job) = 0;
};

// Hands `result` to the UI thread, which runs it after everything handed over before it;
// callable from any thread. A result still waiting when the program ends is dropped.
using PostToUi = std::function<void(std::function<void()> result)>;

}  // namespace qv
