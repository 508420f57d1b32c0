#include "core/lanes/printer_lanes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakes/wait_for.h"
#include "util/scope_exit.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using testing::WaitFor;

// A gate the jobs wait at until the test opens it.
class Gate {
 public:
  void Wait() {
    std::unique_lock lock(mutex_);
    open_.wait(lock, [this] { return isOpen_; });
  }
  void Open() {
    {
      std::lock_guard lock(mutex_);
      isOpen_ = true;
    }
    open_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable open_;
  bool isOpen_ = false;
};

// Each key's jobs run in the order given and never two at once, while the keys run side by
// side: the first job of every key is running at the same moment.
TEST(PrinterLanes, OrderPerKeyAndKeysSideBySide) {
  const std::vector<std::string> keys = {"net:a:9100", "net:b:9100", "spooler:c", "lpt:1"};
  constexpr int kPerKey = 25;
  std::mutex mutex;
  std::map<std::string, std::vector<int>> done;
  std::map<std::string, int> inside;
  std::atomic<int> overlaps{0};
  std::atomic<int> firstsRunning{0};
  Gate allFirstsIn;
  {
    PrinterLanes lanes(PrinterLanes::Limits{.maxRunning = 8, .idleEnd = 1000ms});
    for (int n = 0; n < kPerKey; ++n) {
      for (const std::string& key : keys) {
        lanes.Submit(key, [&, key, n] {
          {
            std::lock_guard lock(mutex);
            if (++inside[key] > 1) ++overlaps;
          }
          if (n == 0 && ++firstsRunning == static_cast<int>(keys.size())) allFirstsIn.Open();
          if (n == 0) allFirstsIn.Wait();
          std::this_thread::sleep_for(100us);
          std::lock_guard lock(mutex);
          --inside[key];
          done[key].push_back(n);
          return true;
        });
      }
    }
    ASSERT_TRUE(WaitFor([&] {
      return lanes.Count().started == keys.size() * kPerKey && lanes.Count().running == 0;
    }));
  }
  EXPECT_EQ(overlaps, 0);
  for (const std::string& key : keys) {
    ASSERT_EQ(done[key].size(), static_cast<size_t>(kPerKey)) << key;
    for (int n = 0; n < kPerKey; ++n) EXPECT_EQ(done[key][n], n) << key;
  }
}

// Twenty printers with a ticket each. Printers that have not printed yet share half of the
// threads; once they have, as many run at once as the bound allows and the rest start as
// threads come free. Threads idle past the limit end, and new work brings one back.
TEST(PrinterLanes, BoundedThreadsThatEndWhenIdle) {
  Gate first, second;
  PrinterLanes lanes(PrinterLanes::Limits{.maxRunning = 8, .maxUnproven = 4, .idleEnd = 30ms});
  // A failed assertion must not leave jobs waiting at a gate for the destructor's join.
  ScopeExit openGates([&] {
    first.Open();
    second.Open();
  });
  std::atomic<int> running{0}, most{0}, ended{0};
  auto submitAll = [&](Gate& gate) {
    for (int n = 0; n < 20; ++n) {
      lanes.Submit("net:10.0.0." + std::to_string(n) + ":9100", [&] {
        const int now = ++running;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        gate.Wait();
        --running;
        ++ended;
        return true;
      });
    }
  };
  struct Phase {
    Gate& gate;
    size_t running;
  };
  for (const Phase& phase : {Phase{first, 4}, Phase{second, 8}}) {
    SCOPED_TRACE(phase.running);
    ended = 0;
    most = 0;
    submitAll(phase.gate);
    ASSERT_TRUE(WaitFor([&] { return lanes.Count().running == phase.running; }));
    const PrinterLanes::Counts c = lanes.Count();
    EXPECT_LE(c.threads, 8u);
    EXPECT_EQ(c.waiting, 20 - phase.running);
    phase.gate.Open();
    ASSERT_TRUE(WaitFor([&] { return ended == 20; }));
    EXPECT_EQ(most, static_cast<int>(phase.running));
  }
  ASSERT_TRUE(WaitFor([&] { return lanes.Count().threads == 0; }));
  std::atomic<bool> again{false};
  lanes.Submit("lpt:1", [&] { return again = true; });
  EXPECT_TRUE(WaitFor([&] { return again.load(); }));
}

// The destructor lets the job under way end and joins its thread before it returns; the jobs
// not started are dropped, never run, and what they captured is released.
TEST(PrinterLanes, DestructionWaitsForTheJobUnderWayAndDropsTheRest) {
  auto lanes = std::make_unique<PrinterLanes>();
  Gate started;
  std::atomic<bool> finished{false};
  std::atomic<int> laterRan{0};
  auto captured = std::make_shared<int>(0);
  lanes->Submit("net:a:9100", [&] {
    started.Open();
    std::this_thread::sleep_for(50ms);
    return finished = true;
  });
  for (int n = 0; n < 3; ++n) {
    lanes->Submit("net:a:9100", [&laterRan, captured] { return ++laterRan > 0; });
  }
  started.Wait();
  lanes.reset();
  EXPECT_TRUE(finished);
  EXPECT_EQ(laterRan, 0);
  EXPECT_EQ(captured.use_count(), 1);
}

}  // namespace
}  // namespace qv
