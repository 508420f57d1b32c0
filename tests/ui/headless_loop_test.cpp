#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/posted_tasks_check.h"
#include "ui/headless/headless_toolkit.h"

namespace qv::ui {
namespace {

TEST(HeadlessLoop, TimersFireInDueOrderAndQuitEndsTheLoop) {
  auto toolkit = CreateHeadlessToolkit();
  std::vector<std::string> ticks;
  std::unique_ptr<Timer> fast, slow;
  fast = toolkit->createTimer([&] { ticks.push_back("fast"); });
  slow = toolkit->createTimer([&] {
    ticks.push_back("slow");
    toolkit->quit(7);
  });
  slow->setInterval(70);
  fast->setInterval(20);  // due at 20, 40, 60 ms: all before the slow one

  EXPECT_EQ(toolkit->run(), 7);
  EXPECT_EQ(ticks, (std::vector<std::string>{"fast", "fast", "fast", "slow"}));
}

TEST(HeadlessLoop, RestartCountsFromNow) {
  auto toolkit = CreateHeadlessToolkit();
  std::vector<std::string> ticks;
  std::unique_ptr<Timer> a, b, c;
  a = toolkit->createTimer([&] {
    ticks.push_back("a");
    toolkit->quit(0);
  });
  b = toolkit->createTimer([&] {
    ticks.push_back("b");
    b->setInterval(0);
    a->setInterval(30);  // due 30 ms after this tick, not at the 30 ms first planned
  });
  c = toolkit->createTimer([&] {
    ticks.push_back("c");
    c->setInterval(0);
  });
  a->setInterval(30);
  b->setInterval(20);
  c->setInterval(40);

  EXPECT_EQ(toolkit->run(), 0);
  EXPECT_EQ(ticks, (std::vector<std::string>{"b", "c", "a"}));
}

TEST(HeadlessLoop, IntervalZeroStops) {
  auto toolkit = CreateHeadlessToolkit();
  int stoppedTicks = 0;
  int ticks = 0;
  auto stopped = toolkit->createTimer([&] { ++stoppedTicks; });
  std::unique_ptr<Timer> self;
  self = toolkit->createTimer([&] {
    if (++ticks == 3) self->setInterval(0);  // stops itself from inside its tick
  });
  stopped->setInterval(5);
  stopped->setInterval(0);
  stopped->setInterval(-4);
  self->setInterval(5);

  // With every timer stopped nothing can happen any more, so the loop returns by itself.
  EXPECT_EQ(toolkit->run(), 0);
  EXPECT_EQ(stoppedTicks, 0);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(self->interval(), 0);
}

TEST(HeadlessLoop, ATickMayDestroyTimersAndWindows) {
  auto toolkit = CreateHeadlessToolkit();
  auto window = toolkit->createWindow({.title = "同步数据中"});
  int otherTicks = 0;
  std::unique_ptr<Timer> other = toolkit->createTimer([&] { ++otherTicks; });
  std::unique_ptr<Timer> killer;
  killer = toolkit->createTimer([&] {
    other.reset();
    window.reset();
    killer.reset();  // destroys the timer whose tick is running
    toolkit->quit(1);
  });
  other->setInterval(30);
  killer->setInterval(10);

  EXPECT_EQ(toolkit->run(), 1);
  EXPECT_EQ(otherTicks, 0);
  EXPECT_EQ(window, nullptr);
}

TEST(HeadlessLoop, QuitBeforeRunReturnsAtOnceAndMessagesAnswerOk) {
  auto toolkit = CreateHeadlessToolkit();
  auto tick = toolkit->createTimer([] { FAIL() << "the loop must not run"; });
  tick->setInterval(1);
  toolkit->quit(3);
  EXPECT_EQ(toolkit->run(), 3);

  testing::internal::CaptureStderr();
  MessageResult answer = toolkit->showMessage({.text = "确定取消吗",
                                               .caption = "询问",
                                               .buttons = MessageButtons::OkCancel,
                                               .icon = MessageIcon::Question});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[询问] 确定取消吗\n");
  EXPECT_EQ(answer, MessageResult::Ok);
}

TEST(HeadlessLoop, PostedTasksWakeTheLoopAndRunInOrderOnItsThread) {
  auto toolkit = CreateHeadlessToolkit();
  // The only timer is far off: without the posts' wake the loop would sleep through them.
  auto far = toolkit->createTimer([&] { toolkit->quit(1); });
  far->setInterval(60000);
  ExpectPostedTasksRunOnTheLoopInOrder(*toolkit);

  // A task posted before the loop runs waits for it; one posted by a task runs after it.
  std::vector<std::string> ran;
  toolkit->post([&] {
    ran.push_back("first");
    toolkit->post([&] {
      ran.push_back("posted by the first");
      toolkit->quit(0);
    });
    ran.push_back("first, after posting");
  });
  EXPECT_TRUE(ran.empty());
  toolkit->run();
  EXPECT_EQ(ran,
            (std::vector<std::string>{"first", "first, after posting", "posted by the first"}));

  // With no timer running and nothing posted, nothing can happen: run() returns at once.
  far->setInterval(0);
  toolkit->run();
}

TEST(HeadlessLoop, ControlsKeepWhatTheShellSets) {
  auto toolkit = CreateHeadlessToolkit();
  auto window =
      toolkit->createWindow({.title = "打印服务", .clientWidth = 520, .clientHeight = 360});
  Button* toggle = window->addButton("启动服务", {203, 176, 112, 48});
  toggle->onClick([&] { toggle->setText(toggle->text() == "启动服务" ? "停止服务" : "启动服务"); });
  toggle->click();
  EXPECT_EQ(toggle->text(), "停止服务");
  EXPECT_EQ(window->clientSize(), (Size{520, 360}));
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace qv::ui
