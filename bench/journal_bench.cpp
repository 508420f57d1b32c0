// The task journal under a long queue: 20 000 tasks waiting (a shop whose printers were off
// while the cloud kept handing out tasks), as the print service meets it.
//
// BM_TakeWith20000Queued: one task taken for printing and finished, the journal kept in step.
// BM_PollAnswerWith20000Queued: one poll answer of 20 tasks appended and journaled.
// 200 of each, so the queue stays between 19 800 and 24 000 tasks. Read the CPU column: the cost
// on the thread that owns the queue; the Time column adds the waits for the disk.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/config/run_log.h"
#include "core/service/task_queue.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

constexpr size_t kQueued = 20000;
constexpr size_t kAnswerSize = 20;

PrintTask ReceiptTask(size_t n) {
  std::string content =
      R"([{"type":1,"bold":1,"align":2,"text":"厨房单 #)" + std::to_string(n) + R"("})";
  for (int i = 1; i < 20; ++i) {
    content +=
        R"(,{"type":1,"align":1,"text":"宫保鸡丁)" + std::to_string(i) + R"(  x2  ￥36.00"})";
  }
  PrintTask t;
  t.app_id = "app";
  t.store_id = "10001";
  t.uni_key = "key-" + std::to_string(n);
  t.print_type = 1;
  t.print_sn = "192.168.1.50";
  t.print_num = 1;
  t.print_content = content + "]";
  return t;
}

std::vector<PrintTask> Answer(size_t& next, size_t count) {
  std::vector<PrintTask> tasks;
  for (size_t i = 0; i < count; ++i) tasks.push_back(ReceiptTask(next++));
  return tasks;
}

// A journaled queue in a fresh directory holding kQueued tasks.
class JournalRig {
 public:
  JournalRig() : clock_(platform::Clock::Create()), log_(dir_.Path(), *clock_) {
    queue_.OpenJournal(platform::JoinPath(dir_.Path(), kTaskJournalName), &log_);
    queue_.Append(Answer(next_, kQueued));
  }
  TaskQueue& Queue() { return queue_; }
  size_t& Next() { return next_; }

 private:
  testing::TempDir dir_;
  std::unique_ptr<platform::Clock> clock_;
  RunLog log_;
  TaskQueue queue_;
  size_t next_ = 0;
};

void BM_TakeWith20000Queued(benchmark::State& state) {
  JournalRig rig;
  for (auto _ : state) {
    rig.Queue().TakeFirst();
    rig.Queue().FinishPrinting();
  }
}
BENCHMARK(BM_TakeWith20000Queued)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_PollAnswerWith20000Queued(benchmark::State& state) {
  JournalRig rig;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<PrintTask> answer = Answer(rig.Next(), kAnswerSize);
    state.ResumeTiming();
    rig.Queue().Append(answer);
  }
}
BENCHMARK(BM_PollAnswerWith20000Queued)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace
}  // namespace qv
