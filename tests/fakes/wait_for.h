// Polls a condition that another thread makes true, for tests of code with threads of its own.
#pragma once

#include <chrono>
#include <thread>

namespace qv::testing {

// True once `pred` holds, false when `limit` passed first; looks every millisecond.
template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace qv::testing
