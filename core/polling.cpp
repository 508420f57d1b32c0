#include "core/polling.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/task_wire.h"
#include "util/local_time.h"

namespace qv {

void Poller::StartPolling() {
  ServiceState& st = s_.state;
  st.pollBusy = false;
  st.pollTick = 1;
  st.pollInterval = st.pollSeconds;
  st.pollCount = 0;
  st.recordCount = 0;
  lastMessage_ = "无";
  PollPrintTasks();
}

void Poller::PollTimerTick() {
  ServiceState& st = s_.state;
  if (st.pollBusy) {
    st.pollTick = 1;
    return;
  }
  ++st.pollTick;
  if (st.pollTick <= st.pollInterval) return;
  st.pollTick = 1;
  view_.SetPreviousMessage(lastMessage_);
  PollPrintTasks();
}

std::string Poller::FetchWaitingTasks() { return s_.cloud.FetchWaitingTasksBody(); }

std::string Poller::NextPollStamp() {
  return DateTimeText(AddSeconds(s_.clock.Now(), s_.state.pollInterval));
}

void Poller::SetLastMessage(const std::string& text) {
  lastMessage_ = text;
  view_.SetLastMessage(text);
}

bool Poller::PollPrintTasks() {
  ServiceState& st = s_.state;
  if (s_.config.sid.empty() || st.pollBusy) return false;

  ++st.pollCount;
  view_.SetPollLine("查询[" + std::to_string(st.pollCount) + "]次/记录数[" +
                    std::to_string(st.recordCount) + "]");
  st.pollBusy = true;
  WaitAnswer answer = DecodeWaitAnswer(FetchWaitingTasks(), st.feedLines);
  using Kind = WaitAnswer::Kind;
  switch (answer.kind) {
    case Kind::Unreadable:
      st.pollBusy = false;
      SetLastMessage(NextPollStamp() + "[DE_1]");
      s_.runLog.WriteRunLog("解析主包失败，错误行：" + std::to_string(answer.error.Line) +
                            "  错误内容：" + answer.error.Text);
      return false;
    case Kind::CodeNotOk:
      SetLastMessage(NextPollStamp() + "[CODE:" + std::to_string(answer.code) + "]");
      st.pollBusy = false;
      s_.runLog.WriteRunLog("返回状态码错误");
      return false;
    case Kind::NoTask:
      SetLastMessage(NextPollStamp() + "[No Task]");
      st.pollBusy = false;
      return true;
    case Kind::DataUnreadable:
      st.pollBusy = false;
      SetLastMessage(NextPollStamp() + "[DE_2]");
      s_.runLog.WriteRunLog("解析data失败，错误行：0  错误内容：");
      return false;
    case Kind::DataEmpty:
      SetLastMessage(NextPollStamp() + "[Task is empty]");
      st.pollBusy = false;
      return true;
    case Kind::Tasks:
      break;
  }
  SetLastMessage(NextPollStamp() + "[Task:" + std::to_string(answer.tasks.size()) + "]");

  std::vector<PrintTask> fresh;
  for (PrintTask& task : answer.tasks) {
    ++st.recordCount;
    // An answer may repeat a task that an earlier answer delivered and that is still waiting
    // here (or printing); queueing it again would put the same ticket on paper twice.
    bool seen = st.taskQueue.Contains(task.uni_key) ||
                std::any_of(fresh.begin(), fresh.end(), [&](const PrintTask& t) {
                  return !task.uni_key.empty() && t.uni_key == task.uni_key;
                });
    if (!seen) fresh.push_back(std::move(task));
  }
  // One journal write for the whole answer: the tasks are on disk before the poll ends.
  st.taskQueue.Append(fresh);

  view_.SetPollLine("查询次数[" + std::to_string(st.pollCount) + "]/记录数[" +
                    std::to_string(st.recordCount) + "]");
  st.pollBusy = false;
  return true;
}

}  // namespace qv
