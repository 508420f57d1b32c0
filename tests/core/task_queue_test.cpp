#include "core/task_queue.h"

#include <gtest/gtest.h>

#include "tests/fakes/core_fakes.h"

namespace qv::testing {
namespace {

PrintTask Task(const std::string& key, const std::string& content = "[]") {
  PrintTask t;
  t.app_id = "app";
  t.store_id = "10001";
  t.uni_key = key;
  t.print_type = 1;
  t.print_sn = "127.0.0.1";
  t.print_num = 2;
  t.print_content = content;
  t.feed_lines = 7;
  return t;
}

std::vector<std::string> Keys(const TaskQueue& q) {
  std::vector<std::string> keys;
  for (const PrintTask& t : q) keys.push_back(t.uni_key);
  return keys;
}

class TaskQueueTest : public ::testing::Test {
 protected:
  std::string JournalPath() const { return platform::JoinPath(f.dir.path(), kTaskJournalName); }
  CoreFixture f;
};

TEST_F(TaskQueueTest, EveryChangeIsOnDiskAndARestartRestoresTheOrder) {
  const std::string content = R"([{"type":1,"text":"宫保鸡丁 \"大\" \\ 份"}])";
  {
    TaskQueue q;
    EXPECT_EQ(q.OpenJournal(JournalPath(), &f.runLog).restored, 0u);
    q.Append({Task("a", content), Task("b"), Task("c")});
    q.Append(Task("d"));
    ASSERT_EQ(q.TakeFirst()->uni_key, "a");
    // No clean shutdown: the queue object is simply gone, as after a crash.
  }
  TaskQueue restored;
  JournalRestore r = restored.OpenJournal(JournalPath(), &f.runLog);
  EXPECT_EQ(r.restored, 3u);
  EXPECT_TRUE(r.setAsidePath.empty());
  EXPECT_EQ(Keys(restored), (std::vector<std::string>{"b", "c", "d"}));
  const PrintTask& b = restored.front();
  EXPECT_EQ(b.app_id, "app");
  EXPECT_EQ(b.store_id, "10001");
  EXPECT_EQ(b.print_type, 1);
  EXPECT_EQ(b.print_sn, "127.0.0.1");
  EXPECT_EQ(b.print_num, 2);
  EXPECT_EQ(b.feed_lines, 7);

  TaskQueue again;
  again.OpenJournal(JournalPath(), &f.runLog);
  again.Append(Task("e", content));
  TaskQueue third;
  third.OpenJournal(JournalPath(), &f.runLog);
  EXPECT_EQ(Keys(third), (std::vector<std::string>{"b", "c", "d", "e"}));
  EXPECT_EQ((third.begin() + 3)->print_content, content);
  EXPECT_TRUE(f.LogMessages().empty());
}

TEST_F(TaskQueueTest, UnusableJournalIsSetAsideAndLogged) {
  for (const std::string bad : {"{\"journal\":\"quorvel-print-tasks\",\"version\":1,\"tasks\":[{",
                                "", "[1,2]", "{\"tasks\":[]}",
                                "{\"journal\":\"quorvel-print-tasks\",\"version\":1,"
                                "\"tasks\":[{\"uni_key\":5}]}"}) {
    SCOPED_TRACE(bad);
    CoreFixture fx;
    const std::string path = platform::JoinPath(fx.dir.path(), kTaskJournalName);
    ASSERT_TRUE(platform::WriteFile(path, bad));
    TaskQueue q;
    JournalRestore r = q.OpenJournal(path, &fx.runLog);
    EXPECT_EQ(r.restored, 0u);
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(r.setAsidePath, path + ".bad1");
    std::string kept;
    ASSERT_TRUE(platform::ReadFile(r.setAsidePath, kept));
    EXPECT_EQ(kept, bad);
    EXPECT_EQ(fx.LogMessages(),
              std::vector<std::string>{"任务队列文件无法读取，已改名为" + path + ".bad1"});
    // The queue goes on with a fresh journal.
    q.Append(Task("x"));
    TaskQueue next;
    EXPECT_EQ(next.OpenJournal(path, &fx.runLog).restored, 1u);
  }
}

TEST_F(TaskQueueTest, InFlightTaskCountsAsKnownUntilFinished) {
  TaskQueue q;
  q.Append({Task("a"), Task("b")});
  EXPECT_TRUE(q.Contains("a"));
  EXPECT_FALSE(q.Contains(""));
  q.TakeFirst();
  EXPECT_TRUE(q.Contains("a"));
  q.FinishPrinting();
  EXPECT_FALSE(q.Contains("a"));
  EXPECT_TRUE(q.Contains("b"));
}

TEST_F(TaskQueueTest, WriteFailureIsLoggedOnceAndTheQueueGoesOn) {
  TaskQueue q;
  const std::string path = platform::JoinPath(platform::JoinPath(f.dir.path(), "missing"), "j");
  q.OpenJournal(path, &f.runLog);
  q.Append(Task("a"));
  q.Append(Task("b"));
  EXPECT_FALSE(q.journalWritable());
  EXPECT_EQ(q.size(), 2u);
  EXPECT_EQ(f.LogMessages(), std::vector<std::string>{"任务队列文件写入失败：" + path});
}

}  // namespace
}  // namespace qv::testing
