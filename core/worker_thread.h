// One thread of our own that runs jobs one at a time, in the order they were submitted.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "core/job_queue.h"

namespace qv {

class WorkerThread final : public JobQueue {
 public:
  // Starts the thread; it waits for jobs.
  WorkerThread();
  // Lets the job under way end, drops the jobs not yet started and joins the thread. Jobs
  // must not own anything that has to be undone when they are dropped.
  ~WorkerThread() override;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  void Submit(std::function<void()> job) override;

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace qv
