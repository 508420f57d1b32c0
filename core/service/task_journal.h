// The text of the task journal: an append-only log of what happened to the queue, so that a
// change costs one short record instead of a rewrite of every waiting task.
//
// UTF-8, one JSON object a line:
//   {"journal":"quorvel-print-tasks","version":2}     the header, first line
//   {"add":[{task},...]}                              tasks appended at the end of the queue
//   {"take":1}                                        the oldest task left the queue
//   {"take":0}                                        nothing (a slot kept for a removal)
// Replaying the records from the top gives the queue. Each "add" record is followed by one
// slot per task it adds, written with it: a task's removal later turns the first free slot's
// 0 into 1 in place. So a removal needs no new room on the disk, and a disk that filled after
// the tasks were taken in cannot keep a printed task in the file (to be printed again after
// a restart). The slots are plain records to a reader that does not know them.
// A snapshot is the header and one "add" record of the whole queue with its slots; the queue
// writes one instead of appending when the records of tasks long gone outnumber the waiting
// ones. The single-object file of version 1 ({"journal":...,"version":1,"tasks":[...]}) and
// files of removals appended as records (without slots) are still read.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/service/print_task.h"

namespace qv {

// Bytes of one removal slot, its line end included; the slots of a text that adds n tasks are
// its last n * kJournalSlotBytes bytes.
inline constexpr size_t kJournalSlotBytes = 11;
// Where in a slot the byte is that a removal overwrites, and what it writes there.
inline constexpr size_t kJournalSlotMarkOffset = 8;
inline constexpr char kJournalSlotTaken = '1';

// The header and one record of all `tasks` with their free slots, each line ended by "\n".
std::string JournalSnapshot(const std::deque<PrintTask>& tasks);
// The record that `tasks` were appended, in order, and their free slots.
std::string JournalAddRecord(const std::vector<PrintTask>& tasks);

enum class JournalRead {
  Whole,     // every record was read
  TornTail,  // read up to an unfinished last record (a write cut off), which was left out
  Unusable,  // not a journal of ours, or damaged before its last record; `tasks` untouched
};

// What a journal holds.
struct JournalContent {
  std::deque<PrintTask> tasks;  // the queue, oldest first
  // Offsets of the free slots of the waiting tasks, one per task in order; empty when the
  // file does not keep one for each (an older writer, or a cut-off last record).
  std::vector<uint64_t> freeSlots;
};

// Replays a journal's text into `content` (replacing it unless Unusable).
JournalRead ReadJournal(const std::string& text, JournalContent& content);

}  // namespace qv
