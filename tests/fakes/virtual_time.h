// Time that passes only when the test moves it, for code that runs on threads of its own: a
// thread calling SleepFor blocks until the test has moved the time past its wake-up.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qv::testing {

class VirtualTime {
 public:
  int64_t NowMs() const {
    std::lock_guard lock(mutex_);
    return now_;
  }
  // Blocks until the time has moved `ms` on.
  void SleepFor(int64_t ms) {
    std::unique_lock lock(mutex_);
    const int64_t due = now_ + ms;
    wakeUps_.push_back(due);
    ++sleeps_;
    woken_.wait(lock, [&] { return now_ >= due; });
  }
  // Threads asleep now, and the count of sleeps ever begun.
  size_t Sleepers() const {
    std::lock_guard lock(mutex_);
    return wakeUps_.size();
  }
  uint64_t Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  // Moves the time to the next wake-up and wakes those due; they no longer count as asleep
  // from here on. False when nobody sleeps.
  bool AdvanceToNextWake() {
    {
      std::lock_guard lock(mutex_);
      if (wakeUps_.empty()) return false;
      now_ = *std::min_element(wakeUps_.begin(), wakeUps_.end());
      std::erase_if(wakeUps_, [this](int64_t due) { return due <= now_; });
    }
    woken_.notify_all();
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable woken_;
  int64_t now_ = 0;
  std::vector<int64_t> wakeUps_;
  uint64_t sleeps_ = 0;
};

}  // namespace qv::testing
