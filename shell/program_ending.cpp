#include "shell/program_ending.h"

#include "shell/cashier_window.h"
#include "shell/polling_window.h"
#include "shell/service_window.h"
#include "shell/shell.h"

namespace qv::shell {
namespace {

constexpr int kTickMs = 100;
// What Windows shows beside the program while it holds the session's end.
constexpr const char* kHoldReason = "正在完成打印任务";

std::string SecondsText(int64_t ms) {
  return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + "秒";
}

}  // namespace

ProgramEnding::ProgramEnding(Shell& shell) : shell_(shell) {
  timer_ = shell.Toolkit().CreateTimer([this] { Tick(); });
}

void ProgramEnding::Request(const std::string& cause) {
  if (Requested()) return;
  startedMs_ = shell_.Context().core.clock.MonotonicMs();
  shell_.State().ending = true;
  shell_.Context().core.runLog.WriteRunLog(cause);
  if (PollingWindow* polling = shell_.Polling()) polling->StopPollTimer();
  if (ServiceWindow* service = shell_.Service()) service->StopPrintTimer();
  // Its next tick would report the printer list and start the service.
  shell_.DestroySplash();
  if (CashierWindow* cashier = shell_.Cashier()) cashier->ShowExitNotice();
  waitedFor_ = Pending();
  if (!waitedFor_.empty()) shell_.Toolkit().HoldSessionEnd(kHoldReason);
  timer_->SetInterval(kTickMs);
}

std::string ProgramEnding::Pending() const {
  const ServiceState& state = shell_.State();
  std::string pending;
  auto add = [&pending](const char* what) {
    if (!pending.empty()) pending += "、";
    pending += what;
  };
  // A run of polls parked between two polls asks nothing more once the ending stopped it.
  const PollingWindow* polling = shell_.Polling();
  if (polling ? polling->AnswerMayCome() : state.pollBusy) add("查询任务的应答");
  if (state.printBusy) add("正在打印的小票");
  if (shell_.Exchanges() > 0) add("打印机列表上报或门店设置的服务器检查");
  return pending;
}

void ProgramEnding::Tick() {
  const std::string pending = Pending();
  if (pending.empty()) {
    Finish();
  } else if (shell_.Context().core.clock.MonotonicMs() - startedMs_ >= kEndWaitMs) {
    CutOff(pending);
  }
}

void ProgramEnding::Finish() {
  timer_->SetInterval(0);
  shell_.State().taskQueue.Flush();
  const int64_t took = shell_.Context().core.clock.MonotonicMs() - startedMs_;
  shell_.Context().core.runLog.WriteRunLog(
      waitedFor_.empty() ? "程序退出：没有进行中的任务"
                         : "程序退出：已等待" + waitedFor_ + "完成，用时" + SecondsText(took));
  shell_.Toolkit().HoldSessionEnd("");
  shell_.Toolkit().Quit(0);
}

void ProgramEnding::CutOff(const std::string& pending) {
  timer_->SetInterval(0);
  cutShort_ = true;
  ServiceState& state = shell_.State();
  std::string line = "程序退出：等待" + pending + "超过" + SecondsText(kEndWaitMs) + "，不再等待";
  if (state.printBusy && state.ticketInHand) {
    const TicketInHand& ticket = *state.ticketInHand;
    if (!ticket.settled.load()) {
      // Its bytes did not all reach the printer, or it is not known that they did: the task
      // goes back on record and prints whole at the next start rather than being lost.
      state.taskQueue.Append(ticket.task);
      line += "；小票[" + ticket.task.uni_key + "]未打印完成，已保存，下次启动时重新打印";
    } else {
      line += "；小票[" + ticket.task.uni_key + "]的打印结果未能上报";
    }
  }
  state.taskQueue.Flush();
  shell_.Context().core.runLog.WriteRunLog(line);
  shell_.Toolkit().HoldSessionEnd("");
  shell_.Toolkit().Quit(0);
}

}  // namespace qv::shell
