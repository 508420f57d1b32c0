#include <gtest/gtest.h>

#include "core/config.h"
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
    for (int i = 0; i < n; ++i) toolkit.tickTimers();
  }
  // Opens ServiceWindow as the splash does (aurunpr from the state).
  ServiceWindow& OpenService() {
    shell->OpenServiceWindow();
    return *shell->service();
  }
  bool ServiceRunningShown() const { return Find<Label>("打印服务", "运行中") != nullptr; }
};

TEST_F(ShellWindows, CashierWindowHostsTheCashierAndFollowsThePageTitle) {
  Started();
  ui::Window* cashier = Window("Tillora");
  ASSERT_NE(cashier, nullptr);
  EXPECT_TRUE(cashier->isVisible());
  ui::WebBrowser* browser = toolkit.first<ui::WebBrowser>(*cashier);
  EXPECT_EQ(browser->url(), state.webUrl);

  toolkit.changeTitle(*browser, "收银台");
  EXPECT_EQ(cashier->title(), "Tillora - 收银台");

  cashier->setClientSize(1000, 700);
  ui::WindowEvents::Resized(*cashier);
  EXPECT_EQ(browser->bounds(), (ui::Rect{0, 50, 1000, 650}));

  toolkit.titleBarAction(*cashier, kHomeAction);
  EXPECT_EQ(browser->url(), deployment.cashierHomeUrl);
  toolkit.find<Button>(*cashier, "按钮EX")->click();
  EXPECT_EQ(browser->url(), deployment.testHomePage);

  toolkit.titleBarAction(*cashier, kSettingsAction);
  ASSERT_NE(Window("设置"), nullptr);
  EXPECT_EQ(toolkit.state(*Window("设置"))->visible, true);
}

TEST_F(ShellWindows, SplashReportsOnTheThirdTickThenOpensTheRunningService) {
  state.debug = true;
  Started();
  ui::Window* splash = Window("同步数据中");
  ASSERT_NE(splash, nullptr);
  EXPECT_TRUE(splash->isVisible());

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
  EXPECT_FALSE(Window("打印服务")->isVisible()) << "in the tray";
  EXPECT_TRUE(toolkit.trayShown());
  EXPECT_EQ(toolkit.trayTooltip(), "Quorvel打印服务端");
  EXPECT_TRUE(ServiceRunningShown());
  ASSERT_NE(Window("打印队列"), nullptr);
  EXPECT_EQ(cloud.fetches, 1) << "polling starts with the service";
}

TEST_F(ShellWindows, SplashWithoutAutoRunStaysAfterTheReport) {
  state.autoRunService = false;
  state.launchedWithArgs = true;
  Started();
  EXPECT_FALSE(Window("同步数据中")->isVisible()) << "hidden for an unattended start";
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
  EXPECT_TRUE(service.window().isVisible());
  Button* toggle = Find<Button>("打印服务", "启动服务");
  ASSERT_NE(toggle, nullptr);
  EXPECT_NE(Find<Label>("打印服务", "未运行"), nullptr);

  toggle->click();
  EXPECT_EQ(toggle->text(), "停止服务");
  EXPECT_TRUE(service.running());
  EXPECT_TRUE(ServiceRunningShown());
  EXPECT_NE(shell->polling(), nullptr);

  toggle->click();
  EXPECT_EQ(toggle->text(), "启动服务");
  EXPECT_FALSE(service.running());
  EXPECT_NE(Find<Label>("打印服务", "已停止"), nullptr);
  EXPECT_EQ(shell->polling(), nullptr);
  EXPECT_EQ(Window("打印队列"), nullptr);
  const std::vector<int> timers = toolkit.timerIntervals();
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
  EXPECT_FALSE(service.running());
  EXPECT_FALSE(state.autoRunService) << "auto-run cleared in memory";
  EXPECT_TRUE(service.window().isVisible());
  EXPECT_EQ(Window("设置") != nullptr, !unattended);

  shell->DestroyStoreConfig();
  Find<Button>("打印服务", "启动服务")->click();
  EXPECT_FALSE(service.running());
  EXPECT_EQ(shell->polling(), nullptr);
  if (unattended) {
    EXPECT_TRUE(toolkit.messages().empty());
    EXPECT_EQ(Window("设置"), nullptr);
  } else {
    ASSERT_EQ(toolkit.messages().size(), 1u);
    EXPECT_EQ(toolkit.messages()[0].box.text, "请先配置门店信息");
    EXPECT_EQ(toolkit.messages()[0].box.caption, "提示");
    EXPECT_EQ(toolkit.messages()[0].box.owner, &service.window());
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
  ASSERT_TRUE(shell->service()->running());
  PrintTask task;
  task.uni_key = "k";
  task.print_type = 1;
  state.taskQueue.Append(task);
  Tick(1);  // a ticket is being printed
  ASSERT_TRUE(state.printBusy && state.pollBusy);
  ui::Window* cashier = Window("Tillora");

  EXPECT_FALSE(cashier->requestClose());
  Label* notice = toolkit.find<Label>(*cashier, "结束任务中请稍等");
  EXPECT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->bounds(), (ui::Rect{1280 / 2 - 144, 800 / 2 - 32, 288, 64}));
  EXPECT_EQ(notice->alignment(), ui::TextAlign::Center);
  // Only the exit timer runs now: no new poll or print starts.
  int running = 0;
  for (int ms : toolkit.timerIntervals()) running += ms > 0 ? 1 : 0;
  EXPECT_EQ(running, 1);

  Tick(3);
  EXPECT_FALSE(toolkit.quitCalled());
  // The print ends, and with it its report; the next queued task is not started.
  task.uni_key = "next";
  state.taskQueue.Append(task);
  printJobs.RunAll();
  ui.RunAll();
  EXPECT_FALSE(state.printBusy);
  EXPECT_EQ(cloud.reports.size(), 1u);
  EXPECT_TRUE(printJobs.jobs.empty());
  Tick(1);
  EXPECT_FALSE(toolkit.quitCalled()) << "the poll and the printer list report are still out";
  cloudJobs.RunFirst();  // the printer list report

  ui.RunAll();
  Tick(1);
  EXPECT_FALSE(toolkit.quitCalled()) << "the poll is still out";
  Settle();
  Tick(1);
  EXPECT_TRUE(toolkit.quitCalled()) << "ends at the first tick after the last exchange";
  EXPECT_EQ(state.taskQueue.size(), 1u);
}

TEST_F(ShellWindows, TenthRightClickExportsThePrinterList) {
  state.autoRunService = false;
  state.programDirectory = dir.path();
  printerList.printers = {{"前台", "USB001"}};
  Started();
  ServiceWindow& service = OpenService();

  for (int i = 0; i < 9; ++i) toolkit.rightClick(service.window());
  EXPECT_TRUE(toolkit.messages().empty());
  toolkit.rightClick(service.window());
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"请先启动服务后再试"});

  Find<Button>("打印服务", "启动服务")->click();
  toolkit.rightClick(service.window());
  EXPECT_EQ(toolkit.messages().size(), 1u) << "the list is written off the UI thread first";
  Settle();
  EXPECT_TRUE(shell->polling()->window().isVisible());
  ASSERT_NE(shell->debugWindow(), nullptr);
  EXPECT_TRUE(state.debugViewEnabled) << "opening the debug window turns the view on";
  const ui::Rect debug = shell->debugWindow()->window().frameBounds();
  EXPECT_EQ(debug.left, 0);
  EXPECT_EQ(shell->polling()->window().frameBounds().left, debug.width + 2);
  ASSERT_EQ(toolkit.messages().size(), 2u);
  EXPECT_EQ(toolkit.messages()[1].box.text,
            "导出本机打印机列表完成，请在软件根目录查看 打印机列表.txt 文件");
  EXPECT_EQ(toolkit.messages()[1].box.owner, &service.window());
  EXPECT_TRUE(platform::FileExists(platform::JoinPath(dir.path(), kPrinterListFileName)));

  // Closing the debug window turns the view off again.
  shell->debugWindow()->window().requestClose();
  EXPECT_EQ(shell->debugWindow(), nullptr);
  EXPECT_FALSE(state.debugViewEnabled);
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
  EXPECT_NE(toolkit.first<ui::TextBox>(*Window("Debug"))->text().find("打印结束\r\n"),
            std::string::npos);
}

TEST_F(ShellWindows, ClosingTheServiceWindowGoesToTheTrayOnlyWhileRunning) {
  state.autoRunService = false;
  Started();
  ServiceWindow& service = OpenService();
  Find<Button>("打印服务", "启动服务")->click();

  EXPECT_FALSE(service.window().requestClose());
  EXPECT_FALSE(service.window().isVisible());
  EXPECT_TRUE(toolkit.trayShown());
  EXPECT_EQ(toolkit.trayTooltip(), "Quorvel打印服务端");
  toolkit.trayIcons().front()->click();
  EXPECT_TRUE(service.window().isVisible());
  EXPECT_TRUE(toolkit.trayShown()) << "the icon stays";

  Find<Button>("打印服务", "停止服务")->click();
  EXPECT_TRUE(service.window().requestClose());
  EXPECT_EQ(shell->service(), nullptr);
  EXPECT_EQ(Window("打印服务"), nullptr);
  EXPECT_FALSE(toolkit.trayShown());
}

struct StoreConfigWindowTest : ShellWindows {
  ui::Window& Open() {
    state.autoRunService = false;
    Started();
    toolkit.titleBarAction(*Window("Tillora"), kSettingsAction);
    return *Window("设置");
  }
  EditBox* Box(int index) {
    std::vector<EditBox*> boxes;
    for (ui::MemoryControl* c : toolkit.controls(*Window("设置"))) {
      if (auto* box = dynamic_cast<EditBox*>(&c->control)) boxes.push_back(box);
    }
    return boxes.at(static_cast<size_t>(index));
  }
  void Save() { Find<Button>("设置", "保存")->click(); }
};

TEST_F(StoreConfigWindowTest, FillsFromTheSettingsInEffect) {
  config.server.clear();
  state.feedLines = 3;
  state.autoCut = false;
  state.usbFallbackPort = 2;
  autostart.command = "x auto";
  ui::Window& window = Open();
  EXPECT_EQ(Box(0)->text(), "default.example");
  EXPECT_EQ(Box(1)->text(), "10001");
  EXPECT_EQ(Box(2)->text(), "3");
  EXPECT_FALSE(Find<CheckBox>("设置", "打印完成是否切纸")->isChecked());
  EXPECT_EQ(toolkit.first<ui::DropDownList>(window)->selectedValue(), 2);
  EXPECT_TRUE(Find<CheckBox>("设置", "开机自动启动")->isChecked());
  EXPECT_FALSE(Find<CheckBox>("设置", "自动运行打印服务")->isChecked());
  // Both start left of the page: their text ends at the box they name instead.
  EXPECT_EQ(Find<Label>("设置", "打印完成走纸：")->alignment(), ui::TextAlign::Right);
  EXPECT_EQ(Find<Label>("设置", "将USB打印替换为：")->alignment(), ui::TextAlign::Right);
}

TEST_F(StoreConfigWindowTest, SaveShowsTheCorrectedValuesAndTheOutcome) {
  ui::Window& window = Open();
  Box(0)->setText(" new.example ");
  Box(1)->setText("20002");
  Box(2)->setText("20");
  uplink.answer = R"({"code":500})";
  Save();
  EXPECT_EQ(Box(0)->text(), "new.example");
  EXPECT_EQ(Box(2)->text(), "15");
  // The check is out: a second click does nothing, and nothing is told yet.
  Save();
  EXPECT_EQ(cloudJobs.jobs.size(), 1u);
  EXPECT_TRUE(toolkit.messages().empty());
  Settle();
  EXPECT_EQ(uplink.server, "new.example") << "the check goes to the entered server";
  EXPECT_EQ(config.sid, "10001");
  ASSERT_EQ(toolkit.messages().size(), 1u);
  EXPECT_EQ(toolkit.messages()[0].box.text, "连接到服务器失败，请核对！");
  EXPECT_EQ(toolkit.messages()[0].box.owner, &window);

  uplink.answer = R"({"code":200})";
  Save();
  Settle();
  EXPECT_EQ(toolkit.messages().back().box.text, "配置门店信息完成");
  EXPECT_EQ(config.server, "new.example");
  EXPECT_EQ(config.sid, "20002");

  // Closed while its check is out: the save still takes effect, untold.
  Box(1)->setText("30003");
  Save();
  window.requestClose();
  ASSERT_EQ(Window("设置"), nullptr);
  Settle();
  EXPECT_EQ(config.sid, "30003");
  EXPECT_EQ(toolkit.messages().size(), 2u);
}

TEST_F(StoreConfigWindowTest, AutostartUncheckAskedAndCancelled) {
  autostart.command = deployment.programPath + " auto";
  Open();
  CheckBox* box = Find<CheckBox>("设置", "开机自动启动");
  toolkit.scriptAnswers({MessageResult::Cancel});
  box->click();
  ASSERT_EQ(toolkit.messages().size(), 1u);
  const ui::MessageBoxOptions& question = toolkit.messages()[0].box;
  EXPECT_EQ(question.text, "确定取消Quorvel打印服务端吗，取消后您将需要手动启动才能进行打印。");
  EXPECT_EQ(question.caption, "询问");
  EXPECT_EQ(question.buttons, ui::MessageButtons::OkCancel);
  EXPECT_EQ(question.icon, ui::MessageIcon::Question);
  EXPECT_EQ(autostart.command, deployment.programPath + " auto");
  EXPECT_TRUE(box->isChecked()) << "the box shows the entry that is still there";

  box->click();  // OK this time
  EXPECT_TRUE(autostart.command.empty());
  EXPECT_FALSE(box->isChecked());
  box->click();
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
    Find<Button>("打印服务", "打印设置")->click();
    return Find<CheckBox>("设置", "开机自动启动");
  }
};

TEST_F(AutostartQuestion, TheUserCannotCloseAnyWindowWhileItIsOpen) {
  CheckBox* box = OpenFromStoppedService();
  ui::Window* service = Window("打印服务");
  toolkit.whileNextMessageOpen([&] {
    EXPECT_FALSE(service->requestClose());
    EXPECT_FALSE(Window("设置")->requestClose());
    EXPECT_FALSE(Window("Tillora")->requestClose());
  });
  box->click();
  ASSERT_EQ(MessageTexts(), std::vector<std::string>{kAutostartRemovalQuestion});
  EXPECT_EQ(toolkit.messages()[0].box.owner, Window("设置"));
  EXPECT_TRUE(autostart.command.empty()) << "answered OK";
  ASSERT_NE(shell->storeConfig(), nullptr);
  EXPECT_FALSE(box->isChecked());
  EXPECT_TRUE(service->isVisible());
  EXPECT_TRUE(Window("Tillora")->isVisible());

  EXPECT_TRUE(service->requestClose()) << "stopped: closes once the box is answered";
  EXPECT_EQ(Window("设置"), nullptr) << "and takes 设置 with it";
}

// Windows that go while a box is open, by any other way than the user's close: the handler
// that opened the box must not touch them afterwards (ASan reports it if it does).
TEST_F(AutostartQuestion, HandlersDoNotTouchWindowsThatWentWhileItWasOpen) {
  CheckBox* box = OpenFromStoppedService();
  toolkit.whileNextMessageOpen([&] { shell->DestroyServiceWindow(); });
  box->click();
  EXPECT_EQ(Window("设置"), nullptr);
  EXPECT_TRUE(autostart.command.empty()) << "the answer still counts";

  // The same for the start button's "请先配置门店信息", which then opens 设置 over 打印服务.
  config.sid.clear();
  shell->OpenServiceWindow();
  shell->DestroyStoreConfig();
  toolkit.whileNextMessageOpen([&] { shell->DestroyServiceWindow(); });
  Find<Button>("打印服务", "启动服务")->click();
  EXPECT_EQ(MessageTexts().back(), "请先配置门店信息");
  EXPECT_EQ(Window("设置"), nullptr);
}

TEST_F(StoreConfigWindowTest, AutoRunBoxWritesAtOnceAndLeavesTheServiceAlone) {
  state.autoRunService = true;
  Started();
  Tick(3);  // running
  shell->OpenStoreConfig(&shell->service()->window());
  CheckBox* box = Find<CheckBox>("设置", "自动运行打印服务");
  ASSERT_TRUE(box->isChecked());
  box->click();
  ServiceState stored;
  ReadShellSettings(state.configPath, stored);
  EXPECT_FALSE(stored.autoRunService);
  EXPECT_TRUE(shell->service()->running());

  Find<Button>("设置", "打印服务状态")->click();
  EXPECT_EQ(Window("设置"), nullptr);
  EXPECT_TRUE(shell->service()->window().isVisible());
}

}  // namespace
}  // namespace qv::shell
