#include "core/polling.h"

#include <algorithm>
#include <string>
#include <vector>

#include "util/local_time.h"
#include "util/scope_exit.h"

namespace qv {
namespace {

// What the polling window and the run log say about an answer: the status after the stamp of
// the next poll, and the log line (none when empty).
struct Outcome {
  std::string status;
  std::string log;
};

Outcome OutcomeOf(const WaitAnswer& answer) {
  using Kind = WaitAnswer::Kind;
  switch (answer.kind) {
    case Kind::Unreadable:
      return {"[DE_1]", "解析主包失败，错误行：" + std::to_string(answer.error.Line) +
                            "  错误内容：" + answer.error.Text};
    case Kind::CodeNotOk:
      return {"[CODE:" + std::to_string(answer.code) + "]", "返回状态码错误"};
    case Kind::NoTask:
      return {"[No Task]", ""};
    case Kind::DataUnreadable:
      return {"[DE_2]", "解析data失败，错误行：0  错误内容："};
    case Kind::DataEmpty:
      return {"[Task is empty]", ""};
    case Kind::Tasks:
      return {"[Task:" + std::to_string(answer.tasks.size()) + "]", ""};
  }
  return {};
}

// An answer with tasks, or none to give, counts as usable; the others as failed polls.
bool Usable(WaitAnswer::Kind kind) {
  using Kind = WaitAnswer::Kind;
  return kind == Kind::NoTask || kind == Kind::DataEmpty || kind == Kind::Tasks;
}

}  // namespace

Poller::Poller(CoreServices& services, PollStatusView& view)
    : s_(services), view_(view), pollInterval_(services.state.pollSeconds) {}

void Poller::StartPolling() {
  s_.state.pollBusy = false;
  pollTick_ = 1;
  pollInterval_ = s_.state.pollSeconds;
  pollCount_ = 0;
  recordCount_ = 0;
  lastMessage_ = "无";
  PollPrintTasks();
}

void Poller::PollTimerTick() {
  if (s_.state.pollBusy) {
    pollTick_ = 1;
    return;
  }
  ++pollTick_;
  if (pollTick_ <= pollInterval_) return;
  pollTick_ = 1;
  view_.SetPreviousMessage(lastMessage_);
  PollPrintTasks();
}

std::string Poller::FetchWaitingTasks() { return s_.cloud.FetchWaitingTasksBody(); }

bool Poller::PollPrintTasks() {
  ServiceState& st = s_.state;
  if (s_.config.sid.empty() || st.pollBusy) return false;

  ++pollCount_;
  view_.SetPollLine("查询[" + std::to_string(pollCount_) + "]次/记录数[" +
                    std::to_string(recordCount_) + "]");
  st.pollBusy = true;
  const ScopeExit pollEnded([&st] { st.pollBusy = false; });

  WaitAnswer answer = DecodeWaitAnswer(FetchWaitingTasks(), st.feedLines);
  ShowOutcome(answer);
  if (answer.kind == WaitAnswer::Kind::Tasks) Enqueue(answer.tasks);
  return Usable(answer.kind);
}

void Poller::ShowOutcome(const WaitAnswer& answer) {
  const Outcome outcome = OutcomeOf(answer);
  SetLastMessage(NextPollStamp() + outcome.status);
  if (!outcome.log.empty()) s_.runLog.WriteRunLog(outcome.log);
}

void Poller::Enqueue(std::vector<PrintTask>& tasks) {
  TaskQueue& queue = s_.state.taskQueue;
  std::vector<PrintTask> fresh;
  for (PrintTask& task : tasks) {
    ++recordCount_;
    // An answer may repeat a task that an earlier answer delivered and that is still waiting
    // here (or printing); queueing it again would put the same ticket on paper twice.
    const bool seen = queue.Contains(task.uni_key) ||
                      std::any_of(fresh.begin(), fresh.end(), [&](const PrintTask& t) {
                        return !task.uni_key.empty() && t.uni_key == task.uni_key;
                      });
    if (!seen) fresh.push_back(std::move(task));
  }
  // One journal write for the whole answer: the tasks are on disk before the poll ends.
  queue.Append(fresh);
  view_.SetPollLine("查询次数[" + std::to_string(pollCount_) + "]/记录数[" +
                    std::to_string(recordCount_) + "]");
}

std::string Poller::NextPollStamp() const {
  return DateTimeText(AddSeconds(s_.clock.Now(), pollInterval_));
}

void Poller::SetLastMessage(const std::string& text) {
  lastMessage_ = text;
  view_.SetLastMessage(text);
}

}  // namespace qv
