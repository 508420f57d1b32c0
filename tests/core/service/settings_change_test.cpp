// Settings changed while a poll and a print are out: what is under way keeps the values it was
// handed, everything started afterwards takes the new ones.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/service/polling.h"
#include "core/service/print_job.h"
#include "tests/fakes/core_fakes.h"

namespace qv::testing {
namespace {

PrintTask SpoolerTask(const std::string& key) {
  PrintTask t;
  t.uni_key = key;
  t.print_type = 2;
  t.print_sn = "POS-80";
  t.print_content = R"([{"type":1,"text":"x"}])";
  return t;
}

// The printer operations that settings decide, one ticket per "|": where it went, the feed
// after each copy and the cut.
std::string Tickets(const std::vector<std::string>& ops) {
  std::string out;
  for (const std::string& op : ops) {
    if (op.rfind("open spooler ", 0) == 0) out += "spooler";
    if (op.rfind("open lpt ", 0) == 0) out += "lpt" + op.substr(9, 1);
    if (op.rfind("feed ", 0) == 0) out += " feed" + op.substr(5);
    if (op == "cut") out += " cut";
    if (op.find(" close ") != std::string::npos) out += "|";
  }
  return out;
}

TEST(SettingsChange, WorkUnderWayKeepsItsValuesAndTheNextTakesTheNewOnes) {
  struct Case {
    const char* name;
    std::function<void(ServiceState&, ServiceConfig&)> change;
    std::string tickets;                  // first (under way), second, then the polled one
    std::vector<std::string> reportSids;  // the store each report went to
    std::string nextPoll;                 // "server sid" of the poll after the change
  };
  const std::vector<Case> cases = {
      {"feed lowered",
       [](ServiceState& s, ServiceConfig&) { s.print.feedLines = 2; },
       "spooler feed5 cut|spooler feed2 cut|spooler feed2 cut|",
       {"10001", "10001", "10001"},
       "127.0.0.1:1 10001"},
      {"feed above the limit, checked where it is applied",
       [](ServiceState& s, ServiceConfig&) {
         s.print = CheckedPrintSettings({.feedLines = 40, .usbFallbackPort = 0, .autoCut = true});
       },
       "spooler feed5 cut|spooler feed15 cut|spooler feed15 cut|",
       {"10001", "10001", "10001"},
       "127.0.0.1:1 10001"},
      {"cut turned off",
       [](ServiceState& s, ServiceConfig&) { s.print.autoCut = false; },
       "spooler feed5 cut|spooler feed5|spooler feed5|",
       {"10001", "10001", "10001"},
       "127.0.0.1:1 10001"},
      {"USB printing moved to LPT2",
       [](ServiceState& s, ServiceConfig&) { s.print.usbFallbackPort = 2; },
       "spooler feed5 cut|lpt2 feed5 cut|lpt2 feed5 cut|",
       {"10001", "10001", "10001"},
       "127.0.0.1:1 10001"},
      {"another store on another server",
       [](ServiceState&, ServiceConfig& c) {
         c.server = "cloud.example";
         c.sid = "20002";
       },
       "spooler feed5 cut|spooler feed5 cut|spooler feed5 cut|",
       {"10001", "20002", "20002"},
       "cloud.example 20002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CoreFixture f;
    RecordingShell shell;
    RecordingStatusView view;
    PrintJobRunner runner(f.services, shell);
    Poller poller(f.services, view);
    f.cloud.answers = {
        R"({"code":200,"total":1,"data":[{"uni_key":"polled","print_type":2,)"
        R"("print_sn":"POS-80","print_num":1,"print_content":[{"type":1,"text":"x"}]}]})"};
    f.state.taskQueue.Append(std::vector<PrintTask>{SpoolerTask("first"), SpoolerTask("second")});

    runner.ExecuteNextTask();              // "first" waits on the printer lane
    ASSERT_TRUE(poller.PollPrintTasks());  // the poll waits on the cloud lane
    c.change(f.state, f.config);
    f.Settle();

    EXPECT_EQ(Tickets(f.printers.ops), c.tickets);
    ASSERT_EQ(f.cloud.reports.size(), 3u);
    std::vector<std::string> sids;
    for (const auto& r : f.cloud.reports) sids.push_back(r.sid);
    EXPECT_EQ(sids, c.reportSids);
    EXPECT_EQ(f.cloud.reports[2].uniKey, "polled");
    EXPECT_EQ(f.cloud.pollTargets, std::vector<std::string>{"127.0.0.1:1 10001"});
    EXPECT_FALSE(f.state.printBusy);
    EXPECT_FALSE(f.state.pollBusy);

    ASSERT_TRUE(poller.PollPrintTasks());
    f.Settle();
    ASSERT_EQ(f.cloud.pollTargets.size(), 2u);
    EXPECT_EQ(f.cloud.pollTargets[1], c.nextPoll);
  }
}

}  // namespace
}  // namespace qv::testing
