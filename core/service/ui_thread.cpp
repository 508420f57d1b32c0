#include "core/service/ui_thread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace qv {
namespace {

// Atomic because the check itself runs on whichever thread calls it.
std::atomic<std::thread::id> uiThread{};

}  // namespace

void BindUiThread() { uiThread.store(std::this_thread::get_id()); }

void CheckUiThread() {
#ifndef NDEBUG
  std::thread::id expected{};
  const std::thread::id self = std::this_thread::get_id();
  if (uiThread.compare_exchange_strong(expected, self) || expected == self) return;
  std::fputs("quorvel-print: UI-thread code ran on another thread\n", stderr);
  std::abort();
#endif
}

}  // namespace qv
