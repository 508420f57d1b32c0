// The text of the task journal: an append-only log of what happened to the queue, so that a
// change costs one short record instead of a rewrite of every waiting task.
//
// UTF-8, one JSON object a line:
//   {"journal":"quorvel-print-tasks","version":2}     the header, first line
//   {"add":[{task},...]}                              tasks appended at the end of the queue
//   {"take":1}                                        the oldest task left the queue
// Replaying the records from the top gives the queue. A snapshot is the header and one "add"
// record of the whole queue; the queue writes one instead of appending when the records of
// tasks long gone outnumber the waiting ones. The single-object file of version 1
// ({"journal":...,"version":1,"tasks":[...]}) is still read.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/print_task.h"

namespace qv {

// The header and one record of all `tasks`, each line ended by "\n".
std::string JournalSnapshot(const std::deque<PrintTask>& tasks);
// One line recording that `tasks` were appended, in order.
std::string JournalAddRecord(const std::vector<PrintTask>& tasks);
// One line recording that the oldest task left the queue.
std::string JournalTakeRecord();

enum class JournalRead {
  Whole,     // every record was read
  TornTail,  // read up to an unfinished last record (a write cut off), which was left out
  Unusable,  // not a journal of ours, or damaged before its last record; `tasks` untouched
};

// Replays a journal's text into `tasks` (replacing them unless Unusable).
JournalRead ReadJournal(const std::string& text, std::deque<PrintTask>& tasks);

}  // namespace qv
