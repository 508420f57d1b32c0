#include <gtest/gtest.h>

#include <functional>

#include "shell/cashier_window.h"
#include "shell/program_ending.h"
#include "shell/service_window.h"
#include "tests/fakes/shell_fakes.h"

namespace qv::shell {
namespace {

constexpr const char* kOneTask =
    R"({"code":200,"total":1,"data":"[{\"uni_key\":\"fetched\",\"print_type\":1}]"})";

struct ProgramEndingTest : ShellFixture, ::testing::Test {
  ProgramEndingTest() {
    state.taskQueue.OpenJournal(platform::JoinPath(dir.Path(), kTaskJournalName), &runLog);
  }
  // The service running, its poll out and the ticket "printing" in hand on the printer lane.
  void Busy() {
    Started();
    for (int i = 0; i < 3; ++i) toolkit.TickTimers();  // the splash starts the service
    cloudJobs.RunFirst();                              // the printer list report
    ui.RunAll();
    PrintTask task;
    task.uni_key = "printing";
    task.print_type = 1;
    state.taskQueue.Append(task);
    toolkit.TickTimers();
    ASSERT_TRUE(state.pollBusy && state.printBusy);
  }
  int RunningTimers() const {
    int running = 0;
    for (int ms : toolkit.TimerIntervals()) running += ms > 0 ? 1 : 0;
    return running;
  }
  bool LogSays(const std::string& text) const {
    for (const std::string& m : LogMessages()) {
      if (m.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// Every way of asking goes the same way: nothing new starts, the poll's answer is taken in
// and journaled, the ticket ends, and only then the loop ends, with the session held meanwhile.
struct EveryCause : ProgramEndingTest,
                    ::testing::WithParamInterface<std::function<void(ProgramEndingTest&)>> {};

TEST_P(EveryCause, WaitsForThePollAndTheTicketThenEnds) {
  Busy();
  cloud.answers = {kOneTask};
  GetParam()(*this);
  EXPECT_EQ(RunningTimers(), 1) << "only the ending's timer: no new poll or print";
  EXPECT_TRUE(
      toolkit.State(*toolkit.Find<ui::Label>(*Window("Tillora"), "结束任务中请稍等"))->visible);
  EXPECT_EQ(toolkit.SessionHolds(), std::vector<std::string>{"正在完成打印任务"});

  toolkit.TickTimers();
  EXPECT_FALSE(toolkit.QuitCalled());
  cloudJobs.RunAll();  // the poll's answer comes
  ui.RunAll();
  EXPECT_TRUE(state.taskQueue.Contains("fetched")) << "taken in and journaled";
  toolkit.TickTimers();
  EXPECT_FALSE(toolkit.QuitCalled()) << "the ticket is still in hand";
  printJobs.RunAll();
  ui.RunAll();
  EXPECT_EQ(cloud.reports.size(), 1u);
  EXPECT_EQ(cloud.fetches, 1) << "no second poll";
  EXPECT_TRUE(printJobs.jobs.empty()) << "the fetched task waits for the next start";
  toolkit.TickTimers();
  EXPECT_TRUE(toolkit.QuitCalled());
  EXPECT_FALSE(shell->EndCutShort());
  EXPECT_EQ(toolkit.SessionHolds().back(), "");
  EXPECT_TRUE(LogSays("程序退出：已等待查询任务的应答、正在打印的小票完成"));

  // What the next start reads back.
  ServiceState again;
  again.taskQueue.OpenJournal(platform::JoinPath(dir.Path(), kTaskJournalName), nullptr);
  ASSERT_EQ(again.taskQueue.Size(), 1u);
  EXPECT_EQ(again.taskQueue.Front().uni_key, "fetched");
}

INSTANTIATE_TEST_SUITE_P(
    Causes, EveryCause,
    ::testing::Values(
        [](ProgramEndingTest& t) {
          EXPECT_FALSE(t.Window("Tillora")->RequestClose());  // the window's close, the installer
        },
        [](ProgramEndingTest& t) { t.shell->RequestEnd("收到系统的结束请求"); },  // SIGTERM
        [](ProgramEndingTest& t) { t.toolkit.EndSession(); }));                   // logoff

TEST_F(ProgramEndingTest, NothingInHandEndsAtTheFirstTickWithoutHoldingTheSession) {
  state.autoRunService = false;
  Started();
  shell->RequestEnd("收到系统的结束请求");
  shell->RequestEnd("收银窗口关闭");  // a second request changes nothing
  toolkit.TickTimers();
  EXPECT_TRUE(toolkit.QuitCalled());
  EXPECT_TRUE(toolkit.SessionHolds().empty() || toolkit.SessionHolds().back().empty());
  EXPECT_TRUE(LogSays("程序退出：没有进行中的任务"));
  EXPECT_EQ(Window("同步数据中"), nullptr) << "the splash would start the service";
}

TEST_F(ProgramEndingTest, AStoreSettingsSaveWhoseCheckIsOutIsAppliedFirst) {
  state.autoRunService = false;
  Started();
  toolkit.TitleBarAction(*Window("Tillora"), kSettingsAction);
  std::vector<ui::EditBox*> boxes;
  for (ui::MemoryControl* c : toolkit.Controls(*Window("设置"))) {
    if (auto* box = dynamic_cast<ui::EditBox*>(&c->control)) boxes.push_back(box);
  }
  boxes.at(1)->SetText("20002");
  uplink.answer = R"({"code":200})";
  Find<ui::Button>("设置", "保存")->Click();
  shell->RequestEnd("收到系统的结束请求");
  toolkit.TickTimers();
  EXPECT_FALSE(toolkit.QuitCalled()) << "the server check is out";
  Settle();
  EXPECT_EQ(config.sid, "20002");
  toolkit.TickTimers();
  EXPECT_TRUE(toolkit.QuitCalled());
}

// The bound: a cloud or a printer that never lets go. A ticket whose outcome is not settled
// goes back on record for the next start; one whose report is going out does not.
struct CutShort : ProgramEndingTest, ::testing::WithParamInterface<bool> {};

TEST_P(CutShort, EndsAtTheBoundWithTheTicketOnRecordUnlessSettled) {
  const bool settled = GetParam();
  Busy();
  state.ticketInHand->settled = settled;
  shell->RequestEnd("收到系统的结束请求");
  clock.AdvanceMs(kEndWaitMs - 1);
  toolkit.TickTimers();
  EXPECT_FALSE(toolkit.QuitCalled());
  clock.AdvanceMs(1);
  toolkit.TickTimers();
  EXPECT_TRUE(toolkit.QuitCalled());
  EXPECT_TRUE(shell->EndCutShort());
  EXPECT_TRUE(LogSays("程序退出：等待查询任务的应答、正在打印的小票超过18.0秒，不再等待"));

  ServiceState again;
  again.taskQueue.OpenJournal(platform::JoinPath(dir.Path(), kTaskJournalName), nullptr);
  EXPECT_EQ(again.taskQueue.Size(), settled ? 0u : 1u);
  EXPECT_EQ(LogSays("小票[printing]未打印完成，已保存，下次启动时重新打印"), !settled);
  EXPECT_EQ(LogSays("小票[printing]的打印结果未能上报"), settled);
}

INSTANTIATE_TEST_SUITE_P(Ticket, CutShort, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Settled" : "NotSettled"; });

TEST_F(ProgramEndingTest, AnExchangeThatComesBackAfterTheShellIsDroppedUnharmed) {
  Busy();
  shell->ReportPrinterList();
  shell.reset();
  Settle();  // under ASan: the result must not reach the destroyed shell
  EXPECT_EQ(uplink.sends, 2);
}

}  // namespace
}  // namespace qv::shell
