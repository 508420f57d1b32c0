// What every backend's loop does with tasks posted from other threads: it wakes for them and
// runs them on its own thread, in the order they were posted.
#pragma once

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ui/toolkit.h"

namespace qv::ui {

// Posts 200 tasks from another thread, the last of which quits, and runs the loop.
inline void ExpectPostedTasksRunOnTheLoopInOrder(Toolkit& toolkit) {
  const std::thread::id loopThread = std::this_thread::get_id();
  std::vector<int> order;
  bool elsewhere = false;
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) {
      toolkit.Post([&, i] {
        elsewhere = elsewhere || std::this_thread::get_id() != loopThread;
        order.push_back(i);
        if (i == 199) toolkit.Quit(0);
      });
    }
  });
  toolkit.Run();
  poster.join();
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(order[static_cast<size_t>(i)], i);
  EXPECT_FALSE(elsewhere) << "a posted task ran on another thread than the loop's";
}

}  // namespace qv::ui
