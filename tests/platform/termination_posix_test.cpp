#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/termination.h"

namespace qv::platform {
namespace {

std::atomic<int> outerHandled{0};
void OuterHandler(int) { outerHandled.fetch_add(1); }

// Signals keep coming while handlers come and go; after each handler has gone, a new pipe
// takes the descriptor numbers its pipe had. A handler that read the old write end before
// the destructor closed it and wrote after would put a byte into the new pipe.
TEST(TerminationHandler, ALateSignalNeverWritesToADescriptorReusedAfterTheEnd) {
  struct sigaction outer {};
  outer.sa_handler = OuterHandler;
  sigemptyset(&outer.sa_mask);
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGHUP, &outer, &previous), 0);

  std::atomic<bool> stop{false};
  std::atomic<int> requests{0};
  std::thread raiser([&stop] {
    while (!stop.load()) ::kill(::getpid(), SIGHUP);
  });
  int stray = 0;
  for (int round = 0; round < 300; ++round) {
    {
      const TerminationHandler handler([&requests] { requests.fetch_add(1); });
    }
    int fresh[2];
    ASSERT_EQ(::pipe2(fresh, O_CLOEXEC | O_NONBLOCK), 0);
    std::this_thread::yield();
    char byte = 0;
    if (::read(fresh[0], &byte, 1) == 1) ++stray;
    ::close(fresh[0]);
    ::close(fresh[1]);
  }
  stop = true;
  raiser.join();
  ::sigaction(SIGHUP, &previous, nullptr);
  EXPECT_EQ(stray, 0);
  EXPECT_GT(requests.load() + outerHandled.load(), 0) << "the signals did come";
}

}  // namespace
}  // namespace qv::platform
