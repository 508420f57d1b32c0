// One thread of our own that runs jobs one at a time, in the order they were submitted (a
// delayed job in the order it fell due).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/service/job_queue.h"

namespace qv {

class WorkerThread final : public JobQueue {
 public:
  // Starts the thread; it waits for jobs.
  WorkerThread();
  // Lets the job under way end, drops the jobs not yet started (delayed ones included) and
  // joins the thread. Jobs must not own anything that has to be undone when they are dropped.
  ~WorkerThread() override;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  void Submit(std::function<void()> job) override;
  void SubmitAfter(std::chrono::milliseconds delay, std::function<void()> job) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Delayed {
    Clock::time_point due;
    std::function<void()> job;
  };

  void Run();
  // Moves the delayed jobs that are due behind the waiting ones; the time the next one falls
  // due, or max() when none is left. Runs with mutex_ held.
  Clock::time_point QueueDueJobs();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  std::vector<Delayed> delayed_;  // by due time; few at a time
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace qv
