#include "core/worker_thread.h"

#include <utility>

namespace qv {

WorkerThread::WorkerThread() : thread_([this] { Run(); }) {}

WorkerThread::~WorkerThread() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
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

void WorkerThread::Run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      wake_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace qv
