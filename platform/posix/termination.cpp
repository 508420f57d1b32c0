#include "platform/termination.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>
#include <thread>

namespace qv::platform {
namespace {

constexpr int kRequestSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr char kRequest = 1;
constexpr char kStop = 0;

// The write end of the waiter's pipe: a signal handler may do little more than write().
std::atomic<int> requestPipe{-1};
// Handlers between their first step and their last. The handler counts itself in before it
// reads requestPipe, and the destructor clears requestPipe before it waits for the count to
// fall to zero: a late signal either sees -1 or is waited for, so no write goes to a
// descriptor that has been closed (or reused by a file opened since).
std::atomic<int> handlersRunning{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

void OnRequestSignal(int) {
  const int saved = errno;
  handlersRunning.fetch_add(1);
  const int fd = requestPipe.load();
  // A full pipe already holds a request, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t written = fd >= 0 ? ::write(fd, &kRequest, 1) : 0;
  handlersRunning.fetch_sub(1);
  errno = saved;
}

}  // namespace

// A pipe and a thread rather than blocked signals: a blocked mask would be inherited by every
// process the program starts (the browser's helper processes among them).
struct TerminationHandler::Waiter {
  std::function<void()> onRequest;
  int pipe[2] = {-1, -1};
  struct sigaction previous[std::size(kRequestSignals)] = {};
  std::thread thread;

  void Run() const {
    for (;;) {
      char what = kStop;
      const ssize_t got = ::read(pipe[0], &what, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0 || what == kStop) return;
      onRequest();
    }
  }
};

TerminationHandler::TerminationHandler(std::function<void()> onRequest)
    : waiter_(std::make_unique<Waiter>()) {
  waiter_->onRequest = std::move(onRequest);
  if (::pipe2(waiter_->pipe, O_CLOEXEC) != 0) return;  // requests keep ending the process
  ::fcntl(waiter_->pipe[1], F_SETFL, O_NONBLOCK);      // a handler never waits for the reader
  waiter_->thread = std::thread([waiter = waiter_.get()] { waiter->Run(); });
  requestPipe = waiter_->pipe[1];
  struct sigaction action {};
  action.sa_handler = OnRequestSignal;
  action.sa_flags = SA_RESTART;  // the other threads' calls go on undisturbed
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kRequestSignals); ++i) {
    ::sigaction(kRequestSignals[i], &action, &waiter_->previous[i]);
  }
}

TerminationHandler::~TerminationHandler() {
  if (!waiter_->thread.joinable()) return;
  for (size_t i = 0; i < std::size(kRequestSignals); ++i) {
    ::sigaction(kRequestSignals[i], &waiter_->previous[i], nullptr);
  }
  requestPipe = -1;
  // A handler that began before the actions were restored (on any thread) ends quickly.
  while (handlersRunning.load() != 0) std::this_thread::yield();
  // The stop may find the pipe full of requests; it then waits for room, which the reader
  // makes (the requests it reads end in onRequest, which only posts).
  for (;;) {
    const ssize_t written = ::write(waiter_->pipe[1], &kStop, 1);
    if (written == 1 || (errno != EAGAIN && errno != EINTR)) break;
    std::this_thread::yield();
  }
  waiter_->thread.join();
  ::close(waiter_->pipe[0]);
  ::close(waiter_->pipe[1]);
}

}  // namespace qv::platform
