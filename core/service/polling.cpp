#include "core/service/polling.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "util/local_time.h"

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
    case Kind::OutOfMemory:
      return {"[DE_1]", "内存不足，无法处理本次查询的应答"};
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

// The 32-bit program has 2 GB of address space; an answer whose tree does not fit costs
// this poll, not the program (the transport already caps what it reads).
WaitAnswer FetchAndDecode(TaskCloud& cloud, const ServiceConfig& target) {
  try {
    return DecodeWaitAnswer(cloud.FetchWaitingTasksBody(target));
  } catch (const std::bad_alloc&) {
    WaitAnswer answer;
    answer.kind = WaitAnswer::Kind::OutOfMemory;
    return answer;
  }
}

// Queues the tasks of an answer that are new here, in one journal record, and flushes the
// journal (removals since the last answer included). An answer may repeat a task that an
// earlier answer delivered and that is still waiting or printing (or that ended while this
// poll was out): queueing it again would put the same ticket on paper twice.
void Enqueue(TaskQueue& queue, std::vector<PrintTask>& tasks) {
  std::vector<PrintTask> fresh;
  for (PrintTask& task : tasks) {
    const bool seen = queue.Contains(task.uni_key) ||
                      std::any_of(fresh.begin(), fresh.end(), [&](const PrintTask& t) {
                        return !task.uni_key.empty() && t.uni_key == task.uni_key;
                      });
    if (!seen) fresh.push_back(std::move(task));
  }
  queue.Append(fresh);
}

}  // namespace

Poller::Poller(CoreServices& services, PollStatusView& view)
    : s_(services), view_(view), pollInterval_(services.state.pollSeconds) {}

Poller::~Poller() { goOn_->store(false); }

void Poller::StartPolling() {
  // pollBusy stays as it is: a poll of an earlier run of the service may still be out, and
  // its answer clears the flag once it has been taken in.
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
    // A timer started after the run began (the print timer, at the start of the service)
    // woke the loop from its rest; nothing has changed for the service since.
    if (runOut_) s_.lanes.restUntilPosted();
    return;
  }
  ++pollTick_;
  if (pollTick_ <= pollInterval_) return;
  pollTick_ = 1;
  view_.SetPreviousMessage(lastMessage_);
  PollPrintTasks();
}

// One poll on the cloud lane. While the service has nothing to do, a poll that finds nothing
// hands nothing back: it queues the next poll on the lane itself and the UI thread's loop
// sleeps on, so an idle service wakes one thread per poll instead of two. The first answer
// with anything in it, a stop of the poller, or the last poll of a run hands back the answer
// and how many polls the run made, and polling goes on from the UI thread's timer.
struct Poller::PollRun {
  // Long enough that the wakes saved count, short enough that the UI thread's status lines
  // and counters never lag far behind.
  static constexpr int32_t kMostPolls = 60;

  TaskCloud& cloud;
  JobQueue& jobs;
  PostToUi post;
  PostToUi postUnhurried;
  ServiceConfig target;
  std::weak_ptr<CoreServices*> services;  // where the answer is taken in
  std::weak_ptr<Poller*> poller;
  // Shared with the poller, which clears it when it goes; null when this poll hands back
  // whatever it finds.
  std::shared_ptr<const std::atomic<bool>> goOn;
  std::shared_ptr<std::atomic<bool>> asking;  // with goOn: see Poller::asking_
  int32_t pollSeconds;
  int32_t polls = 1;  // made by this run, this one included

  void operator()() {
    // Set before goOn is read, so that whoever clears goOn and then finds this clear knows
    // that no request will go out.
    if (goOn) asking->store(true);
    if (goOn && !goOn->load()) {
      // The run was ended while this poll waited: no request, only the end of the poll.
      asking->store(false);
      PostToOwner(post, services, [](CoreServices& s) { EndPoll(s); });
      return;
    }
    WaitAnswer answer = FetchAndDecode(cloud, target);
    // Most polls find nothing; such an answer brings no task and no log line.
    const bool nothingNew =
        answer.kind == WaitAnswer::Kind::NoTask || answer.kind == WaitAnswer::Kind::DataEmpty;
    if (nothingNew && goOn && goOn->load() && polls < kMostPolls) {
      asking->store(false);
      PollRun next = std::move(*this);  // this job ends here
      ++next.polls;
      JobQueue& lane = next.jobs;
      const std::chrono::seconds delay(std::max(next.pollSeconds, 1));
      lane.SubmitAfter(delay, std::move(next));
      return;
    }
    // Outside a run, an empty answer needs no wake of its own to be taken in before the poll
    // timer's next tick; at the end of one the loop sleeps until it is woken.
    PostToOwner(nothingNew && !goOn ? postUnhurried : post, services,
                [poller = poller, polls = polls, answer = std::move(answer)](
                    CoreServices& s) mutable { TakeInAnswer(s, poller, answer, polls); });
  }
};

bool Poller::PollPrintTasks() {
  CheckUiThread();
  ServiceState& st = s_.state;
  if (s_.config.sid.empty() || st.pollBusy || st.ending) return false;

  ++pollCount_;
  view_.SetPollLine("查询[" + std::to_string(pollCount_) + "]次/记录数[" +
                    std::to_string(recordCount_) + "]");
  st.pollBusy = true;
  st.taskQueue.NotePollStarted();

  // The job gets copies of what it needs, and finds the services again only on the UI thread.
  ServiceLanes& lanes = s_.lanes;
  PollRun run{lanes.pollCloud, lanes.cloudJobs,
              lanes.post,      lanes.postUnhurried ? lanes.postUnhurried : lanes.post,
              s_.config,       s_.owner.Weak(),
              self_.Weak(),    nullptr,
              nullptr,         pollInterval_};
  runOut_ = false;
  // Nothing waits to print and nothing prints, so only an answer can give the service work;
  // the removals journaled by the last print go to disk now rather than at a later answer.
  if (st.taskQueue.Empty() && !st.printBusy && lanes.restUntilPosted && lanes.restUntilPosted()) {
    st.taskQueue.Flush();
    run.goOn = goOn_;
    run.asking = asking_;
    runOut_ = true;
  }
  lanes.cloudJobs.Submit(std::move(run));
  return true;
}

void Poller::EndPoll(CoreServices& services) {
  services.state.taskQueue.NotePollAnswered();
  services.state.pollBusy = false;
}

void Poller::TakeInAnswer(CoreServices& services, const std::weak_ptr<Poller*>& poller,
                          WaitAnswer& answer, int32_t polls) {
  const Outcome outcome = OutcomeOf(answer);
  // The tasks go on record before anything else happens with them.
  TaskQueue& queue = services.state.taskQueue;
  if (answer.kind == WaitAnswer::Kind::Tasks) {
    Enqueue(queue, answer.tasks);
  } else {
    queue.Flush();
  }
  queue.NotePollAnswered();
  services.state.pollBusy = false;
  if (!outcome.log.empty()) services.runLog.WriteRunLog(outcome.log);
  // The status lines belong to the polling window, which may have gone with a stop of the
  // service while the answer was on its way.
  if (const std::shared_ptr<Poller*> alive = poller.lock()) {
    (*alive)->ShowOutcome(answer, outcome.status, polls);
  }
}

void Poller::ShowOutcome(const WaitAnswer& answer, const std::string& status, int32_t polls) {
  pollCount_ += polls - 1;  // the first was counted when it started
  runOut_ = false;
  SetLastMessage(NextPollStamp() + status);
  if (answer.kind != WaitAnswer::Kind::Tasks) return;
  recordCount_ += static_cast<int32_t>(answer.tasks.size());
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
