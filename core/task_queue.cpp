#include "core/task_queue.h"

#include <utility>

#include "core/run_log.h"
#include "platform/file_system.h"

namespace qv {
namespace {

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
  if (!platform::FileExists(path)) return result;

  std::string text;
  std::deque<PrintTask> restored;
  if (platform::ReadFile(path, text) && DecodeJournal(text, restored)) {
    // Restored tasks go before anything queued in memory so far, keeping the order in which
    // the cloud handed them out.
    result.restored = restored.size();
    bool hadQueued = !tasks_.empty();
    for (PrintTask& t : tasks_) restored.push_back(std::move(t));
    tasks_ = std::move(restored);
    if (hadQueued) writeJournal();
    return result;
  }

  result.setAsidePath = SetAsideName(path);
  if (platform::RenameFile(path, result.setAsidePath)) {
    if (log_) log_->WriteRunLog("任务队列文件无法读取，已改名为" + result.setAsidePath);
    if (!tasks_.empty()) writeJournal();
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
  if (tasks.empty()) return tasks_.size();
  for (const PrintTask& t : tasks) tasks_.push_back(t);
  writeJournal();
  return tasks_.size();
}

bool TaskQueue::Contains(const std::string& uniKey) const {
  if (uniKey.empty()) return false;
  if (uniKey == inFlightKey_) return true;
  for (const PrintTask& t : tasks_) {
    if (t.uni_key == uniKey) return true;
  }
  return false;
}

std::optional<PrintTask> TaskQueue::TakeFirst() {
  if (tasks_.empty()) return std::nullopt;
  PrintTask task = std::move(tasks_.front());
  tasks_.pop_front();
  // The task leaves the journal before any byte of it goes to the printer. A crash while it
  // prints therefore loses at most this one ticket instead of printing it a second time
  // after the restart: a half-printed ticket is visible to the staff (and was never reported
  // as printed), while a silent duplicate of a whole ticket gets cooked or packed twice.
  writeJournal();
  inFlightKey_ = task.uni_key;
  return task;
}

void TaskQueue::writeJournal() {
  if (journalPath_.empty()) return;
  bool ok = platform::ReplaceFileDurably(journalPath_, EncodeJournal(tasks_));
  // One log entry when writing starts to fail, not one per task while the disk stays full.
  if (!ok && journalWritable_ && log_) {
    log_->WriteRunLog("任务队列文件写入失败：" + journalPath_);
  }
  journalWritable_ = ok;
}

}  // namespace qv
