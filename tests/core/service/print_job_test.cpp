#include "core/service/print_job.h"

#include <gtest/gtest.h>

#include <new>

#include "tests/fakes/core_fakes.h"

namespace qv::testing {
namespace {

const std::string kRule = std::string(58, '-') + "\r\n";

PrintTask Task(int type, const std::string& sn, const std::string& content, int copies = 1) {
  PrintTask t;
  t.uni_key = "k1";
  t.print_type = type;
  t.print_sn = sn;
  t.print_num = copies;
  t.print_content = content;
  return t;
}

class PrintJobTest : public ::testing::Test {
 protected:
  void Run(const PrintTask& task) {
    f_.state.taskQueue.Append(task);
    runner_.PrintTimerTick();
    f_.Settle();
  }
  std::vector<std::string> Stats() const {
    std::vector<std::string> out;
    for (const auto& r : f_.cloud.reports) out.push_back(r.uniKey + " " + r.stat);
    return out;
  }
  CoreFixture f_;
  RecordingShell shell_;
  PrintJobRunner runner_{f_.services, shell_};
};

TEST_F(PrintJobTest, NetworkTaskPrintsTextLinesReportsThenCloses) {
  f_.state.print.autoCut = true;
  Run(Task(1, "192.168.1.9",
           R"([{"type":1,"bold":1,"align":0,"widthEnlarge":1,"heightEnlarge":1,"text":"标题"},)"
           R"({"type":2,"text":"skipped"},{"text":"no type"},)"
           R"({"type":"1","bold":2,"align":7,"text":"右"}])"));
  EXPECT_EQ(f_.printers.ops,
            (std::vector<std::string>{"connect 192.168.1.9 9100 400 400 80", "bold 1", "align 1",
                                      "size 1 1 1", "text 标题", "bold 0", "align 3", "size 0 0 1",
                                      "text 右", "feed 5", "cut", "network close 0 0"}));
  EXPECT_EQ(Stats(), std::vector<std::string>{"k1 1"});
  EXPECT_EQ(f_.debugView.Messages(),
            (std::vector<std::string>{kRule + "准备向IP打印机[192.168.1.9]打印",
                                      "打印初始化完成，即将打印[1]份", "正在打印[1/1]份",
                                      kRule + "打印结果[k1]打印准备上报，打印成功=真",
                                      "上报[k1]返回结果完成", "打印结束"}));
  EXPECT_TRUE(f_.LogMessages().empty());
  EXPECT_FALSE(f_.state.printBusy);
  EXPECT_TRUE(f_.state.taskQueue.Empty());
  EXPECT_EQ(shell_.queueLabel, "0条");
}

TEST_F(PrintJobTest, CopiesFeedAndCutAndOneReport) {
  f_.state.print.autoCut = false;
  Run(Task(2, "POS-80", R"([{"type":2,"text":"x"}])", 3));
  EXPECT_EQ(f_.printers.ops, (std::vector<std::string>{"open spooler POS-80 80", "feed 5", "feed 5",
                                                       "feed 5", "spooler close 0 0"}));
  EXPECT_EQ(Stats(), std::vector<std::string>{"k1 1"});
  const auto lines = f_.debugView.Messages();
  EXPECT_EQ(lines[0], kRule +
                          "准备向本地打印机[POS-80]打印\r\n   "
                          "-如果打印机没有出纸请查看右下角系统托盘打印机是否挂起或脱机状态。");
  EXPECT_EQ(lines[2], "正在打印[3/1]份");
  EXPECT_EQ(lines[4], "正在打印[3/3]份");
}

TEST_F(PrintJobTest, UsbTaskGoesToTheFallbackParallelPort) {
  f_.state.print.usbFallbackPort = 1;
  f_.printers.openResult = false;
  Run(Task(2, "POS-80", "[]"));
  EXPECT_EQ(f_.printers.ops, (std::vector<std::string>{"open lpt 1 80", "lpt close 0 0"}));
  EXPECT_EQ(f_.LogMessages(), std::vector<std::string>{"LPT打印机[LPT1]连接失败"});
  EXPECT_EQ(f_.debugView.Messages()[0], kRule + "准备向本地[LPT1]打印\r\n");
  EXPECT_EQ(f_.debugView.Messages()[1], "连接[LPT1]打印机失败，该单系统取消打印");
}

TEST_F(PrintJobTest, ParallelPortOtherThanOneOrTwoFailsWithoutOpening) {
  for (const std::string sn : {"3", "LPT1"}) {
    SCOPED_TRACE(sn);
    CoreFixture fx;
    RecordingShell sh;
    PrintJobRunner r(fx.services, sh);
    fx.state.taskQueue.Append(Task(3, sn, "[]"));
    r.ExecuteNextTask();
    fx.Settle();
    EXPECT_TRUE(fx.printers.ops.empty());
    ASSERT_EQ(fx.cloud.reports.size(), 1u);
    EXPECT_EQ(fx.cloud.reports[0].stat, "-1");
    EXPECT_EQ(fx.debugView.Messages()[1], "连接[LPT" + sn + "]打印机失败，无此LPT接口");
    EXPECT_TRUE(fx.LogMessages().empty());
  }
}

TEST_F(PrintJobTest, OpenFailureLogsReportsAndStillCloses) {
  struct Case {
    int type;
    std::string sn, open, debug, log;
  };
  for (const Case& c : std::vector<Case>{
           {1, "10.0.0.7", "connect 10.0.0.7 9100 400 400 80",
            "连接[10.0.0.7]打印机失败，该单系统取消打印", "IP打印机[10.0.0.7]连接失败"},
           {2, "Kitchen", "open spooler Kitchen 80",
            "连接[Kitchen]打印机失败，该单系统取消打印，错误内容【打印机名无效。】",
            "USB打印机[Kitchen]连接失败"},
           {3, "2", "open lpt 2 80", "连接[LPT2]打印机失败，该单系统取消打印",
            "LPT打印机[LPT2]连接失败"}}) {
    SCOPED_TRACE(c.sn);
    CoreFixture fx;
    RecordingShell sh;
    PrintJobRunner r(fx.services, sh);
    fx.printers.openResult = false;
    fx.state.taskQueue.Append(Task(c.type, c.sn, "[]"));
    r.ExecuteNextTask();
    fx.Settle();
    ASSERT_EQ(fx.printers.ops.size(), 2u);
    EXPECT_EQ(fx.printers.ops[0], c.open);
    EXPECT_NE(fx.printers.ops[1].find(" close 0 0"), std::string::npos);
    EXPECT_EQ(fx.debugView.Messages()[1], c.debug);
    EXPECT_EQ(fx.LogMessages(), std::vector<std::string>{c.log});
    ASSERT_EQ(fx.cloud.reports.size(), 1u);
    EXPECT_EQ(fx.cloud.reports[0].stat, "-1");
    EXPECT_FALSE(fx.state.printBusy);
  }
}

TEST_F(PrintJobTest, ContentThatIsNotJsonFailsAfterOpening) {
  Run(Task(1, "10.0.0.7", "[{oops"));
  EXPECT_EQ(f_.printers.ops,
            (std::vector<std::string>{"connect 10.0.0.7 9100 400 400 80", "network close 0 0"}));
  const std::string message = "IP打印机[10.0.0.7]连接成功但是打印失败，失败状态：[数据解析错误]";
  EXPECT_EQ(f_.LogMessages(), std::vector<std::string>{message});
  EXPECT_EQ(f_.debugView.Messages()[1], message);
  EXPECT_EQ(Stats(), std::vector<std::string>{"k1 -1"});
}

TEST_F(PrintJobTest, FailedTransferStopsTheTaskAndReportsItFailed) {
  f_.printers.network.failFromOp = 6;  // the second line's character size
  Run(Task(1, "10.0.0.8", R"([{"type":1,"text":"a"},{"type":1,"text":"b"},{"type":1,"text":"c"}])",
           2));
  EXPECT_EQ(f_.printers.ops,
            (std::vector<std::string>{"connect 10.0.0.8 9100 400 400 80", "bold 0", "align 1",
                                      "size 0 0 1", "text a", "bold 0", "align 1", "size 0 0 1",
                                      "network close 0 0"}));
  EXPECT_EQ(Stats(), std::vector<std::string>{"k1 -1"});
  EXPECT_EQ(
      f_.LogMessages(),
      std::vector<std::string>{"IP打印机[10.0.0.8]连接成功但是打印失败，失败状态：[数据发送失败]"});
}

TEST_F(PrintJobTest, AllocationFailureFailsOnlyThatTask) {
  struct ExhaustedDriver : RecordingDriver {
    using RecordingDriver::RecordingDriver;
    bool PrintTextLine(const std::string&) override { throw std::bad_alloc(); }
  };
  struct ExhaustedPrinters : FakePrinterAccess {
    ReceiptDriver& Driver(Transport) override { return exhausted; }
    ExhaustedDriver exhausted{"network", ops};
  } printers;
  ServiceLanes lanes{f_.cloudJobs, f_.cloud, f_.printJobs, f_.cloud, printers, f_.lanes.post};
  CoreServices services{f_.config, f_.state, f_.runLog, f_.debugLog, f_.clock, lanes};
  PrintJobRunner exhaustedRunner(services, shell_);
  f_.state.taskQueue.Append(Task(1, "10.0.0.7", R"([{"type":1,"text":"a"}])"));
  exhaustedRunner.ExecuteNextTask();
  f_.Settle();
  EXPECT_EQ(printers.ops, (std::vector<std::string>{"connect 10.0.0.7 9100 400 400 80", "bold 0",
                                                    "align 1", "size 0 0 1", "network close 0 0"}));
  EXPECT_EQ(Stats(), std::vector<std::string>{"k1 -1"});
  EXPECT_EQ(f_.LogMessages(), std::vector<std::string>{"内存不足，任务[k1]未能打印"});
  EXPECT_FALSE(f_.state.printBusy);

  // The next task prints as usual.
  Run(Task(1, "10.0.0.8", R"([{"type":1,"text":"b"}])"));
  EXPECT_EQ(Stats(), (std::vector<std::string>{"k1 -1", "k1 1"}));
}

TEST_F(PrintJobTest, PrinterWithoutPaperGetsNothingAndTheTaskFails) {
  f_.printers.network.hasPaper = false;
  Run(Task(1, "10.0.0.9", R"([{"type":1,"text":"a"}])", 2));
  EXPECT_EQ(f_.printers.ops,
            (std::vector<std::string>{"connect 10.0.0.9 9100 400 400 80", "network close 0 0"}));
  EXPECT_EQ(Stats(), std::vector<std::string>{"k1 -1"});
  EXPECT_EQ(f_.LogMessages(),
            std::vector<std::string>{
                "IP打印机[10.0.0.9]连接成功但是打印失败，失败状态：[缺纸或纸盖开启]"});
}

TEST_F(PrintJobTest, RefusedCharacterSizeIsNoFailedTransfer) {
  Run(Task(1, "10.0.0.8", R"([{"type":1,"widthEnlarge":8,"heightEnlarge":-2,"text":"a"}])"));
  EXPECT_EQ(Stats(), std::vector<std::string>{"k1 1"});
}

TEST_F(PrintJobTest, CloseIsRetriedOnce) {
  f_.printers.network.closeResults = {false, false};
  Run(Task(1, "10.0.0.8", "[]"));
  EXPECT_EQ(f_.debugView.Messages().back(), "打印结束");
  EXPECT_EQ(f_.debugView.Messages()[f_.debugView.Messages().size() - 2], "断开2次打印机失败");
  f_.printers.network.closeResults = {false, true};
  f_.debugView.lines.clear();
  Run(Task(1, "10.0.0.8", "[]"));
  for (const std::string& l : f_.debugView.Messages()) EXPECT_NE(l, "断开2次打印机失败");
}

TEST_F(PrintJobTest, UnknownTypeIsDroppedSilently) {
  Run(Task(4, "x", "[]"));
  EXPECT_TRUE(f_.printers.ops.empty());
  EXPECT_TRUE(f_.cloud.reports.empty());
  EXPECT_TRUE(f_.LogMessages().empty());
  EXPECT_TRUE(f_.state.taskQueue.Empty());
  EXPECT_FALSE(f_.state.printBusy);
  EXPECT_EQ(f_.debugView.Messages(),
            std::vector<std::string>{kRule + "未知的打印类型[type=4]尝试调用[x]打印\r\n   "
                                             "【因为打印类型未知所以此单未打印】。"});
}

TEST_F(PrintJobTest, OneTaskAtATimeAndTheNextAsSoonAsOneEnds) {
  PrintTask a = Task(1, "10.0.0.1", "[]"), b = Task(1, "10.0.0.2", "[]"), c = Task(4, "c", "[]");
  a.uni_key = "a";
  b.uni_key = "b";
  f_.state.taskQueue.Append({a, b, c});
  runner_.PrintTimerTick();
  EXPECT_TRUE(f_.state.printBusy);
  EXPECT_EQ(shell_.queueLabel, "2条");
  // While a task runs, ticks start nothing more.
  runner_.PrintTimerTick();
  EXPECT_EQ(f_.printJobs.jobs.size(), 1u);
  EXPECT_EQ(shell_.queueLabel, "2条");
  // Its end starts the next one at once, without waiting for a tick, and so on to the end.
  f_.Settle();
  EXPECT_EQ(f_.printers.ops,
            (std::vector<std::string>{"connect 10.0.0.1 9100 400 400 80", "feed 5", "cut",
                                      "network close 0 0", "connect 10.0.0.2 9100 400 400 80",
                                      "feed 5", "cut", "network close 0 0"}));
  EXPECT_EQ(Stats(), (std::vector<std::string>{"a 1", "b 1"}));
  EXPECT_FALSE(f_.state.printBusy);
  EXPECT_EQ(shell_.queueLabel, "0条");
  EXPECT_EQ(f_.debugView.Messages().back(), kRule +
                                                "未知的打印类型[type=4]尝试调用[c]打印\r\n   "
                                                "【因为打印类型未知所以此单未打印】。");
}

TEST_F(PrintJobTest, StoppedTimerOrAGoneRunnerLeavesTheRestForTheNextTick) {
  f_.state.taskQueue.Append({Task(4, "a", "[]"), Task(4, "b", "[]"), Task(4, "c", "[]")});
  runner_.PrintTimerTick();
  shell_.timerRunning = false;  // the service was stopped, or the program is closing
  f_.Settle();
  EXPECT_FALSE(f_.state.printBusy);
  EXPECT_EQ(f_.state.taskQueue.Size(), 2u);
  EXPECT_EQ(shell_.queueLabel, "2条");

  {
    // The service window goes while its task prints: the end is still taken in.
    RecordingShell gone;
    PrintJobRunner(f_.services, gone).ExecuteNextTask();
  }
  EXPECT_TRUE(f_.state.printBusy);
  f_.Settle();
  EXPECT_FALSE(f_.state.printBusy);
  EXPECT_EQ(f_.state.taskQueue.Size(), 1u);
}

TEST_F(PrintJobTest, TaskCarriesTheSettingsOfItsStart) {
  f_.state.print.autoCut = true;
  f_.state.taskQueue.Append(Task(2, "POS-80", "[]"));
  runner_.PrintTimerTick();
  // Changed while the job waits for its lane: the job is not touched.
  f_.state.print.autoCut = false;
  f_.state.print.usbFallbackPort = 2;
  f_.config.sid = "20002";
  f_.Settle();
  EXPECT_EQ(f_.printers.ops, (std::vector<std::string>{"open spooler POS-80 80", "feed 5", "cut",
                                                       "spooler close 0 0"}));
  ASSERT_EQ(f_.cloud.reports.size(), 1u);
  EXPECT_EQ(f_.cloud.reports[0].sid, "10001");
}

TEST_F(PrintJobTest, MissingStoreIdStopsTheTimerAndAsksForIt) {
  f_.config.sid.clear();
  f_.state.taskQueue.Append(Task(1, "a", "[]"));
  runner_.PrintTimerTick();
  EXPECT_EQ(shell_.events,
            (std::vector<std::string>{"stop timer", "box 提示 请先配置门店信息", "store config"}));
  EXPECT_EQ(f_.state.taskQueue.Size(), 1u);
  shell_.events.clear();
  f_.state.launchedWithArgs = true;
  runner_.PrintTimerTick();
  EXPECT_EQ(shell_.events, std::vector<std::string>{"stop timer"});
}

}  // namespace
}  // namespace qv::testing
