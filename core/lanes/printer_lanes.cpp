#include "core/lanes/printer_lanes.h"

#include <utility>

namespace qv {

namespace {

PrinterLanes::Limits AtLeastOneThread(PrinterLanes::Limits limits) {
  if (limits.maxRunning == 0) limits.maxRunning = 1;
  return limits;
}

}  // namespace

PrinterLanes::PrinterLanes(Limits limits) : limits_(AtLeastOneThread(limits)) {}

PrinterLanes::~PrinterLanes() {
  std::list<Worker> all;
  std::unordered_map<std::string, Lane> dropped;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    dropped = std::move(lanes_);
    lanes_.clear();
    ready_.clear();
    waiting_ = 0;
    all = std::move(workers_);
    workers_.clear();
  }
  wake_.notify_all();
  for (Worker& w : all) w.thread.join();
  // The dropped jobs are destroyed here, after the joins and outside the lock, so a job's
  // captures may do what they like when they go.
}

void PrinterLanes::Submit(const std::string& key, std::function<void()> job) {
  std::list<Worker> ended;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    ended = TakeEndedWorkers();
    Lane& lane = lanes_[key];
    if (!lane.running && lane.jobs.empty()) ready_.push_back(key);
    lane.jobs.push_back(std::move(job));
    ++waiting_;
    // A new thread only when the idle ones cannot take every ready key.
    if (ready_.size() > idle_ && workers_.size() < limits_.maxRunning) {
      workers_.emplace_back();
      auto self = std::prev(workers_.end());
      self->thread = std::thread([this, self] { Work(self); });
    }
  }
  wake_.notify_one();
  for (Worker& w : ended) w.thread.join();
}

PrinterLanes::Counts PrinterLanes::Count() const {
  std::lock_guard lock(mutex_);
  size_t threads = 0;
  for (const Worker& w : workers_) threads += w.ended ? 0 : 1;
  return Counts{running_, waiting_, running_ < limits_.maxRunning ? ready_.size() : 0, threads,
                started_};
}

std::list<PrinterLanes::Worker> PrinterLanes::TakeEndedWorkers() {
  std::list<Worker> ended;
  for (auto it = workers_.begin(); it != workers_.end();) {
    auto next = std::next(it);
    if (it->ended) ended.splice(ended.end(), workers_, it);
    it = next;
  }
  return ended;
}

void PrinterLanes::Work(std::list<Worker>::iterator self) {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    const bool woke =
        wake_.wait_for(lock, limits_.idleEnd, [this] { return stopping_ || !ready_.empty(); });
    --idle_;
    if (stopping_) return;
    if (!woke) {
      // Idle long enough: the thread ends and is joined by the next Submit or the destructor.
      self->ended = true;
      return;
    }
    std::string key = std::move(ready_.front());
    ready_.pop_front();
    Lane& lane = lanes_[key];
    std::function<void()> job = std::move(lane.jobs.front());
    lane.jobs.pop_front();
    lane.running = true;
    --waiting_;
    ++running_;
    ++started_;
    lock.unlock();
    job();
    job = nullptr;  // its captures go before the next job of the key may start
    lock.lock();
    --running_;
    if (stopping_) return;
    Lane& after = lanes_[key];
    after.running = false;
    if (after.jobs.empty()) {
      lanes_.erase(key);
    } else {
      // Behind the keys already waiting: a printer with a long backlog takes turns with the
      // others instead of keeping a thread to itself.
      ready_.push_back(std::move(key));
    }
  }
}

}  // namespace qv
