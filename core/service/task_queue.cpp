#include "core/service/task_queue.h"

#include <utility>

#include "core/config/run_log.h"
#include "core/service/task_journal.h"
#include "platform/file_system.h"

namespace qv {
namespace {

// Records of tasks gone may outnumber the waiting ones by this much before the file is written
// whole again, so that a short queue is not rewritten after every few tasks.
constexpr size_t kRewriteSlack = 256;

// A free name beside the journal for a file we could not use, so that nothing in it is lost
// for someone who wants to look at it.
std::string SetAsideName(const std::string& path) {
  for (int n = 1;; ++n) {
    std::string candidate = path + ".bad" + std::to_string(n);
    if (!platform::FileExists(candidate)) return candidate;
  }
}

}  // namespace

JournalRestore TaskQueue::OpenJournal(const std::string& path, RunLog* log) {
  JournalRestore result;
  journalPath_ = path;
  log_ = log;
  if (!platform::FileExists(path)) {
    // The file exists from the start, so that the first poll answer is one short append
    // like every later one and not the slower creation of the file.
    if (!WriteSnapshot()) NoteUnwritable();
    return result;
  }

  std::string text;
  JournalContent content;
  const JournalRead read =
      platform::ReadFile(path, text) ? ReadJournal(text, content) : JournalRead::Unusable;
  if (read != JournalRead::Unusable) {
    // Restored tasks go before anything queued in memory so far, keeping the order in which
    // the cloud handed them out.
    result.restored = content.tasks.size();
    std::deque<PrintTask> queued = std::move(tasks_);
    tasks_.clear();
    slots_.clear();
    waitingKeys_.clear();
    for (PrintTask& t : content.tasks) Push(std::move(t));
    for (PrintTask& t : queued) Push(std::move(t));
    // Written whole at once: the records of tasks printed in earlier runs go, and so does a
    // record cut off at the end.
    if (WriteSnapshot()) return result;
    // A full disk or a folder we may not write in. The slots already in the file still
    // record removals where the file itself may be written; without them, a restored task
    // printed now would be printed again at every start, so it waits in the file instead.
    const bool writableInPlace = platform::OverwriteFile(path, 0, {});
    if (writableInPlace && content.freeSlots.size() == result.restored) {
      for (size_t i = 0; i < result.restored; ++i) slots_[i] = content.freeSlots[i];
    } else {
      for (size_t i = 0; i < result.restored; ++i) {
        held_.push_back(std::move(tasks_.front()));
        tasks_.pop_front();
        slots_.pop_front();
      }
    }
    result.heldBack = held_.size();
    if (!writableInPlace || !held_.empty() || !queued.empty()) NoteUnwritable();
    return result;
  }

  result.setAsidePath = SetAsideName(path);
  if (platform::RenameFile(path, result.setAsidePath)) {
    if (log_) log_->WriteRunLog("任务队列文件无法读取，已改名为" + result.setAsidePath);
    if (!WriteSnapshot()) NoteUnwritable();
    return result;
  }
  // Neither readable nor movable: writing over it would destroy what it may still hold, so
  // this run keeps its queue in memory only.
  result.setAsidePath.clear();
  journalPath_.clear();
  if (log_) log_->WriteAlarm("任务队列文件无法读取，也无法改名，本次运行不保存任务队列：" + path);
  return result;
}

size_t TaskQueue::Append(const std::vector<PrintTask>& tasks) {
  const size_t first = tasks_.size();
  for (const PrintTask& t : tasks) Push(t);
  if (tasks.empty()) {
    Flush();
    return tasks_.size();
  }
  if (journalPath_.empty() || (rewriteNeeded_ && WriteSnapshot())) return tasks_.size();
  const std::string record = JournalAddRecord(tasks);
  uint64_t at = 0;
  if (!platform::AppendFileWhole(journalPath_, record, at)) {
    NoteUnwritable();
    return tasks_.size();
  }
  unflushed_ = false;
  const uint64_t slotsAt = at + record.size() - tasks.size() * kJournalSlotBytes;
  for (size_t i = 0; i < tasks.size(); ++i) slots_[first + i] = slotsAt + i * kJournalSlotBytes;
  return tasks_.size();
}

void TaskQueue::Flush() {
  if (journalPath_.empty() || (rewriteNeeded_ && WriteSnapshot())) return;
  if (unflushed_ && platform::FlushFile(journalPath_)) unflushed_ = false;
}

bool TaskQueue::Contains(const std::string& uniKey) const {
  if (uniKey.empty()) return false;
  return uniKey == inFlightKey_ || waitingKeys_.count(uniKey) > 0 ||
         endedWhilePolling_.count(uniKey) > 0;
}

void TaskQueue::FinishPrinting() {
  if (pollOut_ && !inFlightKey_.empty()) endedWhilePolling_.insert(inFlightKey_);
  inFlightKey_.clear();
}

void TaskQueue::NotePollAnswered() {
  pollOut_ = false;
  endedWhilePolling_.clear();
}

std::optional<PrintTask> TaskQueue::TakeFirst() {
  // The task leaves the journal before any byte of it goes to the printer. A crash while it
  // prints therefore loses at most this one ticket instead of printing it a second time
  // after the restart: a half-printed ticket is visible to the staff (and was never reported
  // as printed), while a silent duplicate of a whole ticket gets cooked or packed twice.
  while (!tasks_.empty() && slots_.front() != kNoSlot && !MarkTaken(slots_.front())) {
    // Printed now, it would print again after a restart: it waits in the file instead.
    HoldJournaledTasks();
    NoteUnwritable();
  }
  if (tasks_.empty()) return std::nullopt;
  PrintTask task = std::move(tasks_.front());
  const bool journaled = slots_.front() != kNoSlot;
  tasks_.pop_front();
  slots_.pop_front();
  if (!task.uni_key.empty()) {
    auto it = waitingKeys_.find(task.uni_key);
    if (--it->second == 0) waitingKeys_.erase(it);
  }
  if (journaled) {
    ++gone_;
    unflushed_ = true;
  }
  // Written whole once the records of tasks gone outnumber the waiting ones: the file stays
  // within about twice the queue, and each rewrite is paid for by as many cheap removals.
  // Only here, after the removal is on record: a poll answer's tasks are always one append.
  // A rewrite that fails (a full disk) leaves the file as it was, its slots still good.
  if (gone_ > tasks_.size() + kRewriteSlack) WriteSnapshot();
  inFlightKey_ = task.uni_key;
  return task;
}

void TaskQueue::Push(PrintTask task) {
  if (!task.uni_key.empty()) ++waitingKeys_[task.uni_key];
  tasks_.push_back(std::move(task));
  slots_.push_back(kNoSlot);
}

bool TaskQueue::MarkTaken(uint64_t slot) {
  return platform::OverwriteFile(journalPath_, slot + kJournalSlotMarkOffset,
                                 std::string_view(&kJournalSlotTaken, 1));
}

void TaskQueue::HoldJournaledTasks() {
  std::deque<PrintTask> unjournaled;
  for (size_t i = 0; i < tasks_.size(); ++i) {
    if (slots_[i] == kNoSlot) {
      unjournaled.push_back(std::move(tasks_[i]));
    } else {
      held_.push_back(std::move(tasks_[i]));
    }
  }
  tasks_ = std::move(unjournaled);
  slots_.assign(tasks_.size(), kNoSlot);
}

bool TaskQueue::WriteSnapshot() {
  if (journalPath_.empty()) return false;
  // Held tasks are older than any queued one and go first, as they will print.
  std::deque<PrintTask> all;
  if (!held_.empty()) {
    all = held_;
    all.insert(all.end(), tasks_.begin(), tasks_.end());
  }
  const std::deque<PrintTask>& written = held_.empty() ? tasks_ : all;
  const std::string snapshot = JournalSnapshot(written);
  if (!platform::ReplaceFileDurably(journalPath_, snapshot)) return false;
  if (!held_.empty()) {
    tasks_ = std::move(all);
    held_.clear();
  }
  const uint64_t slotsAt = snapshot.size() - tasks_.size() * kJournalSlotBytes;
  slots_.clear();
  for (size_t i = 0; i < tasks_.size(); ++i) slots_.push_back(slotsAt + i * kJournalSlotBytes);
  gone_ = 0;
  unflushed_ = false;
  rewriteNeeded_ = false;
  heldSaid_ = 0;
  if (!journalWritable_) {
    journalWritable_ = true;
    if (log_) log_->WriteAlarm("任务队列文件已恢复写入：" + journalPath_);
  }
  return true;
}

void TaskQueue::NoteUnwritable() {
  rewriteNeeded_ = true;
  // Said once when writing starts to fail, not once per task while the disk stays full; again
  // only when more tasks are held back.
  if (!journalWritable_ && held_.size() <= heldSaid_) return;
  journalWritable_ = false;
  heldSaid_ = held_.size();
  if (!log_) return;
  std::string message = "任务队列文件无法写入（磁盘已满或没有写入权限）：" + journalPath_ +
                        "。新任务照常打印，但程序意外结束时尚未打印的会丢失";
  if (!held_.empty()) {
    message += "；已保存的" + std::to_string(held_.size()) +
               "个任务暂不打印，文件可以写入后再打印（以免重启后重复打印）";
  }
  log_->WriteAlarm(message);
}

}  // namespace qv
