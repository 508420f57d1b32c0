// The printers' lanes and the outbox together, on virtual time: a burst of tickets interleaved
// over printers that are off, deaf, slow and healthy.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/lanes/printer_key.h"
#include "core/lanes/printer_lanes.h"
#include "core/lanes/ticket_outbox.h"
#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"
#include "tests/fakes/virtual_time.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using testing::VirtualTime;

// How a fake printer takes a ticket: the virtual time it costs, and whether it prints it.
struct FakePrinter {
  std::string address;
  int64_t ms;
  bool prints;
};

// Waits until every thread of the lanes is asleep on the virtual time or idle with nothing it
// could start: only then may the test move the time on. The counts are read twice, with no job
// or sleep begun in between, so a thread caught between two steps is not taken for asleep.
void WaitUntilAllAsleep(const PrinterLanes& lanes, const VirtualTime& time) {
  for (;;) {
    const PrinterLanes::Counts a = lanes.Count();
    const uint64_t sleeps = time.Sleeps();
    const bool quiet = a.ready == 0 && time.Sleepers() == a.running;
    std::this_thread::sleep_for(200us);
    const PrinterLanes::Counts b = lanes.Count();
    if (quiet && b.started == a.started && b.running == a.running && b.ready == 0 &&
        time.Sleeps() == sleeps && time.Sleepers() == b.running) {
      return;
    }
  }
}

TEST(LanesAndOutbox, HealthyPrintersEndInTheirOwnTimeAndEveryTicketIsReportedOnce) {
  // One network printer off (a ping and the connect limit), one deaf (the delivery wait),
  // one slow, two healthy; eight tickets each, handed over interleaved in one answer.
  const std::vector<FakePrinter> printers = {{"10.0.0.1", 3'400, false},
                                             {"10.0.0.2", 10'000, false},
                                             {"10.0.0.3", 1'500, true},
                                             {"10.0.0.4", 200, true},
                                             {"10.0.0.5", 200, true}};
  constexpr int kPerPrinter = 8;
  testing::TempDir dir;
  VirtualTime time;
  std::mutex mutex;
  std::map<std::string, std::vector<std::string>> reports;
  std::map<std::string, std::vector<int64_t>> endedAt;  // per printer, in end order
  TicketOutbox outbox(
      [&](const std::string& key, bool printed) {
        std::lock_guard lock(mutex);
        reports[key].push_back(printed ? "1" : "-1");
        return ReportAnswer::Taken;
      },
      TicketOutbox::Timing{5ms, 20ms});
  outbox.Open(platform::JoinPath(dir.Path(), "tickets.journal"),
              [](const std::string&) { return false; });
  {
    PrinterLanes lanes;
    std::vector<std::pair<std::string, std::string>> held;
    std::vector<const FakePrinter*> target;
    for (int n = 0; n < kPerPrinter; ++n) {
      for (const FakePrinter& p : printers) {
        held.emplace_back(p.address + "#" + std::to_string(n), "");
        target.push_back(&p);
      }
    }
    const std::vector<TicketId> ids = outbox.Hold(held);
    for (size_t i = 0; i < ids.size(); ++i) {
      const FakePrinter& p = *target[i];
      lanes.Submit(PrinterKey(1, p.address), [&, id = ids[i], &p = p] {
        outbox.Started(id);
        time.SleepFor(p.ms);
        outbox.Ended(id, p.prints);
        std::lock_guard lock(mutex);
        endedAt[p.address].push_back(time.NowMs());
      });
    }
    do {
      WaitUntilAllAsleep(lanes, time);
    } while (time.AdvanceToNextWake());
  }
  // Each printer's n-th ticket ends after n of its own tickets' time: the healthy ones are done
  // at 1.6 s although the one that is off needs 27 s and the deaf one 80 s.
  for (const FakePrinter& p : printers) {
    ASSERT_EQ(endedAt[p.address].size(), static_cast<size_t>(kPerPrinter)) << p.address;
    for (int n = 0; n < kPerPrinter; ++n) {
      EXPECT_EQ(endedAt[p.address][n], (n + 1) * p.ms) << p.address << " ticket " << n;
    }
  }
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (outbox.Owed() > 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(1ms);
  }
  std::lock_guard lock(mutex);
  ASSERT_EQ(reports.size(), printers.size() * kPerPrinter);
  for (const auto& [key, stats] : reports) {
    const bool healthy = key.rfind("10.0.0.3", 0) == 0 || key.rfind("10.0.0.4", 0) == 0 ||
                         key.rfind("10.0.0.5", 0) == 0;
    EXPECT_EQ(stats, std::vector<std::string>{healthy ? "1" : "-1"}) << key;
  }
}

}  // namespace
}  // namespace qv
