#include "core/task_queue.h"

#include <gtest/gtest.h>

#include "core/task_journal.h"

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
  std::string JournalPath() const { return platform::JoinPath(f_.dir.Path(), kTaskJournalName); }
  std::string JournalText() const {
    std::string text;
    platform::ReadFile(JournalPath(), text);
    return text;
  }
  CoreFixture f_;
};

TEST_F(TaskQueueTest, EveryChangeIsOnDiskAndARestartRestoresTheOrder) {
  const std::string content = R"([{"type":1,"text":"宫保鸡丁 \"大\" \\ 份"}])";
  {
    TaskQueue q;
    EXPECT_EQ(q.OpenJournal(JournalPath(), &f_.runLog).restored, 0u);
    q.Append({Task("a", content), Task("b"), Task("c")});
    q.Append(Task("d"));
    ASSERT_EQ(q.TakeFirst()->uni_key, "a");
    // No clean shutdown: the queue object is simply gone, as after a crash.
  }
  TaskQueue restored;
  JournalRestore r = restored.OpenJournal(JournalPath(), &f_.runLog);
  EXPECT_EQ(r.restored, 3u);
  EXPECT_TRUE(r.setAsidePath.empty());
  EXPECT_EQ(Keys(restored), (std::vector<std::string>{"b", "c", "d"}));
  const PrintTask& b = restored.Front();
  EXPECT_EQ(b.app_id, "app");
  EXPECT_EQ(b.store_id, "10001");
  EXPECT_EQ(b.print_type, 1);
  EXPECT_EQ(b.print_sn, "127.0.0.1");
  EXPECT_EQ(b.print_num, 2);
  EXPECT_EQ(b.feed_lines, 7);

  TaskQueue again;
  again.OpenJournal(JournalPath(), &f_.runLog);
  again.Append(Task("e", content));
  TaskQueue third;
  third.OpenJournal(JournalPath(), &f_.runLog);
  EXPECT_EQ(Keys(third), (std::vector<std::string>{"b", "c", "d", "e"}));
  EXPECT_EQ((third.begin() + 3)->print_content, content);
  EXPECT_TRUE(f_.LogMessages().empty());
}

TEST_F(TaskQueueTest, ChangesAreAppendedAndTheFileIsRewrittenOnceMostOfItIsGone) {
  TaskQueue q;
  q.OpenJournal(JournalPath(), &f_.runLog);
  // The file exists from the start: the first answer is an append like every later one.
  const std::string empty = JournalText();
  EXPECT_FALSE(empty.empty());
  std::vector<PrintTask> answer;
  for (int i = 0; i < 400; ++i) {
    std::string key = "t";  // appended: g++ 12 at -O3 warns falsely about "t" + ...
    key += std::to_string(i);
    answer.push_back(Task(key));
  }
  q.Append(answer);
  EXPECT_EQ(JournalText().compare(0, empty.size(), empty), 0);

  // Each change adds a short record and leaves what was written before as it was: its cost
  // does not grow with the queue.
  size_t longest = 0;
  for (int i = 0; i < 250; ++i) {
    const std::string before = JournalText();
    q.TakeFirst();
    q.FinishPrinting();
    const std::string after = JournalText();
    ASSERT_EQ(after.compare(0, before.size(), before), 0) << "rewritten at take " << i;
    longest = std::max(longest, after.size() - before.size());
  }
  EXPECT_LT(longest, 32u);
  const std::string before = JournalText();
  q.Append(Task("late"));
  EXPECT_EQ(JournalText().compare(0, before.size(), before), 0);

  // Once the tasks gone outnumber the waiting ones by far, the file is written whole again
  // and holds only what waits.
  const size_t full = JournalText().size();
  while (q.Size() > 20) {
    q.TakeFirst();
    q.FinishPrinting();
  }
  EXPECT_LT(JournalText().size(), full / 4);
  TaskQueue restored;
  EXPECT_EQ(restored.OpenJournal(JournalPath(), &f_.runLog).restored, 20u);
  EXPECT_EQ(Keys(restored), Keys(q));
  EXPECT_EQ(Keys(restored).back(), "late");
}

TEST_F(TaskQueueTest, JournalsOfEveryShapeAreRead) {
  PrintTask a = Task("a"), b = Task("b");
  const std::string v2 = JournalSnapshot({a}) + JournalAddRecord({b, Task("c")}) +
                         JournalTakeRecord() + JournalAddRecord({Task("d")});
  const std::string v1 =
      R"({"journal":"quorvel-print-tasks","version":1,"tasks":[{"app_id":"app","store_id":"1",)"
      R"("uni_key":"old","print_type":2,"print_sn":"POS-80","print_num":1,)"
      R"("print_content":"[]","feed_lines":5}]})";
  struct Case {
    std::string name, text;
    JournalRead read;
    std::vector<std::string> keys;
  };
  for (const Case& c :
       std::vector<Case>{{"records", v2, JournalRead::Whole, {"b", "c", "d"}},
                         {"first version", v1 + "\n", JournalRead::Whole, {"old"}},
                         {"first version without its line end", v1, JournalRead::Whole, {"old"}},
                         // A record cut off by a power loss: everything before it holds.
                         {"cut-off record",
                          v2 + R"({"add":[{"app_id":"ap)",
                          JournalRead::TornTail,
                          {"b", "c", "d"}},
                         {"zeros after the last record",
                          v2 + std::string(40, '\0') + "\n",
                          JournalRead::TornTail,
                          {"b", "c", "d"}},
                         {"broken record with good ones after it",
                          v2 + "{\"add\":[{\n" + JournalTakeRecord(),
                          JournalRead::Unusable,
                          {}},
                         {"removal of more than was queued",
                          JournalSnapshot({a}) + "{\"take\":3}\n" + JournalAddRecord({b}),
                          JournalRead::Whole,
                          {"b"}},
                         {"unknown version",
                          R"({"journal":"quorvel-print-tasks","version":3})"
                          "\n",
                          JournalRead::Unusable,
                          {}}}) {
    SCOPED_TRACE(c.name);
    std::deque<PrintTask> tasks;
    EXPECT_EQ(ReadJournal(c.text, tasks), c.read);
    std::vector<std::string> keys;
    for (const PrintTask& t : tasks) keys.push_back(t.uni_key);
    EXPECT_EQ(keys, c.keys);
  }

  // A journal of the first version is restored, then kept as records.
  ASSERT_TRUE(platform::WriteFile(JournalPath(), v1 + "\n"));
  TaskQueue q;
  EXPECT_EQ(q.OpenJournal(JournalPath(), &f_.runLog).restored, 1u);
  EXPECT_EQ(q.Front().print_sn, "POS-80");
  q.Append(Task("new"));
  std::deque<PrintTask> read;
  EXPECT_EQ(ReadJournal(JournalText(), read), JournalRead::Whole);
  EXPECT_EQ(read.size(), 2u);
  EXPECT_NE(JournalText().find("\"version\":2"), std::string::npos);
}

TEST_F(TaskQueueTest, UnusableJournalIsSetAsideAndLogged) {
  for (const std::string bad : {"{\"journal\":\"quorvel-print-tasks\",\"version\":1,\"tasks\":[{",
                                "", "[1,2]", "{\"tasks\":[]}",
                                "{\"journal\":\"quorvel-print-tasks\",\"version\":1,"
                                "\"tasks\":[{\"uni_key\":5}]}"}) {
    SCOPED_TRACE(bad);
    CoreFixture fx;
    const std::string path = platform::JoinPath(fx.dir.Path(), kTaskJournalName);
    ASSERT_TRUE(platform::WriteFile(path, bad));
    TaskQueue q;
    JournalRestore r = q.OpenJournal(path, &fx.runLog);
    EXPECT_EQ(r.restored, 0u);
    EXPECT_TRUE(q.Empty());
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
  const std::string path = platform::JoinPath(platform::JoinPath(f_.dir.Path(), "missing"), "j");
  q.OpenJournal(path, &f_.runLog);
  q.Append(Task("a"));
  q.Append(Task("b"));
  EXPECT_FALSE(q.JournalWritable());
  EXPECT_EQ(q.Size(), 2u);
  EXPECT_EQ(f_.LogMessages(), std::vector<std::string>{"任务队列文件写入失败：" + path});
}

}  // namespace
}  // namespace qv::testing
