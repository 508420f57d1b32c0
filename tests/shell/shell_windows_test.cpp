#include <gtest/gtest.h>

#include "core/config/config.h"
#include "shell/autostart_toggle.h"
#include "shell/cashier_window.h"
#include "shell/debug_window.h"
#include "shell/polling_window.h"
#include "shell/service_window.h"
#include "tests/fakes/shell_fakes.h"

namespace qv::shell {
namespace {

using ui::Button;
using ui::CheckBox;
using ui::EditBox;
using ui::Label;
using ui::MessageResult;

struct ShellWindows : ShellFixture, ::testing::Test {
  // Ticks the running timers n times.
  void Tick(int n) {
    for (int i = 0; i < n; ++i) toolkit.TickTimers();
  }
  // Opens ServiceWindow as the splash does (aurunpr from the state).
  ServiceWindow& OpenService() {
    shell->OpenServiceWindow();
    return *shell->Service();
  }
  bool ServiceRunningShown() const { return Find<Label>("打印服务", "运行中") != nullptr; }
};

TEST_F(ShellWindows, CashierWindowHostsTheCashierAndFollowsThePageTitle) {
  Started();
  ui::Window* cashier = Window("Tillora");
  ASSERT_NE(cashier, nullptr);
  EXPECT_TRUE(cashier->IsVisible());
  ui::WebBrowser* browser = toolkit.First<ui::WebBrowser>(*cashier);
  EXPECT_EQ(browser->Url(), state.webUrl);

  toolkit.ChangeTitle(*browser, "收银台");
  EXPECT_EQ(cashier->Title(), "Tillora - 收银台");

  cashier->SetClientSize(1000, 700);
  ui::WindowEvents::Resized(*cashier);
  EXPECT_EQ(browser->Bounds(), (ui::Rect{0, 50, 1000, 650}));

  toolkit.TitleBarAction(*cashier, kHomeAction);
  EXPECT_EQ(browser->Url(), deployment.cashierHomeUrl);
  toolkit.Find<Button>(*cashier, "按钮EX")->Click();
  EXPECT_EQ(browser->Url(), deployment.testHomePage);

  toolkit.TitleBarAction(*cashier, kSettingsAction);
  ASSERT_NE(Window("设置"), nullptr);
  EXPECT_EQ(toolkit.State(*Window("设置"))->visible, true);
}

TEST_F(ShellWindows, SplashReportsOnTheThirdTickThenOpensTheRunningService) {
  state.debug = true;
  Started();
  ui::Window* splash = Window("同步数据中");
  ASSERT_NE(splash, nullptr);
  EXPECT_TRUE(splash->IsVisible());

  Tick(2);
  EXPECT_TRUE(cloudJobs.jobs.empty());
  EXPECT_EQ(Window("打印服务"), nullptr);

  Tick(1);
  // The report and the first poll wait on the cloud lane, the report first.
  ASSERT_EQ(cloudJobs.jobs.size(), 2u);
  cloudJobs.RunFirst();
  EXPECT_EQ(uplink.sends, 1);
  EXPECT_EQ(cloud.fetches, 0);
  Settle();
  EXPECT_EQ(uplink.sid, "10001");
  // Debug mode: the outcome goes to the run log.
  EXPECT_EQ(LogFiles().count("上报打印机成功2026_3_7_09_05_04.log"), 1u);
  EXPECT_EQ(Window("同步数据中"), nullptr) << "splash destroyed";
  ASSERT_NE(Window("打印服务"), nullptr);
  EXPECT_FALSE(Window("打印服务")->IsVisible()) << "in the tray";
  EXPECT_TRUE(toolkit.TrayShown());
  EXPECT_EQ(toolkit.TrayTooltip(), "Quorvel打印服务端");
  EXPECT_TRUE(ServiceRunningShown());
  ASSERT_NE(Window("打印队列"), nullptr);
  EXPECT_EQ(cloud.fetches, 1) << "polling starts with the service";
}

TEST_F(ShellWindows, SplashWithoutAutoRunStaysAfterTheReport) {
  state.autoRunService = false;
  state.launchedWithArgs = true;
  Started();
  EXPECT_FALSE(Window("同步数据中")->IsVisible()) << "hidden for an unattended start";
  Tick(5);
  Settle();
  EXPECT_EQ(uplink.sends, 1);
  EXPECT_NE(Window("同步数据中"), nullptr);
  EXPECT_EQ(Window("打印服务"), nullptr);
}

TEST_F(ShellWindows, StartStopTwiceReturnsToStopped) {
  state.autoRunService = false;
  Started();
  shell->DestroySplash();  // its timer would still run
  ServiceWindow& service = OpenService();
  EXPECT_TRUE(service.Window().IsVisible());
  Button* toggle = Find<Button>("打印服务", "启动服务");
  ASSERT_NE(toggle, nullptr);
  EXPECT_NE(Find<Label>("打印服务", "未运行"), nullptr);

  toggle->Click();
  EXPECT_EQ(toggle->Text(), "停止服务");
  EXPECT_TRUE(service.Running());
  EXPECT_TRUE(ServiceRunningShown());
  EXPECT_NE(shell->Polling(), nullptr);

  toggle->Click();
  EXPECT_EQ(toggle->Text(), "启动服务");
  EXPECT_FALSE(service.Running());
  EXPECT_NE(Find<Label>("打印服务", "已停止"), nullptr);
  EXPECT_EQ(shell->Polling(), nullptr);
  EXPECT_EQ(Window("打印队列"), nullptr);
  const std::vector<int> timers = toolkit.TimerIntervals();
  EXPECT_TRUE(std::all_of(timers.begin(), timers.end(), [](int ms) { return ms == 0; }))
      << "print timer stopped";
}

struct EmptyStoreId : ShellWindows, ::testing::WithParamInterface<bool> {};

TEST_P(EmptyStoreId, NeverStartsAndAsksOnlyWhenAttended) {
  const bool unattended = GetParam();
  config.sid.clear();
  state.autoRunService = true;
  state.launchedWithArgs = unattended;
  Started();
  ServiceWindow& service = OpenService();
  EXPECT_FALSE(service.Running());
  EXPECT_FALSE(state.autoRunService) << "auto-run cleared in memory";
  EXPECT_TRUE(service.Window().IsVisible());
  EXPECT_EQ(Window("设置") != nullptr, !unattended);
  if (!unattended) {
    EXPECT_GT(toolkit.State(*Window("设置"))->stackedAt, toolkit.State(service.Window())->stackedAt)
        << "设置 in front of 打印服务";
    EXPECT_TRUE(toolkit.Messages().empty()) << "设置 itself asks; no box in front of it";
  }

  shell->DestroyStoreConfig();
  Find<Button>("打印服务", "启动服务")->Click();
  EXPECT_FALSE(service.Running());
  EXPECT_EQ(shell->Polling(), nullptr);
  if (unattended) {
    EXPECT_TRUE(toolkit.Messages().empty());
    EXPECT_EQ(Window("设置"), nullptr);
  } else {
    ASSERT_EQ(toolkit.Messages().size(), 1u);
    EXPECT_EQ(toolkit.Messages()[0].box.text, "请先配置门店信息");
    EXPECT_EQ(toolkit.Messages()[0].box.caption, "提示");
    EXPECT_EQ(toolkit.Messages()[0].box.owner, &service.Window());
    EXPECT_NE(Window("设置"), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Launch, EmptyStoreId, ::testing::Values(false, true),
                         [](const auto& info) {
                           return info.param ? "WithArguments" : "Attended";
                         });

TEST_F(ShellWindows, ShutdownWaitsForTheExchangesUnderWay) {
  Started();
  Tick(3);  // splash: the printer list report goes out, the service starts and polls
  ASSERT_TRUE(shell->Service()->Running());
  PrintTask task;
  task.uni_key = "k";
  task.print_type = 1;
  state.taskQueue.Append(task);
  Tick(1);  // a ticket is being printed
  ASSERT_TRUE(state.printBusy && state.pollBusy);
  ui::Window* cashier = Window("Tillora");

  EXPECT_FALSE(cashier->RequestClose());
  Label* notice = toolkit.Find<Label>(*cashier, "结束任务中请稍等");
  EXPECT_TRUE(notice->IsVisible());
  EXPECT_EQ(notice->Bounds(), (ui::Rect{1280 / 2 - 144, 800 / 2 - 32, 288, 64}));
  EXPECT_EQ(notice->Alignment(), ui::TextAlign::Center);
  // Only the exit timer runs now: no new poll or print starts.
  int running = 0;
  for (int ms : toolkit.TimerIntervals()) running += ms > 0 ? 1 : 0;
  EXPECT_EQ(running, 1);

  Tick(3);
  EXPECT_FALSE(toolkit.QuitCalled());
  // The print ends, and with it its report; the next queued task is not started.
  task.uni_key = "next";
  state.taskQueue.Append(task);
  printJobs.RunAll();
  ui.RunAll();
  EXPECT_FALSE(state.printBusy);
  EXPECT_EQ(cloud.reports.size(), 1u);
  EXPECT_TRUE(printJobs.jobs.empty());
  Tick(1);
  EXPECT_FALSE(toolkit.QuitCalled()) << "the poll and the printer list report are still out";
  cloudJobs.RunFirst();  // the printer list report

  ui.RunAll();
  Tick(1);
  EXPECT_FALSE(toolkit.QuitCalled()) << "the poll is still out";
  Settle();
  Tick(1);
  EXPECT_TRUE(toolkit.QuitCalled()) << "ends at the first tick after the last exchange";
  EXPECT_EQ(state.taskQueue.Size(), 1u);
}

TEST_F(ShellWindows, TenthRightClickExportsThePrinterList) {
  state.autoRunService = false;
  state.dataDirectory = dir.Path();
  printerList.printers = {{"前台", "USB001"}};
  Started();
  ServiceWindow& service = OpenService();

  for (int i = 0; i < 9; ++i) toolkit.RightClick(service.Window());
  EXPECT_TRUE(toolkit.Messages().empty());
  toolkit.RightClick(service.Window());
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"请先启动服务后再试"});

  Find<Button>("打印服务", "启动服务")->Click();
  toolkit.RightClick(service.Window());
  EXPECT_EQ(toolkit.Messages().size(), 1u) << "the list is written off the UI thread first";
  Settle();
  EXPECT_TRUE(shell->Polling()->Window().IsVisible());
  ASSERT_NE(shell->Debug(), nullptr);
  EXPECT_TRUE(state.debugViewEnabled) << "opening the debug window turns the view on";
  const ui::Rect debug = shell->Debug()->Window().FrameBounds();
  EXPECT_EQ(debug.left, 0);
  EXPECT_EQ(shell->Polling()->Window().FrameBounds().left, debug.width + 2);
  ASSERT_EQ(toolkit.Messages().size(), 2u);
  EXPECT_EQ(toolkit.Messages()[1].box.text,
            "导出本机打印机列表完成，请在软件根目录查看 打印机列表.txt 文件");
  EXPECT_EQ(toolkit.Messages()[1].box.owner, &service.Window());
  EXPECT_TRUE(platform::FileExists(platform::JoinPath(dir.Path(), kPrinterListFileName)));

  // Closing the debug window turns the view off again.
  shell->Debug()->Window().RequestClose();
  EXPECT_EQ(shell->Debug(), nullptr);
  EXPECT_FALSE(state.debugViewEnabled);

  // An installed program's data folder is not the program's: the message names it.
  state.dataDirectory = platform::JoinPath(dir.Path(), "data");
  ASSERT_TRUE(platform::MakeDirectory(state.dataDirectory));
  for (int i = 0; i < 10; ++i) toolkit.RightClick(service.Window());
  Settle();
  EXPECT_EQ(toolkit.Messages().back().box.text,
            "导出本机打印机列表完成，请在 " + state.dataDirectory + " 查看 打印机列表.txt 文件");
  EXPECT_TRUE(platform::FileExists(platform::JoinPath(state.dataDirectory, kPrinterListFileName)));
}

TEST_F(ShellWindows, DebugLinesOpenTheDebugWindowOnlyWhileTheViewIsOn) {
  state.autoRunService = false;
  Started();
  OpenService();
  debugLog.DebugLine("dropped");
  EXPECT_EQ(Window("Debug"), nullptr);
  state.debugViewEnabled = true;
  debugLog.DebugLine("打印结束");
  ASSERT_NE(Window("Debug"), nullptr);
  EXPECT_NE(toolkit.First<ui::TextBox>(*Window("Debug"))->Text().find("打印结束\r\n"),
            std::string::npos);
}

TEST_F(ShellWindows, ClosingTheServiceWindowGoesToTheTrayOnlyWhileRunning) {
  state.autoRunService = false;
  Started();
  ServiceWindow& service = OpenService();
  Find<Button>("打印服务", "启动服务")->Click();

  EXPECT_FALSE(service.Window().RequestClose());
  EXPECT_FALSE(service.Window().IsVisible());
  EXPECT_TRUE(toolkit.TrayShown());
  EXPECT_EQ(toolkit.TrayTooltip(), "Quorvel打印服务端");
  toolkit.TrayIcons().front()->Click();
  EXPECT_TRUE(service.Window().IsVisible());
  EXPECT_TRUE(toolkit.TrayShown()) << "the icon stays";

  Find<Button>("打印服务", "停止服务")->Click();
  EXPECT_TRUE(service.Window().RequestClose());
  EXPECT_EQ(shell->Service(), nullptr);
  EXPECT_EQ(Window("打印服务"), nullptr);
  EXPECT_FALSE(toolkit.TrayShown());
}

struct StoreConfigWindowTest : ShellWindows {
  ui::Window& Open() {
    state.autoRunService = false;
    Started();
    toolkit.TitleBarAction(*Window("Tillora"), kSettingsAction);
    return *Window("设置");
  }
  EditBox* Box(int index) {
    std::vector<EditBox*> boxes;
    for (ui::MemoryControl* c : toolkit.Controls(*Window("设置"))) {
      if (auto* box = dynamic_cast<EditBox*>(&c->control)) boxes.push_back(box);
    }
    return boxes.at(static_cast<size_t>(index));
  }
  void Save() { Find<Button>("设置", "保存")->Click(); }
};

TEST_F(StoreConfigWindowTest, FillsFromTheSettingsInEffect) {
  config.server.clear();
  state.print.feedLines = 3;
  state.print.autoCut = false;
  state.print.usbFallbackPort = 2;
  autostart.command = "x auto";
  ui::Window& window = Open();
  EXPECT_EQ(Box(0)->Text(), "default.example");
  EXPECT_EQ(Box(1)->Text(), "10001");
  EXPECT_EQ(Box(2)->Text(), "3");
  EXPECT_FALSE(Find<CheckBox>("设置", "打印完成是否切纸")->IsChecked());
  EXPECT_EQ(toolkit.First<ui::DropDownList>(window)->SelectedValue(), 2);
  EXPECT_TRUE(Find<CheckBox>("设置", "开机自动启动")->IsChecked());
  EXPECT_FALSE(Find<CheckBox>("设置", "自动运行打印服务")->IsChecked());
  // Both start left of the page: their text ends at the box they name instead.
  EXPECT_EQ(Find<Label>("设置", "打印完成走纸：")->Alignment(), ui::TextAlign::Right);
  EXPECT_EQ(Find<Label>("设置", "将USB打印替换为：")->Alignment(), ui::TextAlign::Right);
}

TEST_F(StoreConfigWindowTest, SaveShowsTheCorrectedValuesAndTheOutcome) {
  ui::Window& window = Open();
  Box(0)->SetText(" new.example ");
  Box(1)->SetText("20002");
  Box(2)->SetText("20");
  uplink.answer = R"({"code":500})";
  Save();
  EXPECT_EQ(Box(0)->Text(), "new.example");
  EXPECT_EQ(Box(2)->Text(), "15");
  // The check is out: a second click does nothing, and nothing is told yet.
  Save();
  EXPECT_EQ(cloudJobs.jobs.size(), 1u);
  EXPECT_TRUE(toolkit.Messages().empty());
  Settle();
  EXPECT_EQ(uplink.server, "new.example") << "the check goes to the entered server";
  EXPECT_EQ(config.sid, "10001");
  ASSERT_EQ(toolkit.Messages().size(), 1u);
  EXPECT_EQ(toolkit.Messages()[0].box.text, "连接到服务器失败，请核对！");
  EXPECT_EQ(toolkit.Messages()[0].box.owner, &window);

  uplink.answer = R"({"code":200})";
  Save();
  Settle();
  EXPECT_EQ(toolkit.Messages().back().box.text, "配置门店信息完成");
  EXPECT_EQ(config.server, "new.example");
  EXPECT_EQ(config.sid, "20002");

  // Closed while its check is out: the save still takes effect, untold.
  Box(1)->SetText("30003");
  Save();
  window.RequestClose();
  ASSERT_EQ(Window("设置"), nullptr);
  Settle();
  EXPECT_EQ(config.sid, "30003");
  EXPECT_EQ(toolkit.Messages().size(), 2u);
}

TEST_F(StoreConfigWindowTest, AutostartUncheckAskedAndCancelled) {
  autostart.command = deployment.programPath + " auto";
  Open();
  CheckBox* box = Find<CheckBox>("设置", "开机自动启动");
  toolkit.ScriptAnswers({MessageResult::Cancel});
  box->Click();
  ASSERT_EQ(toolkit.Messages().size(), 1u);
  const ui::MessageBoxOptions& question = toolkit.Messages()[0].box;
  EXPECT_EQ(question.text, "确定取消Quorvel打印服务端吗，取消后您将需要手动启动才能进行打印。");
  EXPECT_EQ(question.caption, "询问");
  EXPECT_EQ(question.buttons, ui::MessageButtons::OkCancel);
  EXPECT_EQ(question.icon, ui::MessageIcon::Question);
  EXPECT_EQ(autostart.command, deployment.programPath + " auto");
  EXPECT_TRUE(box->IsChecked()) << "the box shows the entry that is still there";

  box->Click();  // OK this time
  EXPECT_TRUE(autostart.command.empty());
  EXPECT_FALSE(box->IsChecked());
  box->Click();
  EXPECT_EQ(autostart.command, deployment.programPath + " auto");
}

// The autostart question from 设置 opened by the stopped 打印服务: closing 打印服务 meanwhile
// would take 设置 (and the question's owner) with it.
struct AutostartQuestion : ShellWindows {
  CheckBox* OpenFromStoppedService() {
    state.autoRunService = false;
    autostart.command = deployment.programPath + " auto";
    Started();
    shell->OpenServiceWindow();
    Find<Button>("打印服务", "打印设置")->Click();
    return Find<CheckBox>("设置", "开机自动启动");
  }
};

TEST_F(AutostartQuestion, TheUserCannotCloseAnyWindowWhileItIsOpen) {
  CheckBox* box = OpenFromStoppedService();
  ui::Window* service = Window("打印服务");
  toolkit.WhileNextMessageOpen([&] {
    EXPECT_FALSE(service->RequestClose());
    EXPECT_FALSE(Window("设置")->RequestClose());
    EXPECT_FALSE(Window("Tillora")->RequestClose());
  });
  box->Click();
  ASSERT_EQ(MessageTexts(), std::vector<std::string>{kAutostartRemovalQuestion});
  EXPECT_EQ(toolkit.Messages()[0].box.owner, Window("设置"));
  EXPECT_TRUE(autostart.command.empty()) << "answered OK";
  ASSERT_NE(shell->StoreConfig(), nullptr);
  EXPECT_FALSE(box->IsChecked());
  EXPECT_TRUE(service->IsVisible());
  EXPECT_TRUE(Window("Tillora")->IsVisible());

  EXPECT_TRUE(service->RequestClose()) << "stopped: closes once the box is answered";
  EXPECT_EQ(Window("设置"), nullptr) << "and takes 设置 with it";
}

// Windows that go while a box is open, by any other way than the user's close: the handler
// that opened the box must not touch them afterwards (ASan reports it if it does).
TEST_F(AutostartQuestion, HandlersDoNotTouchWindowsThatWentWhileItWasOpen) {
  CheckBox* box = OpenFromStoppedService();
  toolkit.WhileNextMessageOpen([&] { shell->DestroyServiceWindow(); });
  box->Click();
  EXPECT_EQ(Window("设置"), nullptr);
  EXPECT_TRUE(autostart.command.empty()) << "the answer still counts";

  // The same for the start button's "请先配置门店信息", which then opens 设置 over 打印服务.
  config.sid.clear();
  shell->OpenServiceWindow();
  shell->DestroyStoreConfig();
  toolkit.WhileNextMessageOpen([&] { shell->DestroyServiceWindow(); });
  Find<Button>("打印服务", "启动服务")->Click();
  EXPECT_EQ(MessageTexts().back(), "请先配置门店信息");
  EXPECT_EQ(Window("设置"), nullptr);
}

TEST_F(StoreConfigWindowTest, AutoRunBoxWritesAtOnceAndLeavesTheServiceAlone) {
  state.autoRunService = true;
  Started();
  Tick(3);  // running
  shell->OpenStoreConfig(&shell->Service()->Window());
  CheckBox* box = Find<CheckBox>("设置", "自动运行打印服务");
  ASSERT_TRUE(box->IsChecked());
  box->Click();
  ServiceState stored;
  ReadShellSettings(state.configPath, stored);
  EXPECT_FALSE(stored.autoRunService);
  EXPECT_TRUE(shell->Service()->Running());

  Find<Button>("设置", "打印服务状态")->Click();
  EXPECT_EQ(Window("设置"), nullptr);
  EXPECT_TRUE(shell->Service()->Window().IsVisible());
}

}  // namespace
}  // namespace qv::shell
