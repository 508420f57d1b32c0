#include "core/lanes/ticket_outbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/lanes/ticket_file.h"
#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"
#include "tests/fakes/wait_for.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;
using testing::WaitFor;

constexpr TicketOutbox::Timing kQuickRetry{5ms, 20ms};

// The cloud's report endpoint: takes reports while answering, else lets them time out.
class FakeReportCloud {
 public:
  SendReport Endpoint() {
    return [this](const std::string& key, bool printed) {
      std::lock_guard lock(mutex_);
      ++attempts_;
      if (!answering_) return ReportAnswer::NoAnswer;
      reports_.emplace_back(key, printed);
      return refused_.count(key) ? ReportAnswer::Refused : ReportAnswer::Taken;
    };
  }
  void Answer(bool on) {
    std::lock_guard lock(mutex_);
    answering_ = on;
  }
  void Refuse(const std::string& key) {
    std::lock_guard lock(mutex_);
    refused_.insert(key);
  }
  std::vector<std::pair<std::string, bool>> Reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  int Attempts() const {
    std::lock_guard lock(mutex_);
    return attempts_;
  }

 private:
  mutable std::mutex mutex_;
  bool answering_ = true;
  std::set<std::string> refused_;
  std::vector<std::pair<std::string, bool>> reports_;
  int attempts_ = 0;
};

auto NothingQueued() {
  return [](const std::string&) { return false; };
}

TEST(TicketFile, LinesReadBackWithTheirMarksChangedInPlace) {
  TicketLine line{"k-1", "{\"print_sn\":\"厨房\"}", TicketState::Waiting, false, 0};
  std::string text = TicketFileHeader();
  const uint64_t at = text.size();
  std::string one = TicketLineText(line);
  text += one;
  text[at + TicketStateOffset(one.size())] = 'p';
  text[at + TicketSentOffset(one.size())] = '1';
  std::vector<TicketLine> lines;
  ASSERT_EQ(ReadTicketFile(text, lines), TicketFileRead::Whole);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].key, "k-1");
  EXPECT_EQ(lines[0].task, line.task);
  EXPECT_EQ(lines[0].state, TicketState::Printing);
  EXPECT_TRUE(lines[0].sent);
  EXPECT_EQ(lines[0].offset, at);

  // An append cut off by a kill is left out; damage before the end, or another file, is not
  // read as tickets at all.
  const std::string whole = text + TicketLineText({"k-2", "", TicketState::Printed, false, 0});
  EXPECT_EQ(ReadTicketFile(whole.substr(0, whole.size() - 7), lines), TicketFileRead::TornTail);
  EXPECT_EQ(lines.size(), 1u);
  std::string damaged = whole;
  damaged[at + 3] = '#';
  for (const std::string& bad :
       {damaged, std::string("{\"journal\":\"quorvel-print-tasks\",\"version\":2}\n"),
        std::string(), std::string("not json\n")}) {
    EXPECT_EQ(ReadTicketFile(bad, lines), TicketFileRead::Unusable) << bad;
    EXPECT_TRUE(lines.empty());
  }
}

// One ticket killed at each point of its life, then a start: it is printed at most once (by the
// queue or given back here, never both) and reported once, -1 when the kill cut its print.
TEST(TicketOutbox, AKillAtAnyPointPrintsAtMostOnceAndReportsOnce) {
  enum class Point { HeldStillQueued, HeldTaken, Printing, Printed, Failed, Sent };
  struct Case {
    Point point;
    bool printAgain;  // given back to be printed
    int reports;      // sent after the start
    bool stat;        // of that report
  };
  for (const Case& c : std::vector<Case>{{Point::HeldStillQueued, false, 0, false},
                                         {Point::HeldTaken, true, 0, false},
                                         {Point::Printing, false, 1, false},
                                         {Point::Printed, false, 1, true},
                                         {Point::Failed, false, 1, false},
                                         {Point::Sent, false, 0, false}}) {
    SCOPED_TRACE(static_cast<int>(c.point));
    TempDir dir;
    const std::string path = platform::JoinPath(dir.Path(), "tickets.journal");
    const bool queued = c.point == Point::HeldStillQueued;
    {
      FakeReportCloud cloud;
      cloud.Answer(c.point == Point::Sent);
      TicketOutbox outbox(cloud.Endpoint(), kQuickRetry);
      outbox.Open(path, NothingQueued());
      const TicketId id = outbox.Hold({{"k-1", "task text"}})[0];
      if (c.point >= Point::Printing) outbox.Started(id);
      if (c.point >= Point::Printed) outbox.Ended(id, c.point != Point::Failed);
      if (c.point == Point::Sent) {
        ASSERT_TRUE(WaitFor([&] { return outbox.Owed() == 0; }));
      }
    }  // the kill: nothing more reaches the file
    FakeReportCloud cloud;
    for (int start = 0; start < 2; ++start) {
      TicketOutbox outbox(cloud.Endpoint(), kQuickRetry);
      const TicketOutbox::Restored r =
          outbox.Open(path, [&](const std::string& key) { return queued && key == "k-1"; });
      if (start == 0) {
        ASSERT_EQ(r.toPrint.size(), c.printAgain ? 1u : 0u);
        if (c.printAgain) {
          EXPECT_EQ(r.toPrint[0].second, "task text");
        }
        EXPECT_EQ(r.cutOff, c.point == Point::Printing ? 1u : 0u);
        // Known to a poll that went out at the start, though its report may have gone already.
        EXPECT_EQ(outbox.Holds("k-1", 0), c.printAgain || c.reports > 0);
        if (c.printAgain) {
          // Printed this time: the second start finds it done.
          outbox.Started(r.toPrint[0].first);
          outbox.Ended(r.toPrint[0].first, true);
        }
      } else {
        EXPECT_TRUE(r.toPrint.empty());
        EXPECT_EQ(r.owed, 0u);
      }
      ASSERT_TRUE(WaitFor([&] { return outbox.Owed() == 0; }));
    }
    const auto reports = cloud.Reports();
    ASSERT_EQ(reports.size(), static_cast<size_t>(c.reports + (c.printAgain ? 1 : 0)));
    if (c.reports == 1) {
      EXPECT_EQ(reports[0], std::make_pair(std::string("k-1"), c.stat));
    }
  }
}

// A cloud that does not answer holds no ticket: results are owed at once, their keys stay known
// (a poll must not queue them again), and once the cloud answers they go out in the order the
// tickets ended, each once; a refusal is not sent again. A start finds nothing left.
TEST(TicketOutbox, ASilentCloudHoldsNoTicketAndGetsEveryResultOnceLater) {
  TempDir dir;
  const std::string path = platform::JoinPath(dir.Path(), "tickets.journal");
  FakeReportCloud cloud;
  cloud.Answer(false);
  cloud.Refuse("k-3");
  {
    TicketOutbox outbox(cloud.Endpoint(), kQuickRetry);
    outbox.Open(path, NothingQueued());
    std::vector<std::pair<std::string, std::string>> held;
    for (int n = 1; n <= 5; ++n) held.emplace_back("k-" + std::to_string(n), "");
    const std::vector<TicketId> ids = outbox.Hold(held);
    const auto before = std::chrono::steady_clock::now();
    for (size_t n : {4, 0, 2, 1, 3}) {
      outbox.Started(ids[n]);
      outbox.Ended(ids[n], n != 2);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_EQ(outbox.Owed(), 5u);
    ASSERT_TRUE(WaitFor([&] { return cloud.Attempts() >= 3; }));  // tried again, not dropped
    EXPECT_TRUE(cloud.Reports().empty());
    const uint64_t pollMark = outbox.SentMark();
    EXPECT_TRUE(outbox.Holds("k-1", pollMark));
    cloud.Answer(true);
    ASSERT_TRUE(WaitFor([&] { return outbox.Owed() == 0; }));
    const std::vector<std::pair<std::string, bool>> expected = {
        {"k-5", true}, {"k-1", true}, {"k-3", false}, {"k-2", true}, {"k-4", true}};
    EXPECT_EQ(cloud.Reports(), expected);
    // Sent while a poll was out: its answer may still name the task, a later one may not.
    EXPECT_TRUE(outbox.Holds("k-1", pollMark));
    outbox.ForgetSentBefore(outbox.SentMark());
    EXPECT_FALSE(outbox.Holds("k-1", outbox.SentMark()));
  }
  TicketOutbox again(cloud.Endpoint(), kQuickRetry);
  const TicketOutbox::Restored r = again.Open(path, NothingQueued());
  EXPECT_TRUE(r.toPrint.empty());
  EXPECT_EQ(r.owed, 0u);
  std::string text;
  ASSERT_TRUE(platform::ReadFile(path, text));
  EXPECT_EQ(text, TicketFileHeader());  // the file shrinks back once nothing is held
}

// Results owed at a kill are sent at the next start, in the order their tickets were taken and
// ahead of the new ones; a withdrawn ticket owes none; a file that is not ours is set aside,
// not read as tickets.
TEST(TicketOutbox, OwedResultsOfAnEarlierRunGoFirstInTheirOrder) {
  TempDir dir;
  const std::string path = platform::JoinPath(dir.Path(), "tickets.journal");
  {
    FakeReportCloud down;
    down.Answer(false);
    TicketOutbox outbox(down.Endpoint(), kQuickRetry);
    outbox.Open(path, NothingQueued());
    const std::vector<TicketId> ids = outbox.Hold({{"a", ""}, {"b", ""}, {"c", ""}});
    for (size_t n : {2, 0, 1}) {
      outbox.Started(ids[n]);
      outbox.Ended(ids[n], true);
    }
  }
  FakeReportCloud cloud;
  TicketOutbox outbox(cloud.Endpoint(), kQuickRetry);
  EXPECT_EQ(outbox.Open(path, NothingQueued()).owed, 3u);
  const std::vector<TicketId> more = outbox.Hold({{"d", ""}, {"kept", ""}, {"unknown", ""}});
  outbox.Started(more[0]);
  outbox.Ended(more[0], false);
  outbox.Withdraw(more[0]);  // too late: its result is owed
  // The queue kept one after all, and nothing was done with the other: no report for either.
  outbox.Withdraw(more[1]);
  outbox.Started(more[2]);
  outbox.Withdraw(more[2]);
  EXPECT_FALSE(outbox.Holds("kept", outbox.SentMark()));
  ASSERT_TRUE(WaitFor([&] { return outbox.Owed() == 0; }));
  const std::vector<std::pair<std::string, bool>> expected = {
      {"a", true}, {"b", true}, {"c", true}, {"d", false}};
  EXPECT_EQ(cloud.Reports(), expected);

  const std::string other = platform::JoinPath(dir.Path(), "other.journal");
  ASSERT_TRUE(platform::WriteFile(other, "{\"journal\":\"quorvel-print-tasks\",\"version\":2}\n"));
  TicketOutbox fresh(cloud.Endpoint(), kQuickRetry);
  const TicketOutbox::Restored r = fresh.Open(other, NothingQueued());
  EXPECT_EQ(r.setAsidePath, other + ".bad1");
  EXPECT_TRUE(platform::FileExists(r.setAsidePath));
  EXPECT_TRUE(fresh.JournalWritable());
}

}  // namespace
}  // namespace qv
