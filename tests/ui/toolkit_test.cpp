// The shared checks of the public toolkit types, seen through the fake backend.
#include <gtest/gtest.h>

#include "tests/fakes/fake_toolkit.h"
#include "ui/backend.h"

namespace qv::ui {
namespace {

using test::FakeToolkit;

TEST(Toolkit, ControlsCarryCaptionsPositionsAndStateToTheBackend) {
  FakeToolkit fake;
  auto window = fake.createWindow({.title = "设置", .clientWidth = 580, .clientHeight = 300});
  TabPage* page = window->addTabPage("打印服务设置", {0, 0, 580, 300});
  page->addLabel("打印完成走纸：", {-5, 90, 111, 26});
  DropDownList* usb = page->addDropDownList({123, 131, 120, 32});
  usb->addItem("保持USB打印", 0);
  usb->addItem("LPT1", 1);
  usb->addItem("LPT2", 2);
  CheckBox* cut = page->addCheckBox("打印完成是否切纸", {263, 134, 152, 26});

  EXPECT_EQ(fake.controls(*window).size(), 4u);
  Label* feed = fake.find<Label>(*window, "打印完成走纸：");
  ASSERT_NE(feed, nullptr);
  EXPECT_EQ(fake.state(*feed)->bounds, (Rect{-5, 90, 111, 26}));

  EXPECT_EQ(usb->selectedValue(), std::nullopt);
  EXPECT_TRUE(usb->selectValue(2));
  EXPECT_EQ(usb->selectedIndex(), 2);
  EXPECT_FALSE(usb->selectValue(9));  // unknown value: selection unchanged
  EXPECT_EQ(usb->selectedValue(), 2);
  EXPECT_FALSE(usb->selectIndex(3));

  // setChecked never runs the handler; a click toggles first, then runs it.
  std::vector<bool> seen;
  cut->onClick([&] { seen.push_back(cut->isChecked()); });
  cut->setChecked(true);
  cut->click();
  cut->click();
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));

  window.reset();
  EXPECT_TRUE(fake.windows().empty());
}

TEST(Toolkit, BrowserTurnsAnEmptyAddressIntoAboutBlankAndFollowsTitles) {
  FakeToolkit fake;
  auto window = fake.createWindow({.title = "Tillora", .resizable = Resizable::Yes});
  WebBrowser* browser = window->addWebBrowser({0, 50, 400, 250});
  EXPECT_EQ(browser->url(), "about:blank");
  std::vector<std::string> titles;
  browser->onTitleChanged([&](const std::string& t) { titles.push_back(t); });
  browser->navigate("https://cashier.example/#/pages/index/index");
  EXPECT_EQ(fake.state(*browser)->text, "https://cashier.example/#/pages/index/index");
  browser->navigate("");
  EXPECT_EQ(fake.state(*browser)->text, "about:blank");
  fake.changeTitle(*browser, "收银台");
  EXPECT_EQ(titles, std::vector<std::string>{"收银台"});
  EXPECT_EQ(browser->title(), "收银台");
}

TEST(Toolkit, CloseRequestsCanBeRefusedAndAClosedWindowMayBeDestroyedAtOnce) {
  FakeToolkit fake;
  auto window = fake.createWindow({.title = "打印队列"});
  window->show();
  bool refuse = true;
  window->onCloseRequest([&] { return refuse ? CloseReply::Refuse : CloseReply::Allow; });
  window->onClosed([&] { window.reset(); });

  EXPECT_FALSE(window->requestClose());
  EXPECT_TRUE(fake.state(*window)->visible);
  refuse = false;
  EXPECT_TRUE(window->requestClose());
  EXPECT_EQ(window, nullptr);
  EXPECT_TRUE(fake.windows().empty());
}

TEST(Toolkit, WhileAMessageBoxIsOpenNoWindowCanBeClosed) {
  FakeToolkit fake;
  auto owner = fake.createWindow({.title = "设置"});
  auto other = fake.createWindow({.title = "打印服务"});
  int asked = 0;
  for (Window* w : {owner.get(), other.get()}) {
    w->show();
    w->onCloseRequest([&] {
      ++asked;
      return CloseReply::Allow;
    });
  }
  const std::weak_ptr<const void> alive = other->lifetime();
  other->onClosed([&] { other.reset(); });

  fake.whileNextMessageOpen([&] {
    EXPECT_TRUE(fake.messageOpen());
    EXPECT_FALSE(other->requestClose());
    EXPECT_FALSE(owner->requestClose());
  });
  fake.showMessage({.text = "确定吗", .buttons = MessageButtons::OkCancel, .owner = owner.get()});
  EXPECT_EQ(asked, 0) << "the close handlers are not even asked";
  EXPECT_TRUE(fake.state(*other)->visible);
  EXPECT_FALSE(fake.messageOpen());

  EXPECT_TRUE(other->requestClose());
  EXPECT_TRUE(alive.expired()) << "the token goes with the window";
}

// Where a window first appears on a 1366 x 728 work area below a 40-pixel panel.
TEST(Toolkit, FirstPlacementKeepsTheWindowOnItsMonitor) {
  const Rect area{0, 40, 1366, 728};
  struct Case {
    Size frame;
    Resizable resizable;
    Placement expected;
  };
  for (const Case& c : std::vector<Case>{
           {{540, 330}, Resizable::No, {{413, 239, 540, 330}, false}},     // centred
           {{1366, 728}, Resizable::Yes, {{0, 40, 1366, 728}, false}},     // exactly fits
           {{1296, 839}, Resizable::Yes, {{0, 40, 1366, 728}, true}},      // too high
           {{1400, 600}, Resizable::Yes, {{0, 40, 1366, 728}, true}},      // too wide
           {{1051, 791}, Resizable::No, {{157, 40, 1051, 791}, false}},    // title bar stays
           {{1400, 300}, Resizable::No, {{0, 254, 1400, 300}, false}}}) {  // left edge stays
    EXPECT_EQ(FirstPlacement(c.frame, area, c.resizable), c.expected)
        << c.frame.width << "x" << c.frame.height;
  }
}

TEST(Toolkit, TimersTrayAndMessagesAreScriptable) {
  FakeToolkit fake;
  int ticks = 0;
  auto timer = fake.createTimer([&] { ++ticks; });
  timer->setInterval(1000);
  fake.tickTimers();
  timer->setInterval(0);
  fake.tickTimers();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(fake.timerIntervals(), std::vector<int>{0});

  int clicks = 0;
  auto tray = fake.createTrayIcon([&] { ++clicks; });
  tray->show("Quorvel打印服务端");
  EXPECT_TRUE(fake.trayShown());
  fake.trayIcons().front()->click();
  EXPECT_EQ(clicks, 1);
  tray.reset();  // destroying the icon takes it down
  EXPECT_FALSE(fake.trayShown());

  fake.scriptAnswers({MessageResult::Cancel});
  EXPECT_EQ(fake.showMessage({.text = "a", .buttons = MessageButtons::OkCancel}),
            MessageResult::Cancel);
  EXPECT_EQ(fake.showMessage({.text = "b"}), MessageResult::Ok);
  ASSERT_EQ(fake.messages().size(), 2u);
  EXPECT_EQ(fake.messages()[0].box.text, "a");
}

// A task that runs a message box: the box's loop runs the tasks posted after it, and the
// outer run goes on with what is left, in order and each task once.
TEST(Toolkit, PostedTasksKeepTheirOrderThroughANestedRun) {
  FakeToolkit fake;
  std::vector<std::string> ran;
  fake.post([&] {
    ran.push_back("box");
    fake.whileNextMessageOpen([&] {
      fake.post([&] { ran.push_back("during"); });
      fake.runPostedTasks();
    });
    fake.showMessage({.text = "完成"});
  });
  fake.post([&] { ran.push_back("second"); });
  EXPECT_TRUE(ran.empty()) << "posting runs nothing at once";
  EXPECT_TRUE(fake.runPostedTasks());
  EXPECT_EQ(ran, (std::vector<std::string>{"box", "second", "during"}));
  EXPECT_FALSE(fake.runPostedTasks());
}

}  // namespace
}  // namespace qv::ui
