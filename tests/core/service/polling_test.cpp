#include "core/service/polling.h"

#include <gtest/gtest.h>

#include <new>

#include "tests/fakes/core_fakes.h"

namespace qv::testing {
namespace {

// A task object of the wait answer with the given members spliced in.
std::string TaskJson(const std::string& key, const std::string& extra = "") {
  return R"({"app_id":"a1","store_id":10001,"uni_key":")" + key +
         R"(","print_type":1,"print_sn":"127.0.0.1","print_num":1,)"
         R"("print_content":[{"type":1,"text":"x"}])" +
         (extra.empty() ? "" : "," + extra) + "}";
}

std::string Answer(const std::string& data, int total = 1) {
  return R"({"code":200,"total":)" + std::to_string(total) + R"(,"data":)" + data + "}";
}

class PollingTest : public ::testing::Test {
 protected:
  std::vector<PrintTask> Queued() const {
    return {f_.state.taskQueue.begin(), f_.state.taskQueue.end()};
  }
  // One poll, its request and its answer.
  void Poll() {
    poller_.PollPrintTasks();
    f_.Settle();
  }
  CoreFixture f_;
  RecordingStatusView view_;
  Poller poller_{f_.services, view_};
};

TEST_F(PollingTest, EveryOutcomeOfAnAnswer) {
  struct Case {
    std::string body;
    std::string last;  // after the stamp of the next poll
    std::string log;   // run-log message, empty for none
    size_t queued;
  };
  const std::string task = TaskJson("k1");
  const std::vector<Case> cases = {
      {"", "[DE_1]", "解析主包失败，错误行：0  错误内容：", 0},
      {"null", "[DE_1]", "解析主包失败，错误行：0  错误内容：", 0},
      {R"({"code":201})", "[CODE:201]", "返回状态码错误", 0},
      {R"({"code":500,"total":1,"data":[)" + task + "]}", "[CODE:500]", "返回状态码错误", 0},
      {R"({"code":"200","total":1,"data":[)" + task + "]}", "[Task:1]", "", 1},
      {Answer("[" + task + "]", 0), "[No Task]", "", 0},
      {Answer(R"("abc")"), "[DE_2]", "解析data失败，错误行：0  错误内容：", 0},
      {R"({"code":200,"total":1})", "[DE_2]", "解析data失败，错误行：0  错误内容：", 0},
      // A note cut in the middle of an emoji: the task still arrives.
      {Answer("[" + TaskJson("k2", R"("note":"\ud83d")") + "]"), "[Task:1]", "", 1},
      {Answer("[]"), "[Task is empty]", "", 0},
      {Answer("{}"), "[Task is empty]", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    CoreFixture fx;
    RecordingStatusView v;
    fx.state.pollSeconds = 3;
    Poller p(fx.services, v);
    fx.cloud.answers = {c.body};
    EXPECT_TRUE(p.PollPrintTasks());
    // Until its answer is in, the poll is under way and nothing else has changed.
    EXPECT_TRUE(fx.state.pollBusy);
    EXPECT_EQ(v.last, "无");
    fx.Settle();
    // 9:05:04 now, the next poll 3 seconds later.
    EXPECT_EQ(v.last, "2026年3月7日9时5分7秒" + c.last);
    EXPECT_EQ(fx.state.taskQueue.Size(), c.queued);
    EXPECT_FALSE(fx.state.pollBusy);
    std::vector<std::string> expectedLog;
    if (!c.log.empty()) expectedLog.push_back(c.log);
    EXPECT_EQ(fx.LogMessages(), expectedLog);
    // Only an answer that brings neither a task nor a log line may wait for the UI thread's
    // next wake; the others are taken in at once.
    EXPECT_EQ(fx.unhurriedPosts, c.queued == 0 && c.log.empty() ? 1 : 0);
  }
}

TEST_F(PollingTest, AnswerTooLargeForTheMemoryLeftFailsOnlyThatPoll) {
  struct ExhaustedCloud : FakeTaskCloud {
    std::string FetchWaitingTasksBody(const ServiceConfig&) override { throw std::bad_alloc(); }
  } exhausted;
  ServiceLanes lanes{f_.cloudJobs, exhausted, f_.printJobs, f_.cloud, f_.printers, f_.lanes.post};
  CoreServices services{f_.config, f_.state, f_.runLog, f_.debugLog, f_.clock, lanes};
  Poller p(services, view_);
  EXPECT_TRUE(p.PollPrintTasks());
  f_.Settle();
  EXPECT_FALSE(f_.state.pollBusy);  // the next poll may run
  EXPECT_NE(view_.last.find("[DE_1]"), std::string::npos);
  EXPECT_EQ(f_.LogMessages(), std::vector<std::string>{"内存不足，无法处理本次查询的应答"});
}

TEST_F(PollingTest, AnswerThatIsNotJsonLogsTheParsersLineAndText) {
  f_.cloud.answers = {"{\"code\":200,\n  oops}"};
  Poll();
  ASSERT_EQ(f_.LogMessages().size(), 1u);
  EXPECT_EQ(f_.LogMessages()[0].rfind("解析主包失败，错误行：2  错误内容：", 0), 0u)
      << f_.LogMessages()[0];
  EXPECT_NE(f_.LogMessages()[0].find("oops"), std::string::npos);
}

TEST_F(PollingTest, BuildsTasksWithLimitsAndStringForms) {
  const std::string content = R"([{"type":1,"text":"甲"}])";
  f_.cloud.answers = {
      Answer("[" + TaskJson("n0", R"("print_num":0)") + "," + TaskJson("n9", R"("print_num":9)") +
                 "," + R"({"uni_key":"s","print_type":"3","print_sn":"1","print_content":")" +
                 R"([{\"type\":1,\"text\":\"甲\"}]"}])",
             3)};
  Poll();
  const std::vector<PrintTask> q = Queued();
  ASSERT_EQ(q.size(), 3u);
  EXPECT_EQ(q[0].uni_key, "n0");
  EXPECT_EQ(q[0].print_num, 1);
  EXPECT_EQ(q[1].print_num, 5);
  EXPECT_EQ(q[2].print_num, 1);  // missing
  EXPECT_EQ(q[2].print_type, 3);
  EXPECT_EQ(q[2].print_sn, "1");
  EXPECT_EQ(q[2].print_content, content);  // given as a string holding the array
  EXPECT_EQ(q[0].app_id, "null");          // a plain string read as JSON text evaluates to null
  EXPECT_EQ(q[0].store_id, "10001");
  EXPECT_EQ(view_.pollLine, "查询次数[1]/记录数[3]");
  EXPECT_EQ(view_.last, "2026年3月7日9时5分7秒[Task:3]");
}

TEST_F(PollingTest, DataGivenAsAStringIsRead) {
  f_.cloud.answers = {R"({"code":200,"total":1,"data":"[{\"uni_key\":\"k\",\"print_type\":1}]"})"};
  Poll();
  ASSERT_EQ(f_.state.taskQueue.Size(), 1u);
  EXPECT_EQ(f_.state.taskQueue.Front().uni_key, "k");
}

TEST_F(PollingTest, TaskAlreadyWaitingOrPrintingIsNotQueuedAgain) {
  const std::string a = TaskJson("A"), b = TaskJson("B"), keyless = TaskJson("");
  f_.cloud.answers = {Answer("[" + a + "," + a + "," + keyless + "," + keyless + "]", 4),
                      Answer("[" + a + "," + b + "]", 2), Answer("[" + a + "]")};
  Poll();
  Poll();
  std::vector<std::string> keys;
  for (const PrintTask& t : f_.state.taskQueue) keys.push_back(t.uni_key);
  // Tasks without a key cannot be told apart, so they are all kept.
  EXPECT_EQ(keys, (std::vector<std::string>{"A", "", "", "B"}));
  EXPECT_EQ(poller_.recordCount(), 6);  // every task received counts

  // A taken for printing: still not queued again while it prints.
  std::optional<PrintTask> taken = f_.state.taskQueue.TakeFirst();
  Poll();
  EXPECT_EQ(f_.state.taskQueue.Size(), 3u);
  f_.state.taskQueue.FinishPrinting();
  f_.cloud.answers = {Answer("[" + a + "]")};
  Poll();
  EXPECT_EQ(f_.state.taskQueue.Size(), 4u);

  // B ends while a poll is out: that poll's answer was made before B's report reached the
  // cloud and may name B again; a later answer that names it is a new delivery.
  for (int keyless = 0; keyless < 2; ++keyless) {
    f_.state.taskQueue.TakeFirst();
    f_.state.taskQueue.FinishPrinting();
  }
  ASSERT_EQ(f_.state.taskQueue.TakeFirst()->uni_key, "B");
  f_.cloud.answers = {Answer("[" + b + "]"), Answer("[" + b + "]")};
  poller_.PollPrintTasks();
  f_.state.taskQueue.FinishPrinting();
  f_.Settle();
  EXPECT_EQ(f_.state.taskQueue.Size(), 1u);  // A
  Poll();
  EXPECT_EQ(f_.state.taskQueue.Size(), 2u);
}

TEST_F(PollingTest, AnswerIsTakenInWhenThePollerWentMeanwhile) {
  f_.cloud.answers = {Answer("[" + TaskJson("late") + "]")};
  {
    RecordingStatusView v;
    Poller gone(f_.services, v);
    gone.StartPolling();
  }
  // A new run of the service while the first poll is still out: no second poll goes out.
  poller_.StartPolling();
  f_.Settle();
  EXPECT_EQ(f_.cloud.fetches, 1);
  EXPECT_EQ(Queued().size(), 1u);
  EXPECT_FALSE(f_.state.pollBusy);
  EXPECT_EQ(view_.last, "无");
  poller_.PollTimerTick();
  poller_.PollTimerTick();
  poller_.PollTimerTick();
  poller_.PollTimerTick();
  f_.Settle();
  EXPECT_EQ(f_.cloud.fetches, 2);
}

TEST_F(PollingTest, RequestCarriesTheConfigurationOfItsStart) {
  f_.config.server = "cloud.example";
  poller_.PollPrintTasks();
  // Edited while the request waits for its lane: the request is not touched.
  f_.config.sid = "20002";
  f_.Settle();
  EXPECT_EQ(f_.cloud.pollTargets, std::vector<std::string>{"cloud.example 10001"});
}

TEST_F(PollingTest, NoStoreIdMeansNoRequestAndNoChange) {
  f_.config.sid.clear();
  poller_.StartPolling();
  for (int i = 0; i < 10; ++i) poller_.PollTimerTick();
  f_.Settle();
  EXPECT_EQ(f_.cloud.fetches, 0);
  EXPECT_EQ(view_.pollLine, "无");
  EXPECT_EQ(view_.last, "无");
  EXPECT_EQ(poller_.pollCount(), 0);
}

TEST_F(PollingTest, TimerPollsEveryIntervalAfterTheStartPoll) {
  f_.state.pollSeconds = 3;
  f_.cloud.answers = {Answer("[" + TaskJson("k") + "]"), R"({"code":201})", Answer("[]")};
  auto tick = [this] {
    poller_.PollTimerTick();
    f_.Settle();
  };
  poller_.StartPolling();
  f_.Settle();
  EXPECT_EQ(f_.cloud.fetches, 1);
  EXPECT_EQ(view_.pollLine, "查询次数[1]/记录数[1]");
  const std::string first = view_.last;
  tick();
  tick();
  EXPECT_EQ(f_.cloud.fetches, 1);
  poller_.PollTimerTick();
  EXPECT_EQ(view_.pollLine, "查询[2]次/记录数[1]");  // while the request is out
  f_.Settle();
  EXPECT_EQ(f_.cloud.fetches, 2);
  EXPECT_EQ(view_.previous, first);
  EXPECT_EQ(view_.pollLine, "查询[2]次/记录数[1]");  // a failed poll leaves the first form
  EXPECT_EQ(view_.last, "2026年3月7日9时5分7秒[CODE:201]");

  // Ticks while a poll is out restart the count: the next one comes a full interval after
  // its answer.
  tick();
  tick();
  poller_.PollTimerTick();  // the third poll goes out
  poller_.PollTimerTick();
  poller_.PollTimerTick();
  EXPECT_EQ(f_.cloud.fetches, 2);
  f_.Settle();
  EXPECT_EQ(f_.cloud.fetches, 3);
  tick();
  tick();
  EXPECT_EQ(f_.cloud.fetches, 3);
  tick();
  EXPECT_EQ(f_.cloud.fetches, 4);
  EXPECT_EQ(view_.previous, "2026年3月7日9时5分7秒[Task is empty]");
}

// Lets the test's loop rest while the service is idle, as the headless loop does.
class IdlePollingTest : public PollingTest {
 protected:
  void SetUp() override {
    f_.lanes.restUntilPosted = [this] {
      ++rests_;
      return canRest_;
    };
  }
  // Lets the delayed polls fall due and runs them until none is left.
  void RunDelayedPolls() {
    while (!f_.cloudJobs.delayed.empty()) {
      f_.cloudJobs.DelayedFallsDue();
      f_.cloudJobs.RunAll();
    }
  }
  int rests_ = 0;
  bool canRest_ = true;
};

TEST_F(IdlePollingTest, PollsThatFindNothingFollowOnTheCloudLaneUntilOneFindsSomething) {
  f_.state.pollSeconds = 2;
  f_.cloud.answers = {Answer("[]", 0), Answer("[]"), Answer("[" + TaskJson("k") + "]")};
  poller_.StartPolling();
  EXPECT_EQ(rests_, 1);
  f_.cloudJobs.RunAll();
  EXPECT_TRUE(f_.ui.jobs.empty());  // nothing handed back, nothing to wake for
  ASSERT_EQ(f_.cloudJobs.delayed.size(), 1u);
  EXPECT_EQ(f_.cloudJobs.delays.back(), std::chrono::seconds(2));
  // A tick meanwhile (the loop woke for a timer started later) lets the loop rest again.
  poller_.PollTimerTick();
  EXPECT_EQ(rests_, 2);
  EXPECT_EQ(f_.cloud.fetches, 1);

  RunDelayedPolls();
  EXPECT_EQ(f_.cloud.fetches, 3);
  EXPECT_EQ(f_.unhurriedPosts, 0);  // the loop rests: the answer must wake it
  ASSERT_EQ(f_.ui.jobs.size(), 1u);
  EXPECT_TRUE(f_.state.pollBusy);
  f_.ui.RunAll();
  EXPECT_FALSE(f_.state.pollBusy);
  EXPECT_EQ(Queued().size(), 1u);
  EXPECT_EQ(poller_.pollCount(), 3);
  EXPECT_EQ(view_.pollLine, "查询次数[3]/记录数[1]");

  // With a task waiting, every answer comes back to the loop's timer as before.
  f_.cloud.answers = {Answer("[]")};
  poller_.PollPrintTasks();
  f_.Settle();
  EXPECT_EQ(rests_, 2);
  EXPECT_EQ(f_.unhurriedPosts, 1);
  EXPECT_TRUE(f_.cloudJobs.delayed.empty());
}

TEST_F(IdlePollingTest, ARunEndsWithItsPollerOrItsLastPollAndNeedsALoopThatRests) {
  {
    RecordingStatusView v;
    Poller gone(f_.services, v);
    f_.cloud.answers = {Answer("[]")};
    gone.StartPolling();
    f_.cloudJobs.RunAll();
  }
  RunDelayedPolls();
  EXPECT_EQ(f_.cloud.fetches, 1);  // no poll after the poller went
  f_.ui.RunAll();
  EXPECT_FALSE(f_.state.pollBusy);

  // A long quiet spell hands back now and then, so the loop's counters keep up.
  f_.cloud.answers.assign(200, Answer("[]"));
  poller_.PollPrintTasks();
  f_.cloudJobs.RunAll();
  RunDelayedPolls();
  EXPECT_EQ(f_.cloud.fetches, 61);
  f_.ui.RunAll();
  EXPECT_EQ(poller_.pollCount(), 60);
  EXPECT_FALSE(f_.state.pollBusy);

  canRest_ = false;
  poller_.PollPrintTasks();
  f_.Settle();
  EXPECT_TRUE(f_.cloudJobs.delayed.empty());
  EXPECT_EQ(f_.unhurriedPosts, 1);
}

// The program's ending waits for an answer only while one may come: a run parked between two
// polls asks nothing more once ended, while a poll being asked (or one outside a run) is
// waited for; an ending service starts no poll.
TEST_F(IdlePollingTest, AnEndedRunParkedBetweenPollsExpectsNoAnswer) {
  f_.cloud.answers = {Answer("[]")};
  poller_.StartPolling();
  f_.cloudJobs.RunAll();
  ASSERT_EQ(f_.cloudJobs.delayed.size(), 1u);
  poller_.EndRun();
  f_.state.ending = true;
  EXPECT_FALSE(poller_.AnswerMayCome()) << "parked, and its next turn asks nothing";
  RunDelayedPolls();
  EXPECT_EQ(f_.cloud.fetches, 1);
  f_.ui.RunAll();
  EXPECT_FALSE(f_.state.pollBusy);
  EXPECT_FALSE(poller_.PollPrintTasks());

  f_.state.ending = false;
  canRest_ = false;
  poller_.PollPrintTasks();
  EXPECT_TRUE(poller_.AnswerMayCome()) << "outside a run every poll is waited for";
}

TEST_F(PollingTest, StampOfTheNextPollCarriesOverMidnightAndNewYear) {
  f_.clock.Set({2026, 12, 31, 23, 59, 58});
  f_.state.pollSeconds = 3;
  Poller p(f_.services, view_);
  f_.cloud.answers = {Answer("[]")};
  p.PollPrintTasks();
  f_.Settle();
  EXPECT_EQ(view_.last, "2027年1月1日0时0分1秒[Task is empty]");
}

}  // namespace
}  // namespace qv::testing
