// The system's requests to end the process: a service stopped, a session ending, Ctrl+C.
// Without a handler they end the process at once, whatever ticket is half printed; with one
// the program can finish the ticket in hand and report it first.
#pragma once

#include <functional>
#include <memory>

namespace qv::platform {

// One at a time in a process. Threads: made and destroyed on one thread; `onRequest` runs on
// the handler's own thread, one request after the other, and the destructor waits for one
// under way, so `onRequest` must not wait for the destroying thread (posting is what it is for).
class TerminationHandler {
 public:
  // While the handler lives, each request (POSIX: SIGTERM, SIGINT, SIGHUP) runs `onRequest`
  // on a thread of its own instead of ending the process. Windows: does nothing.
  explicit TerminationHandler(std::function<void()> onRequest);
  // From then on a request ends the process again.
  ~TerminationHandler();
  TerminationHandler(const TerminationHandler&) = delete;
  TerminationHandler& operator=(const TerminationHandler&) = delete;

 private:
  struct Waiter;
  std::unique_ptr<Waiter> waiter_;
};

}  // namespace qv::platform
