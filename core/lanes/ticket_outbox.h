// Follows every ticket from the moment it leaves the task queue until the cloud has its result,
// in a file of its own (ticket_file.h), and sends the results from a report lane of its own: a
// printer's lane journals the result as owed and moves on, so a slow or silent cloud never
// holds a ticket, and the owed reports go out in the order the tickets ended.
//
// The rule with the task journal, which together give each task at most one print and one
// report across a kill at any moment:
//   1. A ticket is held here (Hold, state "waiting") before its removal is written into the
//      task journal. Killed in between, both files name it; at the next start a waiting ticket
//      whose key the task queue still holds is void (Open's `queued`): it prints from the queue.
//   2. A waiting ticket the queue no longer holds was never started: Open gives it back to be
//      printed (it stays held here meanwhile, so it is not taken from the queue again).
//   3. Started is written before the first byte goes to the printer. A ticket found "being
//      printed" at the next start was cut off by the kill: it is owed as failed (-1) and never
//      printed again; the cloud decides whether to send it anew.
//   4. Ended journals the result as owed; the report lane sends owed results in order and
//      marks them sent once the cloud answered. Owed results found at the next start are sent
//      first, in the order their tickets were taken, and their tasks are not printed again
//      (Holds keeps the polls from queueing them).
//      Killed between the cloud's answer and the mark, the report goes once more at the next
//      start: a report may be repeated in that instant, never lost.
// The marks after Hold are one-byte writes in place and need no room on the disk. A ticket
// whose line cannot be written (a full disk) is still followed in memory and says so through
// JournalWritable(); a kill then loses what memory held, as it would without this file.
//
// Threads: every member may be called from any thread (one lock inside); `send` runs on the
// report lane, outside the lock. The destructor waits for the report under way.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/lanes/ticket_file.h"

namespace qv {

// How a report exchange ended: the cloud took the result, answered with a refusal (sending it
// again would not change that), or did not answer (sent again later).
enum class ReportAnswer { Taken, Refused, NoAnswer };
using SendReport = std::function<ReportAnswer(const std::string& uniKey, bool printed)>;

using TicketId = uint64_t;

class TicketOutbox {
 public:
  struct Timing {
    // The wait before a report that got no answer is tried again; it doubles up to lastRetry.
    std::chrono::milliseconds firstRetry{5'000};
    std::chrono::milliseconds lastRetry{60'000};
  };
  struct Restored {
    std::vector<std::pair<TicketId, std::string>> toPrint;  // held again, their tasks as given
    size_t owed = 0;           // results to send, those of cut-off tickets included
    size_t cutOff = 0;         // tickets killed while being printed, now owed as failed
    std::string setAsidePath;  // where an unreadable file was moved; empty if none
  };

  // The report lane starts at once and sends what comes to be owed through `send`.
  TicketOutbox(SendReport send, Timing timing);
  explicit TicketOutbox(SendReport send) : TicketOutbox(std::move(send), Timing{}) {}
  // Ends the report lane after the report under way and joins it.
  ~TicketOutbox();
  TicketOutbox(const TicketOutbox&) = delete;
  TicketOutbox& operator=(const TicketOutbox&) = delete;

  // Reads the file at `path` (a missing one is made) and follows every later change there;
  // `queued` tells whether the task queue still holds a key (rule 1). Call once, before Hold.
  // A file that is not ours or is damaged is renamed aside and a new one begun.
  Restored Open(const std::string& path, const std::function<bool(const std::string&)>& queued);

  // Holds tickets about to leave the task queue, each a key and the task as Open gives it back
  // if it never starts; one append, on the disk before returning. Their ids, in order.
  std::vector<TicketId> Hold(std::vector<std::pair<std::string, std::string>> tickets);
  // Its printer's lane is about to send the first byte.
  void Started(TicketId id);
  // Its result, owed to the cloud from now on; the report lane sends it in its turn.
  void Ended(TicketId id, bool printed);
  // Lets go of a ticket that owes no report: one the task queue kept after all (its removal
  // could not be written), or one nothing was done with (a printer type nobody knows).
  void Withdraw(TicketId id);

  // The count of results sent so far, as a mark for Holds.
  uint64_t SentMark() const;
  // True while the ticket of `uniKey` is held (waiting, printing or owed), or its result was
  // sent after SentMark() gave `sentSince`: a poll answer made before the cloud had the result
  // may still name the task.
  bool Holds(const std::string& uniKey, uint64_t sentSince) const;
  // Forgets the keys sent up to `mark` (a poll that started after it has been answered).
  void ForgetSentBefore(uint64_t mark);

  // Results owed and not yet sent.
  size_t Owed() const;
  // False while a change could not be written to the file.
  bool JournalWritable() const;
  // Flushes the writes so far to the disk (a power loss keeps them).
  void Flush();
  // No report starts after this one; the one under way ends on its own.
  void StopReporting();

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr uint64_t kNotInFile = UINT64_MAX;
  struct Ticket {
    std::string key;
    TicketState state = TicketState::Waiting;
    uint64_t offset = kNotInFile;  // of its line
    uint64_t bytes = 0;            // of its line
  };

  void ReportLane();
  // Writes one mark byte of `t`'s line in place; runs with mutex_ held.
  void Mark(const Ticket& t, uint64_t offsetInLine, char value);
  // Writes the file anew with the tickets still held, once dead lines outnumber them; with
  // mutex_ held. `force` writes it whatever the count (at Open).
  bool Rewrite(bool force);
  // Marks the ticket's line dead and forgets it; `sent` counts it for Holds. With mutex_ held.
  void Release(TicketId id, bool sent);

  const SendReport send_;
  const Timing timing_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::string path_;  // empty: memory only
  bool writable_ = true;
  TicketId nextId_ = 1;
  std::unordered_map<TicketId, Ticket> tickets_;
  std::unordered_map<TicketId, std::string> waitingTasks_;  // until Started, for a rewrite
  std::unordered_map<std::string, size_t> heldKeys_;
  std::deque<TicketId> owed_;  // in the order the results came
  uint64_t sent_ = 0;
  std::deque<std::pair<uint64_t, std::string>> recentlySent_;  // (SentMark after, key)
  size_t deadLines_ = 0;
  bool stopping_ = false;
  std::thread lane_;  // last: it uses everything above
};

}  // namespace qv
