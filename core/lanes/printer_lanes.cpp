#include "core/lanes/printer_lanes.h"

#include <algorithm>
#include <utility>

namespace qv {
namespace {

PrinterLanes::Limits AtLeastOneThread(PrinterLanes::Limits limits) {
  limits.maxRunning = std::max<size_t>(limits.maxRunning, 1);
  limits.maxUnproven = std::clamp<size_t>(limits.maxUnproven, 1, limits.maxRunning);
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

void PrinterLanes::Submit(const std::string& key, Job job) {
  std::list<Worker> ended;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    ended = TakeEndedWorkers();
    Lane& lane = lanes_[key];
    if (!lane.running && lane.jobs.empty()) ready_.push_back(key);
    lane.jobs.push_back(std::move(job));
    ++waiting_;
    AddThreadsAsNeeded(0);
  }
  wake_.notify_one();
  for (Worker& w : ended) w.thread.join();
}

void PrinterLanes::AddThreadsAsNeeded(size_t aboutToWait) {
  // A new thread only when the waiting ones cannot take every job that may start: also after a
  // job, when a printer that printed may start beside those that hold the other threads.
  while (Startable() > idle_ + aboutToWait && live_ < limits_.maxRunning) {
    workers_.emplace_back();
    auto self = std::prev(workers_.end());
    ++live_;
    ++idle_;  // counted from the start, so that the loop sees it as taking a job
    self->thread = std::thread([this, self] { Work(self); });
  }
}

PrinterLanes::Counts PrinterLanes::Count() const {
  std::lock_guard lock(mutex_);
  const size_t ready = running_ < limits_.maxRunning ? Startable() : 0;
  return Counts{running_, waiting_, ready, live_, started_};
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

std::deque<std::string>::iterator PrinterLanes::NextStartable() {
  if (runningUnproven_ < limits_.maxUnproven) return ready_.begin();
  return std::find_if(ready_.begin(), ready_.end(),
                      [this](const std::string& key) { return proven_.count(key) > 0; });
}

size_t PrinterLanes::Startable() const {
  if (runningUnproven_ < limits_.maxUnproven) return ready_.size();
  return static_cast<size_t>(std::count_if(
      ready_.begin(), ready_.end(), [this](const auto& key) { return proven_.count(key) > 0; }));
}

void PrinterLanes::Work(std::list<Worker>::iterator self) {
  std::unique_lock lock(mutex_);
  for (bool first = true;; first = false) {
    if (!first) ++idle_;  // a new thread was counted idle by the one that started it
    const bool woke = wake_.wait_for(
        lock, limits_.idleEnd, [this] { return stopping_ || NextStartable() != ready_.end(); });
    --idle_;
    if (stopping_) return;
    if (!woke) {
      // Idle long enough: the thread ends and is joined by the next Submit or the destructor.
      self->ended = true;
      --live_;
      return;
    }
    auto at = NextStartable();
    std::string key = std::move(*at);
    ready_.erase(at);
    Lane& lane = lanes_[key];
    Job job = std::move(lane.jobs.front());
    lane.jobs.pop_front();
    lane.running = true;
    const bool countedUnproven = proven_.count(key) == 0;
    runningUnproven_ += countedUnproven ? 1 : 0;
    --waiting_;
    ++running_;
    ++started_;
    lock.unlock();
    const bool tookIt = job();
    job = nullptr;  // its captures go before the next job of the key may start
    lock.lock();
    --running_;
    runningUnproven_ -= countedUnproven ? 1 : 0;
    if (stopping_) return;
    if (tookIt) {
      proven_.insert(key);
    } else {
      proven_.erase(key);
    }
    Lane& after = lanes_[key];
    after.running = false;
    if (after.jobs.empty()) {
      lanes_.erase(key);
    } else {
      // Behind the keys already waiting: a printer with a long backlog takes turns with the
      // others instead of keeping a thread to itself.
      ready_.push_back(std::move(key));
    }
    // A place for an unproven printer may have come free for a thread that waits, and a
    // printer that printed may start now beside those holding the other threads.
    if (countedUnproven) wake_.notify_all();
    AddThreadsAsNeeded(1);
  }
}

}  // namespace qv
