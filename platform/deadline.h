// A point in time by which a wait of the backends must end, or none at all.
#pragma once

#include <chrono>

namespace qv::platform {

class Deadline {
 public:
  // `timeoutMs` from now; 0 or less means no deadline.
  explicit Deadline(int timeoutMs)
      : unlimited_(timeoutMs <= 0), end_(Clock::now() + std::chrono::milliseconds(timeoutMs)) {}

  bool Unlimited() const { return unlimited_; }

  // Milliseconds left, as poll() takes them: -1 without a deadline, 0 once it has passed.
  int RemainingMs() const {
    if (unlimited_) return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

  bool Passed() const { return RemainingMs() == 0; }

  // Milliseconds left until the earlier of the two, as RemainingMs gives them.
  static int EarlierRemainingMs(const Deadline& a, const Deadline& b) {
    const int left = a.RemainingMs();
    const int right = b.RemainingMs();
    if (left < 0) return right;
    if (right < 0) return left;
    return left < right ? left : right;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool unlimited_;
  Clock::time_point end_;
};

}  // namespace qv::platform
