#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/ui/posted_tasks_check.h"
#include "ui/headless/headless_toolkit.h"

namespace qv::ui {
namespace {

TEST(HeadlessLoop, TimersFireInDueOrderAndQuitEndsTheLoop) {
  auto toolkit = CreateHeadlessToolkit();
  std::vector<std::string> ticks;
  std::unique_ptr<Timer> fast, slow;
  fast = toolkit->CreateTimer([&] { ticks.push_back("fast"); });
  slow = toolkit->CreateTimer([&] {
    ticks.push_back("slow");
    toolkit->Quit(7);
  });
  slow->SetInterval(70);
  fast->SetInterval(20);  // due at 20, 40, 60 ms: all before the slow one

  EXPECT_EQ(toolkit->Run(), 7);
  EXPECT_EQ(ticks, (std::vector<std::string>{"fast", "fast", "fast", "slow"}));
}

TEST(HeadlessLoop, RestartCountsFromNow) {
  auto toolkit = CreateHeadlessToolkit();
  std::vector<std::string> ticks;
  std::unique_ptr<Timer> a, b, c;
  a = toolkit->CreateTimer([&] {
    ticks.push_back("a");
    toolkit->Quit(0);
  });
  b = toolkit->CreateTimer([&] {
    ticks.push_back("b");
    b->SetInterval(0);
    a->SetInterval(30);  // due 30 ms after this tick, not at the 30 ms first planned
  });
  c = toolkit->CreateTimer([&] {
    ticks.push_back("c");
    c->SetInterval(0);
  });
  a->SetInterval(30);
  b->SetInterval(20);
  c->SetInterval(40);

  EXPECT_EQ(toolkit->Run(), 0);
  EXPECT_EQ(ticks, (std::vector<std::string>{"b", "c", "a"}));
}

TEST(HeadlessLoop, IntervalZeroStops) {
  auto toolkit = CreateHeadlessToolkit();
  int stoppedTicks = 0;
  int ticks = 0;
  auto stopped = toolkit->CreateTimer([&] { ++stoppedTicks; });
  std::unique_ptr<Timer> self;
  self = toolkit->CreateTimer([&] {
    if (++ticks == 3) self->SetInterval(0);  // stops itself from inside its tick
  });
  stopped->SetInterval(5);
  stopped->SetInterval(0);
  stopped->SetInterval(-4);
  self->SetInterval(5);

  // With every timer stopped nothing can happen any more, so the loop returns by itself.
  EXPECT_EQ(toolkit->Run(), 0);
  EXPECT_EQ(stoppedTicks, 0);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(self->Interval(), 0);
}

TEST(HeadlessLoop, ATickMayDestroyTimersAndWindows) {
  auto toolkit = CreateHeadlessToolkit();
  auto window = toolkit->NewWindow({.title = "同步数据中"});
  int otherTicks = 0;
  std::unique_ptr<Timer> other = toolkit->CreateTimer([&] { ++otherTicks; });
  std::unique_ptr<Timer> killer;
  killer = toolkit->CreateTimer([&] {
    other.reset();
    window.reset();
    killer.reset();  // destroys the timer whose tick is running
    toolkit->Quit(1);
  });
  other->SetInterval(30);
  killer->SetInterval(10);

  EXPECT_EQ(toolkit->Run(), 1);
  EXPECT_EQ(otherTicks, 0);
  EXPECT_EQ(window, nullptr);
}

TEST(HeadlessLoop, QuitBeforeRunReturnsAtOnceAndMessagesAnswerOk) {
  auto toolkit = CreateHeadlessToolkit();
  auto tick = toolkit->CreateTimer([] { FAIL() << "the loop must not run"; });
  tick->SetInterval(1);
  toolkit->Quit(3);
  EXPECT_EQ(toolkit->Run(), 3);

  testing::internal::CaptureStderr();
  MessageResult answer = toolkit->ShowMessage({.text = "确定取消吗",
                                               .caption = "询问",
                                               .buttons = MessageButtons::OkCancel,
                                               .icon = MessageIcon::Question});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[询问] 确定取消吗\n");
  EXPECT_EQ(answer, MessageResult::Ok);
}

// A terminal has no tray: the alert is a line on stderr, whether or not an icon was put up,
// and an empty alert is none.
TEST(HeadlessLoop, TrayAlertsGoToStderr) {
  auto toolkit = CreateHeadlessToolkit();
  auto icon = toolkit->CreateTrayIcon([] {});
  testing::internal::CaptureStderr();
  icon->Notify("打印机需要处理", "厨房 192.168.1.50：无法连接，1 张小票未打印", AlertSound::On);
  icon->Notify("打印机需要处理", "", AlertSound::Off);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "打印机需要处理: 厨房 192.168.1.50：无法连接，1 张小票未打印\n");
}

TEST(HeadlessLoop, PostedTasksWakeTheLoopAndRunInOrderOnItsThread) {
  auto toolkit = CreateHeadlessToolkit();
  // The only timer is far off: without the posts' wake the loop would sleep through them.
  auto far = toolkit->CreateTimer([&] { toolkit->Quit(1); });
  far->SetInterval(60000);
  ExpectPostedTasksRunOnTheLoopInOrder(*toolkit);

  // A task posted before the loop runs waits for it; one posted by a task runs after it.
  std::vector<std::string> ran;
  toolkit->Post([&] {
    ran.push_back("first");
    toolkit->Post([&] {
      ran.push_back("posted by the first");
      toolkit->Quit(0);
    });
    ran.push_back("first, after posting");
  });
  EXPECT_TRUE(ran.empty());
  toolkit->Run();
  EXPECT_EQ(ran,
            (std::vector<std::string>{"first", "first, after posting", "posted by the first"}));

  // With no timer running and nothing posted, nothing can happen: Run() returns at once.
  far->SetInterval(0);
  toolkit->Run();
}

// An unhurried task is posted from another thread while the loop sleeps; `then` runs on that
// thread a while later. Started from a task posted before Run(), so the loop is asleep by the
// time the task comes.
void PostUnhurriedWhileAsleep(Toolkit& toolkit, std::vector<std::string>& ran,
                              std::function<void()> then) {
  toolkit.Post([&toolkit, &ran, then = std::move(then)] {
    std::thread([&toolkit, &ran, then] {
      auto later = std::make_shared<std::atomic<bool>>(false);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      toolkit.PostUnhurried([&ran, later] {
        ran.push_back(*later ? "unhurried, after the wait" : "unhurried, at once");
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      *later = true;
      then();
    }).detach();
  });
}

TEST(HeadlessLoop, UnhurriedTasksWaitForTheNextTickAndRunBeforeIt) {
  auto toolkit = CreateHeadlessToolkit();
  std::vector<std::string> ran;
  auto tick = toolkit->CreateTimer([&] {
    ran.push_back("tick");
    toolkit->Quit(0);
  });
  tick->SetInterval(800);
  PostUnhurriedWhileAsleep(*toolkit, ran, [] {});
  toolkit->Run();
  EXPECT_EQ(ran, (std::vector<std::string>{"unhurried, after the wait", "tick"}));
}

TEST(HeadlessLoop, APostWakesTheLoopForTheUnhurriedTasksBeforeIt) {
  auto toolkit = CreateHeadlessToolkit();
  std::vector<std::string> ran;
  auto far = toolkit->CreateTimer([&] { toolkit->Quit(1); });
  far->SetInterval(60000);
  std::atomic<bool> posted = false;
  PostUnhurriedWhileAsleep(*toolkit, ran, [&] {
    toolkit->Post([&] {
      ran.push_back("posted");
      toolkit->Quit(0);
    });
    posted = true;
  });
  EXPECT_EQ(toolkit->Run(), 0);
  EXPECT_EQ(ran, (std::vector<std::string>{"unhurried, after the wait", "posted"}));
  // The helper thread is done with the toolkit once it has posted.
  while (!posted) std::this_thread::yield();
}

TEST(HeadlessLoop, ARestingLoopSleepsThroughItsTicksUntilAPost) {
  auto toolkit = CreateHeadlessToolkit();
  std::vector<std::string> ran;
  int ticks = 0;
  auto timer = toolkit->CreateTimer([&] {
    // After the rest, the tick that came late stands for all it missed.
    if (++ticks == 2) toolkit->Quit(0);
    ran.push_back("tick");
  });
  timer->SetInterval(50);
  EXPECT_TRUE(toolkit->RestUntilPosted());
  std::atomic<bool> posted = false;
  std::thread([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    toolkit->Post([&] { ran.push_back("posted"); });
    posted = true;
  }).detach();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(toolkit->Run(), 0);
  const auto slept = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(ran, (std::vector<std::string>{"posted", "tick", "tick"}));
  // A lower bound, not a speed figure: the second tick came an interval after the first
  // rather than at once to make up for the ones missed.
  EXPECT_GE(slept, std::chrono::milliseconds(440));
  while (!posted) std::this_thread::yield();
}

TEST(HeadlessLoop, StartingATimerEndsTheRest) {
  auto toolkit = CreateHeadlessToolkit();
  auto timer = toolkit->CreateTimer([&] { toolkit->Quit(3); });
  ASSERT_TRUE(toolkit->RestUntilPosted());
  timer->SetInterval(20);
  EXPECT_EQ(toolkit->Run(), 3);
}

TEST(HeadlessLoop, ControlsKeepWhatTheShellSets) {
  auto toolkit = CreateHeadlessToolkit();
  auto window = toolkit->NewWindow({.title = "打印服务", .clientWidth = 520, .clientHeight = 360});
  Button* toggle = window->AddButton("启动服务", {203, 176, 112, 48});
  toggle->OnClick([&] { toggle->SetText(toggle->Text() == "启动服务" ? "停止服务" : "启动服务"); });
  toggle->Click();
  EXPECT_EQ(toggle->Text(), "停止服务");
  EXPECT_EQ(window->ClientSize(), (Size{520, 360}));
  EXPECT_FALSE(window->IsVisible());
}

}  // namespace
}  // namespace qv::ui
