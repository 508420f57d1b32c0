// The recent tickets: the last tickets sent to the shop's printers, with the bytes that went
// out, so that the shop can see what a printer was given and send it again. Kept in a file
// beside the task journal so that they survive a restart.
//
// The file is UTF-8, one JSON object a line: a header line, then one record per ticket,
// oldest first. A ticket costs one appended line; when the file holds twice the count it
// keeps (or passes its byte bound) it is written anew with the newest tickets only. A kill
// during an append leaves at worst a cut-off last line, which the reader skips and the next
// start writes away; a rewrite replaces the file whole or not at all.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace qv {

// The file's name in the data folder, beside the task journal.
inline constexpr const char* kTicketHistoryName = "recent_tickets.log";

struct TicketRecord {
  int64_t unixSeconds = 0;  // when the ticket ended
  std::string localTime;    // the same as the till's clock showed it: "2026-03-07 09:05:04"
  int32_t printType = 0;    // 1 network, 2 spooler, 3 parallel port (as the task names it)
  std::string printSn;      // address, printer name or port, as the task names it
  std::string key;          // the task's uni_key
  bool printed = false;
  std::string result;     // the run log's words for the outcome ("打印成功", the failure)
  std::string firstLine;  // the order's first content line, for the list
  bool reprint = false;   // sent again from the list, not from a cloud task
  std::string bytes;      // the ESC/POS bytes sent; empty when they were too many to keep
};

// Bounds of the store. A ticket's bytes above maxTicketBytes are not kept (its row stays,
// without a preview). The file never passes maxFileBytes: the tickets kept take at most half
// of it, and the other half is room for appends before the next rewrite.
struct TicketHistoryLimits {
  size_t maxTickets = 200;
  size_t maxTicketBytes = 64 * 1024;
  size_t maxFileBytes = 8 * 1024 * 1024;
};

// One file's recent tickets. Not thread-safe; Add writes to disk (and flushes), so the owner
// calls it from a lane, never from the thread that draws windows, and hands copies of
// Tickets() to the window.
class TicketHistory {
 public:
  explicit TicketHistory(std::string path, TicketHistoryLimits limits = {});

  // Reads the file (missing: empty) and, when its last record was cut off or it is over its
  // bounds, writes it anew. False when the file exists but is not ours (it is left alone and
  // the store starts empty, writing nothing until Add).
  bool Load();

  // Keeps `ticket` as the newest; false when the disk refused it (the store still shows it).
  bool Add(TicketRecord ticket);

  // Newest last; at most maxTickets.
  const std::deque<TicketRecord>& Tickets() const { return tickets_; }

 private:
  bool Rewrite();
  void Trim();

  const std::string path_;
  const TicketHistoryLimits limits_;
  std::deque<TicketRecord> tickets_;
  size_t fileLines_ = 0;    // records in the file after its header
  uint64_t fileBytes_ = 0;  // its length as we wrote it
  bool foreign_ = false;    // the file is not ours: replace it only when a ticket comes
};

// The record of one ticket as a line of the file (without its line end), and back; false for
// a line that is no ticket record.
std::string EncodeTicketLine(const TicketRecord& ticket);
bool DecodeTicketLine(std::string_view line, TicketRecord& ticket);

}  // namespace qv
