// The one way the program ends, whatever asks for it: the cashier window's close, a stop from
// the system (SIGTERM, SIGINT, SIGHUP), the session's end, the installer's close request.
// No new poll or ticket starts; the poll under way and the ticket in hand finish, every answer
// that comes is taken in and journaled, a store settings save whose server check is out is
// applied; then the journal is flushed and the loop ends, with one run-log line saying what
// was waited for. The wait is bounded: a cloud or a printer that does not let go cuts it
// short, and what was in hand is put on record before the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/toolkit.h"

namespace qv::shell {

class Shell;

// How long the ending waits at most. The whole ending stays within 20 s (what the user
// unit's stop timeout leaves room for): the rest is for the journal, the log and the exit.
inline constexpr int64_t kEndWaitMs = 18000;

class ProgramEnding {
 public:
  // `shell` must outlive this object.
  explicit ProgramEnding(Shell& shell);

  // Starts the ending; `cause` is the run-log line that says who asked. A later request
  // changes nothing (the first one's wait goes on). UI thread only.
  void Request(const std::string& cause);
  bool Requested() const { return startedMs_ >= 0; }
  // True once the bound cut the wait short: the service's threads may still be in an
  // exchange, so the program must end without waiting for them.
  bool CutShort() const { return cutShort_; }

 private:
  // What the ending still waits for, as words of the run-log line; empty: nothing.
  std::string Pending() const;
  void Tick();
  void Finish();
  void CutOff(const std::string& pending);

  Shell& shell_;
  std::unique_ptr<ui::Timer> timer_;
  int64_t startedMs_ = -1;
  std::string waitedFor_;  // what was in hand when the ending started
  bool cutShort_ = false;
};

}  // namespace qv::shell
