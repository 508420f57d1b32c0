// The queue of print tasks waiting to be printed, kept in a journal file beside the program so
// that a crash, a power cut or a normal exit loses nothing that was fetched and not printed.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/print_task.h"

namespace qv {

class RunLog;

// File name of the journal in the program directory.
inline constexpr const char* kTaskJournalName = "tasks.journal";

// What happened when the journal was opened at start.
struct JournalRestore {
  size_t restored = 0;       // tasks read back, in their original order
  std::string setAsidePath;  // where an unreadable or corrupt journal was moved; empty if none
};

class TaskQueue {
 public:
  using const_iterator = std::deque<PrintTask>::const_iterator;

  // A queue without a journal lives in memory only (tests, and the time before start-up
  // opens the journal).
  TaskQueue() = default;
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;

  // Reads the tasks kept at `path` in front of the queue and journals every later change
  // there. A journal that cannot be read or is not ours is renamed aside and logged, and the
  // queue starts without it; one that cannot even be renamed is left alone and this run
  // journals nothing. Write failures later are logged to `log` (may be null).
  JournalRestore OpenJournal(const std::string& path, RunLog* log);

  // Appends copies of the tasks in order and writes the journal once before returning;
  // returns the new length.
  size_t Append(const std::vector<PrintTask>& tasks);
  size_t Append(const PrintTask& task) { return Append(std::vector<PrintTask>{task}); }

  // True when a task with this non-empty key is waiting or is being printed.
  bool Contains(const std::string& uniKey) const;

  // Removes the oldest task, journals the removal before returning and marks the task as
  // being printed until FinishPrinting(); nullopt when the queue is empty.
  std::optional<PrintTask> TakeFirst();
  // The task taken last has ended (printed, failed or dropped).
  void FinishPrinting() { inFlightKey_.clear(); }

  size_t size() const { return tasks_.size(); }
  bool empty() const { return tasks_.empty(); }
  const PrintTask& front() const { return tasks_.front(); }
  const_iterator begin() const { return tasks_.begin(); }
  const_iterator end() const { return tasks_.end(); }

  // False after the last journal write failed (the queue in memory is still right).
  bool journalWritable() const { return journalWritable_; }

 private:
  void writeJournal();

  std::deque<PrintTask> tasks_;
  std::string inFlightKey_;
  std::string journalPath_;  // empty: no journal
  RunLog* log_ = nullptr;
  bool journalWritable_ = true;
};

// The journal's text for `tasks` (UTF-8 JSON) and back; parsing fails (false) on anything
// that is not a journal written by EncodeJournal.
std::string EncodeJournal(const std::deque<PrintTask>& tasks);
bool DecodeJournal(const std::string& text, std::deque<PrintTask>& tasks);

}  // namespace qv
