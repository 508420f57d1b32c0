#include "core/service/print_job.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/service/result_report.h"
#include "core/service/task_wire.h"
#include "util/text.h"

namespace qv {
namespace {

constexpr int kNetworkPort = 9100;
constexpr int kPingTimeoutMs = 400;
constexpr int kIoTimeoutMs = 400;
constexpr int kPaperWidth = 80;
constexpr int kSizeMode = 1;
constexpr int kLargestSizeCode = 7;  // the largest GS ! code of size mode 1

const std::string kRule = std::string(58, '-') + "\r\n";

// The driver refuses a size code above 7 without sending anything; that is no failed
// transfer, so only a false result for a size it accepts counts against the task.
bool SizeRefused(const ContentLine& line) {
  return std::max(line.width, 0) > kLargestSizeCode || std::max(line.height, 0) > kLargestSizeCode;
}

// Sends every copy; false at the first transfer that did not go out, after which nothing
// more is sent (a lost connection only fails again, and a spooler job with a hole in it
// prints garbage).
bool SendCopies(ReceiptDriver& driver, JobLog& log, const std::vector<ContentLine>& lines,
                const PrintTask& task, const PrintSettings& print) {
  for (int copy = 1; copy <= task.print_num; ++copy) {
    log.DebugLine("正在打印[" + std::to_string(task.print_num) + "/" + std::to_string(copy) +
                  "]份");
    for (const ContentLine& line : lines) {
      if (!driver.setBold(line.bold ? 1 : 0)) return false;
      if (!driver.setAlignment(line.align)) return false;
      if (!driver.setCharacterSize(line.width, line.height, kSizeMode) && !SizeRefused(line)) {
        return false;
      }
      if (!driver.PrintTextLine(line.text)) return false;
    }
    if (!driver.lineFeed(print.feedLines)) return false;
    if (print.autoCut && !driver.cut()) return false;
  }
  return true;
}

// The queue count of the service window. While the journal cannot be written the staff see it
// there too: a crash would lose the tasks not yet printed, and held-back ones wait for the file.
std::string QueueLengthText(const TaskQueue& queue) {
  std::string text = std::to_string(queue.Size()) + "条";
  if (!queue.JournalWritable()) text += "（无法存盘）";
  return text;
}

// One task as the printer lane runs it, with copies of all it needs from the UI thread.
struct PrintJob {
  PrintTask task;
  PrintSettings print;   // the settings in effect when the task was taken
  ServiceConfig target;  // where the report goes
  std::shared_ptr<TicketInHand> inHand;
};

// The objects of the printer lane that a print job uses; they outlive the lane's thread.
struct PrinterLane {
  PrinterAccess& printers;
  TaskCloud& reportCloud;
};

// What comes back to the UI thread when a print job has ended: nothing but the fact.
struct PrintEnded {};

// Runs one task on one of the three transports, on the printer lane.
class TaskExecution {
 public:
  TaskExecution(PrintJob& job, PrinterLane lane, JobLog& log)
      : task_(job.task),
        print_(job.print),
        target_(job.target),
        settled_(job.inHand->settled),
        lane_(lane),
        log_(log) {}

  void Run(Transport transport) {
    transport_ = transport;
    ReceiptDriver& driver = lane_.printers.Driver(transport);
    const std::string& sn = task_.print_sn;
    int port = 0;
    if (transport == Transport::Lpt) {
      port = TextToInt(sn);
      task_.print_sn = "LPT" + task_.print_sn;
    }
    AnnounceTask();
    if (transport == Transport::Lpt && port != 1 && port != 2) {
      Debug("连接[" + sn + "]打印机失败，无此LPT接口");
      Report(PrintOutcome::Failed);
      return;
    }
    if (!Open(port)) {
      Fail("]连接失败");
      if (transport != Transport::Spooler) Debug("连接[" + sn + "]打印机失败，该单系统取消打印");
      log_.WriteRunLog(task_.message);
      Report(PrintOutcome::Failed);
      driver.close(0, 0);
      return;
    }
    const std::optional<std::vector<ContentLine>> lines = DecodePrintContent(task_.print_content);
    if (!lines) {
      FailAfterOpen(driver, "]连接成功但是打印失败，失败状态：[数据解析错误]");
      return;
    }
    if (!driver.PaperReady()) {
      // Sent to a printer without paper, the ticket would be lost yet reported printed.
      FailAfterOpen(driver, "]连接成功但是打印失败，失败状态：[缺纸或纸盖开启]");
      return;
    }
    Debug("打印初始化完成，即将打印[" + std::to_string(task_.print_num) + "]份");
    if (!SendCopies(driver, log_, *lines, task_, print_) || !driver.ConfirmDelivery()) {
      // A ticket whose bytes did not all reach the printer is reported as failed, so that
      // the cloud and the staff know it is missing or incomplete.
      FailAfterOpen(driver, "]连接成功但是打印失败，失败状态：[数据发送失败]");
      return;
    }
    task_.message.clear();
    // The report goes out while the printer is still open, before the close.
    Report(PrintOutcome::Printed);
    if (!driver.close(0, 0) && !driver.close(0, 0)) Debug("断开2次打印机失败");
    Debug("打印结束");
  }

  // Whether the outcome went to the cloud (or was attempted).
  bool Reported() const { return reported_; }

 private:
  const char* Name() const {
    switch (transport_) {
      case Transport::Network:
        return "IP打印机[";
      case Transport::Spooler:
        return "USB打印机[";
      case Transport::Lpt:
        return "LPT打印机[";
    }
    return "";
  }

  void AnnounceTask() {
    const std::string& sn = task_.print_sn;
    switch (transport_) {
      case Transport::Network:
        Debug(kRule + "准备向IP打印机[" + sn + "]打印");
        break;
      case Transport::Spooler:
        Debug(kRule + "准备向本地打印机[" + sn +
              "]打印\r\n   -如果打印机没有出纸请查看右下角系统托盘打印机是否挂起或脱机状态。");
        break;
      case Transport::Lpt:
        Debug(kRule + "准备向本地[" + sn + "]打印\r\n");
        break;
    }
  }

  bool Open(int port) {
    switch (transport_) {
      case Transport::Network:
        return lane_.printers.ConnectNetwork(task_.print_sn, kNetworkPort, kPingTimeoutMs,
                                             kIoTimeoutMs, kPaperWidth);
      case Transport::Spooler: {
        std::string errorText;
        if (lane_.printers.OpenSpooler(task_.print_sn, kPaperWidth, errorText)) return true;
        Debug("连接[" + task_.print_sn + "]打印机失败，该单系统取消打印，错误内容【" + errorText +
              "】");
        return false;
      }
      case Transport::Lpt:
        return lane_.printers.OpenLpt(port, kPaperWidth);
    }
    return false;
  }

  void Fail(const std::string& what) {
    task_.status = 3;
    task_.message = Name() + task_.print_sn + what;
  }

  void FailAfterOpen(ReceiptDriver& driver, const std::string& what) {
    Fail(what);
    Debug(task_.message);
    log_.WriteRunLog(task_.message);
    Report(PrintOutcome::Failed);
    driver.close(0, 0);
  }

  void Debug(const std::string& line) { log_.DebugLine(line); }
  void Report(PrintOutcome outcome) {
    reported_ = true;
    settled_.store(true);
    ReportPrintResult(lane_.reportCloud, target_, log_, task_.uni_key, outcome);
  }

  PrintTask& task_;
  const PrintSettings& print_;
  const ServiceConfig& target_;
  std::atomic<bool>& settled_;
  PrinterLane lane_;
  JobLog& log_;
  Transport transport_ = Transport::Network;
  bool reported_ = false;
};

// The whole of one task on the printer lane: the transport its print_type names, or nothing
// but a debug line for a transport this program does not know. An allocation failure on the
// way (a content too large for the memory left) fails this task, never the program.
void RunPrintJob(PrintJob& job, PrinterLane lanes, JobLog& log) {
  PrintTask& task = job.task;
  if (task.print_type >= 1 && task.print_type <= 3) {
    const auto transport = static_cast<Transport>(task.print_type);
    TaskExecution execution(job, lanes, log);
    try {
      execution.Run(transport);
    } catch (const std::bad_alloc&) {
      lanes.printers.Driver(transport).close(0, 0);
      log.WriteRunLog("内存不足，任务[" + task.uni_key + "]未能打印");
      if (!execution.Reported()) {
        job.inHand->settled.store(true);
        ReportPrintResult(lanes.reportCloud, job.target, log, task.uni_key, PrintOutcome::Failed);
      }
    }
    return;
  }
  // Nothing is printed, logged or reported for a transport this program does not know.
  log.DebugLine(kRule + "未知的打印类型[type=" + std::to_string(task.print_type) + "]尝试调用[" +
                task.print_sn + "]打印\r\n   【因为打印类型未知所以此单未打印】。");
}

}  // namespace

void PrintJobRunner::PrintTimerTick() {
  if (s_.config.sid.empty()) {
    shell_.StopPrintTimer();
    if (!s_.state.launchedWithArgs) {
      shell_.ShowMessage("请先配置门店信息", "提示");
      shell_.OpenStoreConfig();
    }
    return;
  }
  ExecuteNextTask();
  shell_.ShowQueueLength(QueueLengthText(s_.state.taskQueue));
}

void PrintJobRunner::ExecuteNextTask() {
  CheckUiThread();
  ServiceState& st = s_.state;
  // One task at a time: the queue may be empty while the last one taken still prints.
  if (st.printBusy || st.ending) return;
  std::optional<PrintTask> taken = st.taskQueue.TakeFirst();
  if (!taken) return;
  st.printBusy = true;
  st.ticketInHand = std::make_shared<TicketInHand>();
  st.ticketInHand->task = *taken;

  PrintJob job{std::move(*taken), st.print, s_.config, st.ticketInHand};
  if (job.task.print_type == 2 && st.print.usbFallbackPort > 0) {
    job.task.print_type = 3;
    job.task.print_sn = std::to_string(st.print.usbFallbackPort);
  }
  // The job gets copies of what it needs; its end finds the services again on the UI thread,
  // and the runner only if it is still there.
  ServiceLanes& lanes = s_.lanes;
  RunOnLane(
      lanes.printJobs, lanes.post, s_.owner.Weak(),
      [job = std::move(job), lane = PrinterLane{lanes.printers, lanes.reportCloud},
       log = JobLog(s_)]() mutable {
        RunPrintJob(job, lane, log);
        return PrintEnded{};
      },
      [runner = self_.Weak()](CoreServices& services, PrintEnded) {
        services.state.taskQueue.FinishPrinting();
        services.state.printBusy = false;
        services.state.ticketInHand.reset();
        if (const std::shared_ptr<PrintJobRunner*> alive = runner.lock()) (*alive)->AfterTask();
      });
}

void PrintJobRunner::AfterTask() {
  // A burst drains at the printers' pace: the next task starts as soon as one has ended,
  // not at the next tick, unless the service was stopped or the program is closing.
  if (shell_.PrintTimerRunning() && !s_.config.sid.empty()) ExecuteNextTask();
  shell_.ShowQueueLength(QueueLengthText(s_.state.taskQueue));
}

}  // namespace qv
