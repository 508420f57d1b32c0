// The shared checks of the public toolkit types, seen through the fake backend.
#include <gtest/gtest.h>

#include "tests/fakes/fake_toolkit.h"
#include "ui/backend.h"

namespace qv::ui {
namespace {

using test::FakeToolkit;

TEST(Toolkit, ControlsCarryCaptionsPositionsAndStateToTheBackend) {
  FakeToolkit fake;
  auto window = fake.NewWindow({.title = "设置", .clientWidth = 580, .clientHeight = 300});
  TabPage* page = window->AddTabPage("打印服务设置", {0, 0, 580, 300});
  page->AddLabel("打印完成走纸：", {-5, 90, 111, 26});
  DropDownList* usb = page->AddDropDownList({123, 131, 120, 32});
  usb->AddItem("保持USB打印", 0);
  usb->AddItem("LPT1", 1);
  usb->AddItem("LPT2", 2);
  CheckBox* cut = page->AddCheckBox("打印完成是否切纸", {263, 134, 152, 26});

  EXPECT_EQ(fake.Controls(*window).size(), 4u);
  Label* feed = fake.Find<Label>(*window, "打印完成走纸：");
  ASSERT_NE(feed, nullptr);
  EXPECT_EQ(fake.State(*feed)->bounds, (Rect{-5, 90, 111, 26}));

  EXPECT_EQ(usb->SelectedValue(), std::nullopt);
  EXPECT_TRUE(usb->SelectValue(2));
  EXPECT_EQ(usb->SelectedIndex(), 2);
  EXPECT_FALSE(usb->SelectValue(9));  // unknown value: selection unchanged
  EXPECT_EQ(usb->SelectedValue(), 2);
  EXPECT_FALSE(usb->SelectIndex(3));

  // setChecked never runs the handler; a click toggles first, then runs it.
  std::vector<bool> seen;
  cut->OnClick([&] { seen.push_back(cut->IsChecked()); });
  cut->SetChecked(true);
  cut->Click();
  cut->Click();
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));

  window.reset();
  EXPECT_TRUE(fake.Windows().empty());
}

TEST(Toolkit, BrowserTurnsAnEmptyAddressIntoAboutBlankAndFollowsTitles) {
  FakeToolkit fake;
  auto window = fake.NewWindow({.title = "Tillora", .resizable = Resizable::Yes});
  WebBrowser* browser = window->AddWebBrowser({0, 50, 400, 250});
  EXPECT_EQ(browser->Url(), "about:blank");
  std::vector<std::string> titles;
  browser->OnTitleChanged([&](const std::string& t) { titles.push_back(t); });
  browser->Navigate("https://cashier.example/#/pages/index/index");
  EXPECT_EQ(fake.State(*browser)->text, "https://cashier.example/#/pages/index/index");
  browser->Navigate("");
  EXPECT_EQ(fake.State(*browser)->text, "about:blank");
  fake.ChangeTitle(*browser, "收银台");
  EXPECT_EQ(titles, std::vector<std::string>{"收银台"});
  EXPECT_EQ(browser->Title(), "收银台");
}

TEST(Toolkit, CloseRequestsCanBeRefusedAndAClosedWindowMayBeDestroyedAtOnce) {
  FakeToolkit fake;
  auto window = fake.NewWindow({.title = "打印队列"});
  window->Show();
  bool refuse = true;
  window->OnCloseRequest([&] { return refuse ? CloseReply::Refuse : CloseReply::Allow; });
  window->OnClosed([&] { window.reset(); });

  EXPECT_FALSE(window->RequestClose());
  EXPECT_TRUE(fake.State(*window)->visible);
  refuse = false;
  EXPECT_TRUE(window->RequestClose());
  EXPECT_EQ(window, nullptr);
  EXPECT_TRUE(fake.Windows().empty());
}

TEST(Toolkit, WhileAMessageBoxIsOpenNoWindowCanBeClosed) {
  FakeToolkit fake;
  auto owner = fake.NewWindow({.title = "设置"});
  auto other = fake.NewWindow({.title = "打印服务"});
  int asked = 0;
  for (Window* w : {owner.get(), other.get()}) {
    w->Show();
    w->OnCloseRequest([&] {
      ++asked;
      return CloseReply::Allow;
    });
  }
  const std::weak_ptr<const void> alive = other->Lifetime();
  other->OnClosed([&] { other.reset(); });

  fake.WhileNextMessageOpen([&] {
    EXPECT_TRUE(fake.MessageOpen());
    EXPECT_FALSE(other->RequestClose());
    EXPECT_FALSE(owner->RequestClose());
  });
  fake.ShowMessage({.text = "确定吗", .buttons = MessageButtons::OkCancel, .owner = owner.get()});
  EXPECT_EQ(asked, 0) << "the close handlers are not even asked";
  EXPECT_TRUE(fake.State(*other)->visible);
  EXPECT_FALSE(fake.MessageOpen());

  EXPECT_TRUE(other->RequestClose());
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

// The debug window goes to the left edge and the queue window beside it, as the service
// window's right click places them (frames of a 1035 x 552 and a 372 x 108 client area, at
// 96 DPI and at 144), on tills with a 40-pixel taskbar: each stays wholly on the screen.
TEST(Toolkit, WindowsPlacedBesideAnotherAreMovedIn) {
  struct Case {
    Size screen;
    Size debugFrame;
    Size queueFrame;
    Rect debug;
    Rect queue;
  };
  for (const Case& c : std::vector<Case>{
           {{1024, 768}, {1051, 591}, {388, 147}, {0, 68, 1051, 591}, {636, 290, 388, 147}},
           {{1280, 720}, {1051, 591}, {388, 147}, {0, 44, 1051, 591}, {892, 266, 388, 147}},
           {{1366, 768}, {1051, 591}, {388, 147}, {0, 68, 1051, 591}, {978, 290, 388, 147}},
           {{1366, 768}, {1569, 875}, {574, 209}, {0, 0, 1569, 875}, {792, 259, 574, 209}}}) {
    const Rect area{0, 0, c.screen.width, c.screen.height - 40};
    const Placement debugFirst = FirstPlacement(c.debugFrame, area, Resizable::No);
    const Placement debug =
        FirstPlacement(c.debugFrame, area, Resizable::No, Point{0, debugFirst.frame.top});
    const Placement queueFirst = FirstPlacement(c.queueFrame, area, Resizable::No);
    const Placement queue =
        FirstPlacement(c.queueFrame, area, Resizable::No,
                       Point{debug.frame.left + debug.frame.width + 2, queueFirst.frame.top});
    EXPECT_EQ(debug.frame, c.debug) << c.screen.width << "x" << c.screen.height;
    EXPECT_EQ(queue.frame, c.queue) << c.screen.width << "x" << c.screen.height;
    EXPECT_LE(queue.frame.left + queue.frame.width, area.width);
  }
}

// Design pixels to the screen's and back: neighbours that touch still touch, and a client
// area measured back in design pixels covers the whole area when scaled again.
TEST(Toolkit, DesignPixelsScaleByEdges) {
  EXPECT_EQ(ToDevice(Rect{10, 10, 100, 20}, 1.25), (Rect{13, 13, 125, 25}));
  const Rect left = ToDevice(Rect{0, 0, 5, 5}, 1.25);
  EXPECT_EQ(left.left + left.width, ToDevice(Rect{5, 0, 5, 5}, 1.25).left);
  EXPECT_EQ(ToDesign(150, 1.5), 100);
  for (double scale : {1.0, 1.25, 1.5, 1.75, 2.0}) {
    for (int device = 1; device <= 2000; ++device) {
      const int design = ToDesign(device, scale);
      ASSERT_GE(ToDevice(design, scale), device) << device << " at " << scale;
      ASSERT_LT(design - 1, device / scale) << device << " at " << scale;
    }
  }
}

// A window moved by the caller stays inside the work area of the monitor it lands on.
TEST(Toolkit, SetPositionKeepsTheWindowInsideTheWorkArea) {
  FakeToolkit fake;
  auto window = fake.NewWindow({.title = "打印队列", .clientWidth = 372, .clientHeight = 108});
  fake.State(*window)->workArea = {0, 0, 1024, 728};
  window->SetPosition(1053, 300);
  EXPECT_EQ(window->FrameBounds(), (Rect{652, 300, 372, 108}));
  window->SetPosition(-50, -20);
  EXPECT_EQ(window->FrameBounds(), (Rect{0, 0, 372, 108}));
}

TEST(Toolkit, TimersTrayAndMessagesAreScriptable) {
  FakeToolkit fake;
  int ticks = 0;
  auto timer = fake.CreateTimer([&] { ++ticks; });
  timer->SetInterval(1000);
  fake.TickTimers();
  timer->SetInterval(0);
  fake.TickTimers();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(fake.TimerIntervals(), std::vector<int>{0});

  int clicks = 0;
  auto tray = fake.CreateTrayIcon([&] { ++clicks; });
  tray->Show("Quorvel打印服务端");
  EXPECT_TRUE(fake.TrayShown());
  fake.TrayIcons().front()->Click();
  EXPECT_EQ(clicks, 1);
  tray.reset();  // destroying the icon takes it down
  EXPECT_FALSE(fake.TrayShown());

  fake.ScriptAnswers({MessageResult::Cancel});
  EXPECT_EQ(fake.ShowMessage({.text = "a", .buttons = MessageButtons::OkCancel}),
            MessageResult::Cancel);
  EXPECT_EQ(fake.ShowMessage({.text = "b"}), MessageResult::Ok);
  ASSERT_EQ(fake.Messages().size(), 2u);
  EXPECT_EQ(fake.Messages()[0].box.text, "a");
}

// A task that runs a message box: the box's loop runs the tasks posted after it, and the
// outer run goes on with what is left, in order and each task once.
TEST(Toolkit, PostedTasksKeepTheirOrderThroughANestedRun) {
  FakeToolkit fake;
  std::vector<std::string> ran;
  fake.Post([&] {
    ran.push_back("box");
    fake.WhileNextMessageOpen([&] {
      fake.Post([&] { ran.push_back("during"); });
      fake.RunPostedTasks();
    });
    fake.ShowMessage({.text = "完成"});
  });
  fake.Post([&] { ran.push_back("second"); });
  EXPECT_TRUE(ran.empty()) << "posting runs nothing at once";
  EXPECT_TRUE(fake.RunPostedTasks());
  EXPECT_EQ(ran, (std::vector<std::string>{"box", "second", "during"}));
  EXPECT_FALSE(fake.RunPostedTasks());
}

}  // namespace
}  // namespace qv::ui
