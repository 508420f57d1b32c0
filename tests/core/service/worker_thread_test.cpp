#include "core/service/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

TEST(WorkerThread, RunsJobsInOrderOffTheSubmittingThread) {
  std::vector<int> order;
  std::promise<void> done;
  std::atomic<bool> onSubmitter{false};
  const std::thread::id submitter = std::this_thread::get_id();
  {
    WorkerThread worker;
    for (int i = 0; i < 100; ++i) {
      worker.Submit([&, i] {
        if (std::this_thread::get_id() == submitter) onSubmitter = true;
        order.push_back(i);
        if (i == 99) done.set_value();
      });
    }
    done.get_future().wait();
  }
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
  EXPECT_FALSE(onSubmitter);
}

TEST(WorkerThread, EndLetsTheRunningJobFinishAndDropsTheWaitingOnes) {
  std::promise<void> started;
  std::atomic<bool> finished{false};
  std::atomic<bool> waitingRan{false};
  {
    WorkerThread worker;
    worker.Submit([&] {
      started.set_value();
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      finished = true;
    });
    worker.Submit([&] { waitingRan = true; });
    started.get_future().wait();
  }
  EXPECT_TRUE(finished);
  EXPECT_FALSE(waitingRan);
}

TEST(WorkerThread, DelayedJobsRunWhenDueAndJobsGivenMeanwhileGoFirst) {
  std::vector<std::string> order;
  std::promise<void> done;
  std::atomic<bool> farRan{false};
  {
    WorkerThread worker;
    worker.SubmitAfter(std::chrono::hours(1), [&] { farRan = true; });
    worker.SubmitAfter(std::chrono::milliseconds(150), [&] {
      order.push_back("later");
      // A job may queue its successor on its own lane.
      worker.SubmitAfter(std::chrono::milliseconds(10), [&] {
        order.push_back("after that");
        done.set_value();
      });
    });
    worker.Submit([&] { order.push_back("now"); });
    done.get_future().wait();
  }  // the job an hour away is dropped, not waited for
  EXPECT_EQ(order, (std::vector<std::string>{"now", "later", "after that"}));
  EXPECT_FALSE(farRan);
}

}  // namespace
}  // namespace qv
