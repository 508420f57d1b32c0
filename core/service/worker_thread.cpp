#include "core/service/worker_thread.h"

#include <algorithm>
#include <utility>

namespace qv {

WorkerThread::WorkerThread() : thread_([this] { Run(); }) {}

WorkerThread::~WorkerThread() {
  std::deque<std::function<void()>> dropped;
  std::vector<Delayed> droppedDelayed;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
    droppedDelayed.swap(delayed_);
  }
  wake_.notify_one();
  thread_.join();
}

void WorkerThread::Submit(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void WorkerThread::SubmitAfter(std::chrono::milliseconds delay, std::function<void()> job) {
  const Clock::time_point due = Clock::now() + delay;
  bool first = false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto at =
        std::upper_bound(delayed_.begin(), delayed_.end(), due,
                         [](Clock::time_point t, const Delayed& d) { return t < d.due; });
    first = at == delayed_.begin();
    delayed_.insert(at, Delayed{due, std::move(job)});
  }
  // Only a new earliest due time shortens the thread's wait. From the thread itself (a job
  // queueing its successor) nobody waits, and the wake would cost a call for nothing.
  if (first && std::this_thread::get_id() != thread_.get_id()) wake_.notify_one();
}

WorkerThread::Clock::time_point WorkerThread::QueueDueJobs() {
  const Clock::time_point now = Clock::now();
  auto due = delayed_.begin();
  while (due != delayed_.end() && due->due <= now) {
    jobs_.push_back(std::move(due->job));
    ++due;
  }
  delayed_.erase(delayed_.begin(), due);
  return delayed_.empty() ? Clock::time_point::max() : delayed_.front().due;
}

void WorkerThread::Run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      for (;;) {
        if (stopping_) return;
        const Clock::time_point next = QueueDueJobs();
        if (!jobs_.empty()) break;
        if (next == Clock::time_point::max()) {
          wake_.wait(hold);
        } else {
          wake_.wait_until(hold, next);
        }
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace qv
