#include "ui/headless/headless_toolkit.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <queue>
#include <vector>

#include "ui/headless/memory_widgets.h"

namespace qv::ui {
namespace {

using Clock = std::chrono::steady_clock;

// How other threads wake the loop for their posted tasks.
class Wakeup {
 public:
  void Wake() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      woken_ = true;
    }
    signal_.notify_one();
  }
  // Waits until woken or `until`; true when woken, which is then taken.
  bool WaitUntil(Clock::time_point until) {
    std::unique_lock<std::mutex> hold(mutex_);
    signal_.wait_until(hold, until, [this] { return woken_; });
    return Take(hold);
  }
  // Waits until woken, which is then taken.
  void Wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    signal_.wait(hold, [this] { return woken_; });
    Take(hold);
  }
  // True when woken since the last time, which is then taken.
  bool Taken() {
    std::unique_lock<std::mutex> hold(mutex_);
    return Take(hold);
  }

 private:
  bool Take(std::unique_lock<std::mutex>&) {
    const bool was = woken_;
    woken_ = false;
    return was;
  }
  std::mutex mutex_;
  std::condition_variable signal_;
  bool woken_ = false;
};

// The timers of the headless loop: a queue of due times. Restarting or stopping a timer
// bumps its generation, which turns its queued entries stale instead of searching the queue.
class TimerLoop {
 public:
  struct Entry {
    Clock::time_point due;
    unsigned long long order;  // ties fire in the order they were scheduled
    int id;
    unsigned generation;
    bool operator>(const Entry& o) const { return due != o.due ? due > o.due : order > o.order; }
  };

  int Add(Timer& timer) {
    timers_[nextId_] = State{&timer, 0, 0};
    return nextId_++;
  }
  void Remove(int id) { timers_.erase(id); }

  void Start(int id, int ms) {
    resting_ = false;  // whoever starts a timer wants its ticks
    State& s = timers_.at(id);
    s.interval = ms;
    ++s.generation;
    Schedule(id, Clock::now() + std::chrono::milliseconds(ms));
  }

  // Until the next wake or timer start, the loop sleeps through the ticks.
  void Rest() { resting_ = true; }

  void Stop(int id) {
    State& s = timers_.at(id);
    s.interval = 0;
    ++s.generation;
  }

  // Runs due ticks, and the posted tasks (`runPosted`) whenever the loop is awake and some
  // wait (`postedWaiting`), until `quit` is set; returns at once when no timer runs and
  // nothing was posted. Tasks posted without a wake thus run before the next tick at the
  // latest, or, while the loop rests, at the next wake.
  template <typename PostedWaiting, typename RunPosted>
  void Run(const bool& quit, Wakeup& wakeup, PostedWaiting postedWaiting, RunPosted runPosted) {
    while (!quit) {
      if (wakeup.Taken() || postedWaiting()) {
        resting_ = false;
        runPosted();
        continue;
      }
      if (!DropStale()) return;
      const Entry next = queue_.top();
      if (resting_ || Clock::now() < next.due) {
        // The one place where the program sleeps: nothing but a posted task can happen before
        // this tick, or, resting, before the next post. Awake again, the loop looks at the
        // posts and the timers afresh.
        if (resting_) {
          wakeup.Wait();
        } else if (!wakeup.WaitUntil(next.due)) {
          continue;
        }
        resting_ = false;
        runPosted();
        continue;
      }
      queue_.pop();
      State& s = timers_.at(next.id);
      // A tick that came late by a whole interval or more (after a rest, say) stands for the
      // ones missed: the next follows an interval after it, not at once.
      const std::chrono::milliseconds interval(s.interval);
      const Clock::time_point now = Clock::now();
      const Clock::time_point following = next.due + interval;
      Schedule(next.id, following > now ? following : now + interval);
      // May stop, restart or destroy any timer (this one included) or quit the loop.
      s.timer->Tick();
    }
  }

 private:
  struct State {
    Timer* timer;
    int interval;
    unsigned generation;
  };

  void Schedule(int id, Clock::time_point due) {
    queue_.push(Entry{due, order_++, id, timers_.at(id).generation});
  }

  // Drops entries of stopped, restarted or destroyed timers; false when none is left.
  bool DropStale() {
    while (!queue_.empty()) {
      const Entry& e = queue_.top();
      auto it = timers_.find(e.id);
      if (it != timers_.end() && it->second.generation == e.generation && it->second.interval > 0)
        return true;
      queue_.pop();
    }
    return false;
  }

  std::map<int, State> timers_;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue_;
  int nextId_ = 1;
  unsigned long long order_ = 0;
  bool resting_ = false;
};

class HeadlessTimer : public TimerImpl {
 public:
  HeadlessTimer(TimerLoop& loop, Timer& timer) : loop_(loop), id_(loop.Add(timer)) {}
  ~HeadlessTimer() override { loop_.Remove(id_); }
  void StartImpl(int ms) override { loop_.Start(id_, ms); }
  void StopImpl() override { loop_.Stop(id_); }

 private:
  TimerLoop& loop_;
  int id_;
};

class HeadlessTrayIcon : public TrayIconImpl {
 public:
  void ShowImpl(const std::string&) override {}
  void RemoveImpl() override {}
  // A terminal has no desktop to show it: the operator watching stderr sees the line.
  void NotifyImpl(const std::string& title, const std::string& text, AlertSound) override {
    std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", text.c_str());
    std::fflush(stderr);
  }
};

class HeadlessToolkit : public Toolkit {
 protected:
  std::unique_ptr<WindowImpl> CreateWindowImpl(const WindowOptions& options,
                                               Window& window) override {
    return std::make_unique<MemoryWindow>(options, window);
  }
  std::unique_ptr<TimerImpl> CreateTimerImpl(Timer& timer) override {
    return std::make_unique<HeadlessTimer>(loop_, timer);
  }
  std::unique_ptr<TrayIconImpl> CreateTrayIconImpl(TrayIcon&) override {
    return std::make_unique<HeadlessTrayIcon>();
  }

  // Nobody can answer: the message goes to stderr and the first button (OK) is the answer,
  // as a user pressing Enter would give.
  MessageResult ShowMessageImpl(const MessageBoxOptions& box) override {
    std::fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
    std::fflush(stderr);
    return MessageResult::Ok;
  }

  void RunImpl() override {
    quit_ = false;
    loop_.Run(
        quit_, wakeup_, [this] { return PostedWaiting(); }, [this] { RunPosted(); });
  }
  void QuitImpl() override { quit_ = true; }
  void WakeImpl() override { wakeup_.Wake(); }
  // The loop looks at the posted tasks whenever it is awake (TimerLoop::Run).
  bool RunsPostedAtEveryWake() const override { return true; }
  bool RestImpl() override {
    loop_.Rest();
    return true;
  }

 private:
  TimerLoop loop_;
  Wakeup wakeup_;
  bool quit_ = false;
};

}  // namespace

std::unique_ptr<Toolkit> CreateHeadlessToolkit() { return std::make_unique<HeadlessToolkit>(); }

}  // namespace qv::ui
