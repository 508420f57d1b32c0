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

void OnRequestSignal(int) {
  const int saved = errno;
  const int fd = requestPipe.load();
  // A full pipe already holds a request, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t written = fd >= 0 ? ::write(fd, &kRequest, 1) : 0;
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
  [[maybe_unused]] const ssize_t written = ::write(waiter_->pipe[1], &kStop, 1);
  waiter_->thread.join();
  ::close(waiter_->pipe[0]);
  ::close(waiter_->pipe[1]);
}

}  // namespace qv::platform
