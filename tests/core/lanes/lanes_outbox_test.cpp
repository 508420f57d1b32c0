// The printers' lanes and the outbox together, on virtual time: a burst of tickets interleaved
// over printers that are off, deaf, slow and healthy.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "tests/fakes/wait_for.h"

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

struct BurstOutcome {
  std::map<std::string, std::vector<int64_t>> endedAt;      // per printer, in end order
  std::map<std::string, std::vector<std::string>> reports;  // per ticket key
};

// Hands `perPrinter` tickets for each printer to the lanes, interleaved as one answer lists
// them, runs them to the end on virtual time and waits for the outbox to send every result.
BurstOutcome RunBurst(const std::vector<FakePrinter>& printers, int perPrinter) {
  testing::TempDir dir;
  VirtualTime time;
  std::mutex mutex;
  BurstOutcome out;
  TicketOutbox outbox(
      [&](const std::string& key, bool printed) {
        std::lock_guard lock(mutex);
        out.reports[key].push_back(printed ? "1" : "-1");
        return ReportAnswer::Taken;
      },
      TicketOutbox::Timing{5ms, 20ms});
  outbox.Open(platform::JoinPath(dir.Path(), "tickets.journal"),
              [](const std::string&) { return false; });
  {
    PrinterLanes lanes;
    std::vector<std::pair<std::string, std::string>> held;
    std::vector<const FakePrinter*> target;
    for (int n = 0; n < perPrinter; ++n) {
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
        out.endedAt[p.address].push_back(time.NowMs());
        return p.prints;
      });
    }
    do {
      WaitUntilAllAsleep(lanes, time);
    } while (time.AdvanceToNextWake());
  }
  testing::WaitFor([&] { return outbox.Owed() == 0; });
  std::lock_guard lock(mutex);
  return out;
}

// Printers that are off cost each of their tickets a ping and the connect limit (3.4 s), a deaf
// one the delivery wait (10 s); a slow one prints in 1.5 s, a healthy one in 0.2 s or 0.1 s.
constexpr int64_t kOff = 3'400, kDeaf = 10'000;

TEST(LanesAndOutbox, HealthyPrintersEndInTheirOwnTimeAndEveryTicketIsReportedOnce) {
  struct Case {
    const char* name;
    std::vector<FakePrinter> printers;
    int perPrinter;
    bool ownPace;             // every printer's n-th ticket ends after n of its own tickets
    int64_t healthyDoneByMs;  // the last ticket of the printers that print
  };
  std::vector<FakePrinter> many = {{"10.0.1.1", 100, true},
                                   {"10.0.1.2", 100, true},
                                   {"10.0.1.3", 100, true},
                                   {"10.0.1.4", 100, true}};
  for (int n = 1; n <= 12; ++n) many.push_back({"10.0.2." + std::to_string(n), kOff, false});
  for (const Case& c : std::vector<Case>{
           {"one off, one deaf, one slow, two healthy",
            {{"10.0.0.1", kOff, false},
             {"10.0.0.2", kDeaf, false},
             {"10.0.0.3", 1'500, true},
             {"10.0.0.4", 200, true},
             {"10.0.0.5", 200, true}},
            8,
            true,
            8 * 1'500},
           // More printers off than threads: printers that have not printed share six of the
           // eight, so the four healthy ones keep the other two and print at half their pace
           // instead of waiting behind the twelve.
           {"twelve off, four healthy", many, 10, false, 2 * 10 * 100},
       }) {
    SCOPED_TRACE(c.name);
    const BurstOutcome out = RunBurst(c.printers, c.perPrinter);
    int64_t healthyLast = 0;
    for (const FakePrinter& p : c.printers) {
      const std::vector<int64_t>& ended = out.endedAt.at(p.address);
      ASSERT_EQ(ended.size(), static_cast<size_t>(c.perPrinter)) << p.address;
      if (p.prints) healthyLast = std::max(healthyLast, ended.back());
      for (int n = 0; c.ownPace && n < c.perPrinter; ++n) {
        EXPECT_EQ(ended[n], (n + 1) * p.ms) << p.address << " ticket " << n;
      }
    }
    EXPECT_LE(healthyLast, c.healthyDoneByMs);
    ASSERT_EQ(out.reports.size(), c.printers.size() * c.perPrinter);
    for (const FakePrinter& p : c.printers) {
      for (int n = 0; n < c.perPrinter; ++n) {
        const std::string key = p.address + "#" + std::to_string(n);
        EXPECT_EQ(out.reports.at(key), std::vector<std::string>{p.prints ? "1" : "-1"}) << key;
      }
    }
  }
}

}  // namespace
}  // namespace qv
