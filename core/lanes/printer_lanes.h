// Runs print jobs on a few threads of its own: one job at a time per printer key, in the order
// they were given for that key; jobs for different keys run at the same time, so a printer that
// is off or slow holds back only its own tickets. At most `maxRunning` jobs run at once, and of
// those at most `maxUnproven` for printers that have not printed their last ticket (it failed,
// or there was none yet): a printer that is off costs each ticket seconds of waiting for it, and
// many of them must not take every thread from the printers that answer. A thread with nothing to
// do for `idleEnd` ends; a new one starts when work comes.
//
// Threads: Submit and Count may be called from any thread, jobs included; the destructor from
// the owner's thread, never from a job. The jobs share nothing through this class.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace qv {

class PrinterLanes {
 public:
  struct Limits {
    size_t maxRunning = 8;
    size_t maxUnproven = 6;
    std::chrono::milliseconds idleEnd{30'000};
  };
  // One ticket's work; true when the printer took it, false when it failed.
  using Job = std::function<bool()>;

  explicit PrinterLanes(Limits limits);
  PrinterLanes() : PrinterLanes(Limits{}) {}
  // Lets the jobs under way end, drops the jobs not started and joins every thread; whatever
  // the jobs use must outlive this. A dropped job must own nothing that has to be undone.
  ~PrinterLanes();
  PrinterLanes(const PrinterLanes&) = delete;
  PrinterLanes& operator=(const PrinterLanes&) = delete;

  // Queues `job` behind the jobs given before for `key`; it starts once they have ended and a
  // thread is free. Nothing runs after the destructor began.
  void Submit(const std::string& key, Job job);

  struct Counts {
    size_t running = 0;    // jobs under way
    size_t waiting = 0;    // jobs not started yet, whatever their key
    size_t ready = 0;      // keys with a job that may start now, not yet taken by a thread
    size_t threads = 0;    // threads alive
    uint64_t started = 0;  // jobs started since construction
  };
  Counts Count() const;

 private:
  struct Lane {
    std::deque<Job> jobs;
    bool running = false;
  };
  struct Worker {
    std::thread thread;
    bool ended = false;
  };

  void Work(std::list<Worker>::iterator self);
  // Threads that ended on their own, taken out of workers_ for the caller to join outside the
  // lock. Runs with mutex_ held.
  std::list<Worker> TakeEndedWorkers();
  // The first ready key whose job may start now, or ready_.end(); with mutex_ held.
  std::deque<std::string>::iterator NextStartable();
  // How many ready keys have a job that may start now; with mutex_ held.
  size_t Startable() const;
  // Starts threads while more jobs may start than threads wait for them, `aboutToWait` being
  // the caller's own thread when it is going to; with mutex_ held.
  void AddThreadsAsNeeded(size_t aboutToWait);

  const Limits limits_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::unordered_map<std::string, Lane> lanes_;  // keys with jobs waiting or running
  std::deque<std::string> ready_;                // keys whose next job may start, oldest first
  std::unordered_set<std::string> proven_;       // keys whose last job printed
  size_t running_ = 0;
  size_t runningUnproven_ = 0;
  size_t waiting_ = 0;
  size_t idle_ = 0;  // threads waiting for a ready key
  size_t live_ = 0;  // threads started and not ended
  uint64_t started_ = 0;
  bool stopping_ = false;
  std::list<Worker> workers_;  // last: its threads use everything above
};

}  // namespace qv
