#include "core/task_queue.h"

#include <utility>

#include "core/run_log.h"
#include "core/task_journal.h"
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
    WriteSnapshot();
    return result;
  }

  std::string text;
  std::deque<PrintTask> restored;
  const JournalRead read =
      platform::ReadFile(path, text) ? ReadJournal(text, restored) : JournalRead::Unusable;
  if (read != JournalRead::Unusable) {
    // Restored tasks go before anything queued in memory so far, keeping the order in which
    // the cloud handed them out.
    result.restored = restored.size();
    std::deque<PrintTask> queued = std::move(tasks_);
    tasks_.clear();
    waitingKeys_.clear();
    for (PrintTask& t : restored) Push(std::move(t));
    for (PrintTask& t : queued) Push(std::move(t));
    // Written whole at once: the records of tasks printed in earlier runs go, and so does a
    // record cut off at the end.
    WriteSnapshot();
    return result;
  }

  result.setAsidePath = SetAsideName(path);
  if (platform::RenameFile(path, result.setAsidePath)) {
    if (log_) log_->WriteRunLog("任务队列文件无法读取，已改名为" + result.setAsidePath);
    WriteSnapshot();
    return result;
  }
  // Neither readable nor movable: writing over it would destroy what it may still hold, so
  // this run keeps its queue in memory only.
  result.setAsidePath.clear();
  journalPath_.clear();
  if (log_) log_->WriteRunLog("任务队列文件无法读取，也无法改名，本次运行不保存任务队列：" + path);
  return result;
}

size_t TaskQueue::Append(const std::vector<PrintTask>& tasks) {
  for (const PrintTask& t : tasks) Push(t);
  if (!tasks.empty()) {
    Record(JournalAddRecord(tasks), Durability::Flushed);
  } else {
    Flush();
  }
  return tasks_.size();
}

void TaskQueue::Flush() {
  if (journalPath_.empty() || !unflushed_) return;
  Record("", Durability::Flushed);
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
  if (tasks_.empty()) return std::nullopt;
  PrintTask task = std::move(tasks_.front());
  tasks_.pop_front();
  if (!task.uni_key.empty()) {
    auto it = waitingKeys_.find(task.uni_key);
    if (--it->second == 0) waitingKeys_.erase(it);
  }
  ++gone_;
  // The task leaves the journal before any byte of it goes to the printer. A crash while it
  // prints therefore loses at most this one ticket instead of printing it a second time
  // after the restart: a half-printed ticket is visible to the staff (and was never reported
  // as printed), while a silent duplicate of a whole ticket gets cooked or packed twice.
  Record(JournalTakeRecord(), Durability::Written);
  // Written whole once the records of tasks gone outnumber the waiting ones: the file stays
  // within about twice the queue, and each rewrite is paid for by as many cheap removals.
  // Only here, after the removal is on record: a poll answer's tasks are always one append.
  if (gone_ > tasks_.size() + kRewriteSlack) WriteSnapshot();
  inFlightKey_ = task.uni_key;
  return task;
}

void TaskQueue::Push(PrintTask task) {
  if (!task.uni_key.empty()) ++waitingKeys_[task.uni_key];
  tasks_.push_back(std::move(task));
}

void TaskQueue::Record(const std::string& record, Durability durability) {
  if (journalPath_.empty()) return;
  if (rewriteNeeded_) {
    WriteSnapshot();
    return;
  }
  if (durability == Durability::Flushed) {
    NoteWrite(platform::AppendFileDurably(journalPath_, record));
    unflushed_ = !journalWritable_;
  } else {
    NoteWrite(platform::AppendFile(journalPath_, record));
    unflushed_ = true;
  }
}

void TaskQueue::WriteSnapshot() {
  if (journalPath_.empty()) return;
  NoteWrite(platform::ReplaceFileDurably(journalPath_, JournalSnapshot(tasks_)));
  if (journalWritable_) {
    gone_ = 0;
    unflushed_ = false;
  }
}

void TaskQueue::NoteWrite(bool ok) {
  // One log entry when writing starts to fail, not one per task while the disk stays full.
  if (!ok && journalWritable_ && log_) {
    log_->WriteRunLog("任务队列文件写入失败：" + journalPath_);
  }
  journalWritable_ = ok;
  rewriteNeeded_ = !ok;
}

}  // namespace qv
