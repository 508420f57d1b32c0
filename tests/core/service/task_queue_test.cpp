#include "core/service/task_queue.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "core/service/task_journal.h"

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
  return t;
}

// One task as the add record writes it.
std::string AddedTask(const PrintTask& t) {
  const std::string record = JournalAddRecord({t});
  return record.substr(8, record.find("]}\n") - 8);
}

// `text` with its first `count` free slots taken, as the queue writes removals.
std::string Taken(std::string text, int count) {
  for (size_t at = 0; count > 0; --count) {
    at = text.find("{\"take\":0}", at);
    text[at + kJournalSlotMarkOffset] = kJournalSlotTaken;
  }
  return text;
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

  // Each removal changes one byte in the room its task's record kept for it, so it needs no
  // new room on the disk and its cost does not grow with the queue.
  for (int i = 0; i < 250; ++i) {
    const std::string before = JournalText();
    q.TakeFirst();
    q.FinishPrinting();
    const std::string after = JournalText();
    ASSERT_EQ(after.size(), before.size()) << "take " << i;
    size_t changed = 0;
    for (size_t at = 0; at < after.size(); ++at) changed += after[at] != before[at];
    ASSERT_EQ(changed, 1u) << "take " << i;
  }
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
  const std::string take = "{\"take\":1}\n";
  // As the previous version wrote them: removals appended as records of their own.
  const std::string v2 = JournalSnapshot({}) + R"({"add":[)" + AddedTask(a) + "]}\n" +
                         R"({"add":[)" + AddedTask(b) + "," + AddedTask(Task("c")) + "]}\n" + take +
                         R"({"add":[)" + AddedTask(Task("d")) + "]}\n";
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
                          v2 + "{\"add\":[{\n" + take,
                          JournalRead::Unusable,
                          {}},
                         {"removal of more than was queued",
                          JournalSnapshot({a}) + "{\"take\":3}\n" + JournalAddRecord({b}),
                          JournalRead::Whole,
                          {"b"}},
                         {"records with their slots, two removals written into them",
                          Taken(JournalSnapshot({a}) + JournalAddRecord({b, Task("c")}), 2),
                          JournalRead::Whole,
                          {"c"}},
                         {"unknown version",
                          R"({"journal":"quorvel-print-tasks","version":3})"
                          "\n",
                          JournalRead::Unusable,
                          {}}}) {
    SCOPED_TRACE(c.name);
    JournalContent content;
    EXPECT_EQ(ReadJournal(c.text, content), c.read);
    std::vector<std::string> keys;
    for (const PrintTask& t : content.tasks) keys.push_back(t.uni_key);
    EXPECT_EQ(keys, c.keys);
  }

  // A journal of the first version is restored, then kept as records.
  ASSERT_TRUE(platform::WriteFile(JournalPath(), v1 + "\n"));
  TaskQueue q;
  EXPECT_EQ(q.OpenJournal(JournalPath(), &f_.runLog).restored, 1u);
  EXPECT_EQ(q.Front().print_sn, "POS-80");
  q.Append(Task("new"));
  JournalContent read;
  EXPECT_EQ(ReadJournal(JournalText(), read), JournalRead::Whole);
  EXPECT_EQ(read.tasks.size(), 2u);
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

TEST_F(TaskQueueTest, FreeSlotsAreReadOnlyWhereTheyMatchTheWaitingTasks) {
  const std::string written =
      Taken(JournalSnapshot({Task("a")}) + JournalAddRecord({Task("b"), Task("c")}), 1);
  struct Case {
    std::string name, text;
    size_t freeSlots;
  };
  for (const Case& c : std::vector<Case>{
           {"as the queue writes it", written, 2},
           // Removals appended by an older writer after the slots do not match them.
           {"a removal appended", written + "{\"take\":1}\n", 0},
           {"an add record without slots", written + R"({"add":[)" + AddedTask(Task("d")) + "]}\n",
            0},
           {"a cut-off last record", written + "{\"add\":[", 0},
       }) {
    SCOPED_TRACE(c.name);
    JournalContent content;
    ASSERT_NE(ReadJournal(c.text, content), JournalRead::Unusable);
    ASSERT_EQ(content.freeSlots.size(), c.freeSlots);
    for (uint64_t slot : content.freeSlots) EXPECT_EQ(c.text.substr(slot, 11), "{\"take\":0}\n");
  }
  // Removals fill the slots from the first on; a taken slot after a free one is not ours.
  std::string swapped = written;
  swapped[swapped.find("{\"take\":1}") + kJournalSlotMarkOffset] = '0';
  swapped[swapped.rfind("{\"take\":0}") + kJournalSlotMarkOffset] = '1';
  JournalContent content;
  ASSERT_EQ(ReadJournal(swapped, content), JournalRead::Whole);
  EXPECT_EQ(content.tasks.size(), 2u);
  EXPECT_TRUE(content.freeSlots.empty());
}

TEST_F(TaskQueueTest, UnwritableJournalIsSaidOnceAndTheQueueGoesOn) {
  TaskQueue q;
  const std::string path = platform::JoinPath(platform::JoinPath(f_.dir.Path(), "missing"), "j");
  q.OpenJournal(path, &f_.runLog);
  q.Append(Task("a"));
  q.Append(Task("b"));
  EXPECT_FALSE(q.JournalWritable());
  EXPECT_EQ(q.Size(), 2u);
  EXPECT_EQ(q.TakeFirst()->uni_key, "a");  // in memory only: nothing to record
  EXPECT_EQ(f_.LogMessages(),
            std::vector<std::string>{"任务队列文件无法写入（磁盘已满或没有写入权限）：" + path +
                                     "。新任务照常打印，但程序意外结束时尚未打印的会丢失"});
}

// A folder where no new file can be made (a full disk, a read-only folder): the temporary file
// of a rewrite is in the way. The journal itself may still be written in place.
class NoNewFiles {
 public:
  explicit NoNewFiles(const std::string& journal) : blocker_(journal + ".tmp") {
    EXPECT_TRUE(platform::MakeDirectory(blocker_));
  }
  ~NoNewFiles() { Lift(); }
  void Lift() { std::filesystem::remove(blocker_); }

 private:
  std::string blocker_;
};

TEST_F(TaskQueueTest, RestoredTasksPrintOnlyWhereTheirRemovalCanBeRecorded) {
  // Written with slots: even when the file cannot be written anew, each removal is recorded in
  // place and a restart restores only what is left.
  {
    TaskQueue q;
    q.OpenJournal(JournalPath(), &f_.runLog);
    q.Append({Task("a"), Task("b"), Task("c")});
  }
  {
    NoNewFiles blocked(JournalPath());
    TaskQueue q;
    const JournalRestore r = q.OpenJournal(JournalPath(), &f_.runLog);
    EXPECT_EQ(r.restored, 3u);
    EXPECT_EQ(r.heldBack, 0u);
    EXPECT_TRUE(q.JournalWritable());
    EXPECT_EQ(q.TakeFirst()->uni_key, "a");
    q.FinishPrinting();
    EXPECT_EQ(q.TakeFirst()->uni_key, "b");
  }
  TaskQueue after;
  after.OpenJournal(JournalPath(), &f_.runLog);
  EXPECT_EQ(Keys(after), std::vector<std::string>{"c"});
  EXPECT_TRUE(f_.LogMessages().empty());

  // Written by an older writer, without slots: printing them now would print them again at
  // every start, so they wait in the file, still known to the polls, until it can be written.
  const std::string path = JournalPath();
  ASSERT_TRUE(platform::WriteFile(path, JournalSnapshot({}) + R"({"add":[)" + AddedTask(Task("x")) +
                                            "," + AddedTask(Task("y")) + "]}\n{\"take\":1}\n"));
  NoNewFiles blocked(path);
  TaskQueue q;
  const JournalRestore r = q.OpenJournal(path, &f_.runLog);
  EXPECT_EQ(r.restored, 1u);
  EXPECT_EQ(r.heldBack, 1u);
  EXPECT_FALSE(q.JournalWritable());
  EXPECT_TRUE(q.Contains("y"));
  q.Append(Task("new"));  // answers still print, in memory only
  EXPECT_EQ(q.TakeFirst()->uni_key, "new");
  q.FinishPrinting();
  EXPECT_EQ(q.TakeFirst(), std::nullopt);
  {
    TaskQueue restart;  // and at every start while the file cannot be written
    EXPECT_EQ(restart.OpenJournal(path, nullptr).heldBack, 1u);
  }
  ASSERT_EQ(f_.LogMessages().size(), 1u);
  EXPECT_NE(f_.LogMessages()[0].find("已保存的1个任务暂不打印"), std::string::npos);

  // Once the file can be written anew, the held task prints, its removal on record.
  blocked.Lift();
  q.Flush();
  EXPECT_TRUE(q.JournalWritable());
  EXPECT_EQ(q.TakeFirst()->uni_key, "y");
  TaskQueue last;
  EXPECT_EQ(last.OpenJournal(path, nullptr).restored, 0u);
}

#ifndef _WIN32
// The process may not make files longer than they are: a disk that is full from now on.
class DiskFull {
 public:
  DiskFull() {
    ::getrlimit(RLIMIT_FSIZE, &before_);
    previous_ = ::signal(SIGXFSZ, SIG_IGN);
  }
  void Fill(uint64_t bytes) {
    rlimit limit = before_;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~DiskFull() {
    ::setrlimit(RLIMIT_FSIZE, &before_);
    ::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit before_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(TaskQueueTest, FullDiskNeverKeepsAPrintedTaskForTheNextStart) {
  DiskFull disk;
  {
    TaskQueue q;
    q.OpenJournal(JournalPath(), &f_.runLog);
    std::vector<PrintTask> answer;
    for (int i = 0; i < 20; ++i) answer.push_back(Task(std::to_string(i).insert(0, "t")));
    q.Append(answer);
    const std::string journaled = JournalText();
    disk.Fill(journaled.size());
    for (int i = 0; i < 7; ++i) {
      q.TakeFirst();
      q.FinishPrinting();
    }
    EXPECT_EQ(JournalText().size(), journaled.size());
    // An answer that finds the disk full is printed from memory and leaves the file whole.
    q.Append({Task("late1"), Task("late2")});
    EXPECT_FALSE(q.JournalWritable());
    EXPECT_EQ(JournalText().size(), journaled.size());
    EXPECT_EQ(q.Size(), 15u);
    // Killed here; the restart finds the disk still full.
  }
  {
    NoNewFiles noRoom(JournalPath());
    TaskQueue restarted;
    const JournalRestore r = restarted.OpenJournal(JournalPath(), nullptr);
    EXPECT_EQ(r.restored, 13u);
    EXPECT_EQ(r.heldBack, 0u);
    EXPECT_EQ(Keys(restarted).front(), "t7");
    for (int i = 0; i < 13; ++i) {
      ASSERT_TRUE(restarted.TakeFirst());
      restarted.FinishPrinting();
    }
  }
  TaskQueue third;
  EXPECT_EQ(third.OpenJournal(JournalPath(), nullptr).restored, 0u);
}
#endif

}  // namespace
}  // namespace qv::testing
