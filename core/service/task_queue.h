// The queue of print tasks waiting to be printed, kept in a journal file beside the program so
// that a crash, a power cut or a normal exit loses nothing that was fetched and not printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/service/print_task.h"

namespace qv {

class RunLog;

// File name of the journal in the program directory.
inline constexpr const char* kTaskJournalName = "tasks.journal";

// What happened when the journal was opened at start.
struct JournalRestore {
  size_t restored = 0;       // tasks read back, in their original order
  size_t heldBack = 0;       // of those, kept back because their removal cannot be recorded
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
  // journals nothing. Restored tasks whose removal cannot be recorded (the file cannot be
  // written) are held back: they stay in the file and print once it can be written again,
  // rather than at every start. Write failures are said on stderr and in `log` (may be null).
  JournalRestore OpenJournal(const std::string& path, RunLog* log);

  // Appends copies of the tasks in order; before returning they are in the journal, in one
  // record with room for their removals, and the journal is flushed to disk (earlier removals
  // included). Tasks that cannot be journaled are still queued. Returns the new length.
  size_t Append(const std::vector<PrintTask>& tasks);
  size_t Append(const PrintTask& task) { return Append(std::vector<PrintTask>{task}); }
  // Flushes the removals journaled since the last flush to disk, and writes the journal anew
  // when it lacks tasks that earlier writes could not record.
  void Flush();

  // True when a task with this non-empty key is waiting or is being printed, or ended while
  // the poll that is out now was on its way.
  bool Contains(const std::string& uniKey) const;

  // Removes the oldest task, journals the removal before returning (written, not yet flushed:
  // it survives the end of the process, and a power loss before the next flush prints the
  // task again) and marks the task as being printed until FinishPrinting(); nullopt when the
  // queue is empty. A journaled task whose removal cannot be written is held back instead.
  std::optional<PrintTask> TakeFirst();
  // The task taken last has ended (printed, failed or dropped).
  void FinishPrinting();

  // A poll went out / its answer has been taken in. Polls and prints overlap: a task that
  // ends while a poll is out may still be named in that poll's answer, made before the task's
  // report reached the cloud, so its key counts as known until that answer is in.
  void NotePollStarted() { pollOut_ = true; }
  void NotePollAnswered();

  size_t Size() const { return tasks_.size(); }
  bool Empty() const { return tasks_.empty(); }
  const PrintTask& Front() const { return tasks_.front(); }
  const_iterator begin() const { return tasks_.begin(); }
  const_iterator end() const { return tasks_.end(); }

  // False while the journal lacks what is queued or holds tasks back because it could not be
  // written (the queue in memory is still right); true again once it is written whole.
  bool JournalWritable() const { return journalWritable_; }
  // Tasks in the journal that are not printed until it can be written (see OpenJournal).
  size_t HeldBack() const { return held_.size(); }

 private:
  static constexpr uint64_t kNoSlot = UINT64_MAX;
  void Push(PrintTask task);
  // Writes the removal into the task's slot; false when the file cannot be written.
  bool MarkTaken(uint64_t slot);
  void HoldJournaledTasks();
  bool WriteSnapshot();
  void NoteUnwritable();

  std::deque<PrintTask> tasks_;
  // Beside tasks_, each task's free removal slot in the journal; kNoSlot when the journal
  // does not hold the task (it could not be written when the task came).
  std::deque<uint64_t> slots_;
  // In the journal but not printed while their removal cannot be recorded; older than tasks_.
  std::deque<PrintTask> held_;
  // How many waiting or held tasks carry each non-empty key: answers repeat tasks, and looking
  // each one up in a long queue would cost a walk of the whole queue per task.
  std::unordered_map<std::string, size_t> waitingKeys_;
  std::string inFlightKey_;
  bool pollOut_ = false;
  std::unordered_set<std::string> endedWhilePolling_;
  std::string journalPath_;  // empty: no journal
  RunLog* log_ = nullptr;
  bool journalWritable_ = true;
  size_t heldSaid_ = 0;  // held tasks named by the last alarm
  // Tasks in the journal file that have left the queue since it was last written whole.
  size_t gone_ = 0;
  bool unflushed_ = false;
  // The file lacks queued tasks or holds tasks back: it is written whole at the next chance.
  bool rewriteNeeded_ = false;
};

}  // namespace qv
