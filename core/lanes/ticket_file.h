// The text of the ticket file, which follows every ticket from the moment it leaves the task
// queue until the cloud has its result.
//
// UTF-8, one JSON object a line:
//   {"journal":"quorvel-print-tickets","version":1}                the header, first line
//   {"key":"<uni_key>","task":"<the task>","state":"w","sent":"0"}  one ticket
// `task` is the ticket as the caller encoded it, kept while the ticket waits for its printer
// (empty afterwards). The last two values are one byte each and change in place, so that a
// ticket's progress needs no new room on the disk:
//   state  w  waiting for its printer     p  being printed
//          1  printed                     f  failed (a report of -1 is owed)
//   sent   0  the result is not yet with the cloud, 1 it is (the line is then dead)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

enum class TicketState : char { Waiting = 'w', Printing = 'p', Printed = '1', Failed = 'f' };

struct TicketLine {
  std::string key;
  std::string task;
  TicketState state = TicketState::Waiting;
  bool sent = false;
  uint64_t offset = 0;  // of the line in the file
};

// The header line, "\n" included.
std::string TicketFileHeader();
// One ticket's line, "\n" included.
std::string TicketLineText(const TicketLine& line);
// Where in a line of `lineBytes` bytes ("\n" included) its state and sent bytes are.
uint64_t TicketStateOffset(uint64_t lineBytes);
uint64_t TicketSentOffset(uint64_t lineBytes);

enum class TicketFileRead {
  Whole,     // every line was read
  TornTail,  // the last line was cut off by the end of the process and left out
  Unusable,  // not a ticket file of ours, or damaged before its last line; `lines` empty
};

// The lines of the file's text, with their offsets.
TicketFileRead ReadTicketFile(const std::string& text, std::vector<TicketLine>& lines);

}  // namespace qv
