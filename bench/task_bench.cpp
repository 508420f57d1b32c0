// One whole print task through the service core, timers excluded: the poll answer parsed
// and the task built and journaled, two copies of a 40-line receipt rendered and sent to a
// network printer on loopback, the result reported over HTTPS on loopback, the printer
// closed. The cloud is tests/support/test_https_server (start it with
// tests/support/https_server_fixture.sh and set QV_TEST_HTTPS_DIR); the printer is a
// listener in this process that reads and discards.
//
// BM_WholeTask{Journaled,InMemory}: wall and CPU time per task, with the durable journal
// writes and without. BM_TaskMemory: 10 000 tasks, with the peak resident memory after the
// first 1 000 and after all of them as counters (kB).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "core/service/polling.h"
#include "core/service/print_job.h"
#include "core/wiring/print_service.h"
#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"
#include "tests/support/test_server.h"

namespace qv {
namespace {

constexpr const char* kPrinterAddress = "127.88.0.1";

// A printer that swallows every byte of every connection, so the benchmark keeps nothing,
// and answers the paper questions before and after each ticket as a printer with paper does.
class DiscardPrinter {
 public:
  DiscardPrinter() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(9100);
    inet_pton(AF_INET, kPrinterAddress, &a.sin_addr);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd_, 16) == 0;
    if (ok_) thread_ = std::thread([this] { Run(); });
  }
  ~DiscardPrinter() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    if (thread_.joinable()) thread_.join();
  }
  bool Ok() const { return ok_; }

 private:
  void Run() {
    char buffer[16384];
    while (!stop_) {
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      // The question is the last thing the service sends before it waits for the answer.
      ssize_t n;
      while ((n = read(c, buffer, sizeof buffer)) > 0) {
        if (n >= 2 && buffer[n - 2] == '\x1b' && buffer[n - 1] == '\x76') {
          const char hasPaper = 0;
          if (write(c, &hasPaper, 1) != 1) break;
        }
      }
      close(c);
    }
  }
  int fd_ = -1;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string ReceiptContent() {
  std::string json = R"([{"type":1,"bold":1,"align":2,"widthEnlarge":1,"heightEnlarge":1,)"
                     R"("text":"厨房单 #1024 桌号 A12"})";
  for (int i = 1; i < 40; ++i) {
    json += R"(,{"type":1,"bold":0,"align":1,"widthEnlarge":0,"heightEnlarge":0,"text":"宫保鸡丁)" +
            std::to_string(i) + R"(  x2  ￥36.00"})";
  }
  return json + "]";
}

// The poll answer comes from memory (a new task key each time); the report goes to the
// loopback HTTPS cloud through the real client.
class BenchCloud : public TaskCloud {
 public:
  explicit BenchCloud(CloudApi& api) : api_(api), content_(ReceiptContent()) {}
  // For the cost of the parts: print_type 4 is dropped unprinted and unreported; a local
  // report answer leaves out the HTTPS exchange.
  int printType = 1;
  bool reportOverHttps = true;
  std::string FetchWaitingTasksBody(const ServiceConfig&) override {
    return R"({"code":200,"total":1,"data":[{"app_id":"a","store_id":"s","uni_key":"k)" +
           std::to_string(++n_) + R"(","print_type":)" + std::to_string(printType) +
           R"(,"print_sn":")" + kPrinterAddress + R"(","print_num":2,"print_content":)" + content_ +
           "}]}";
  }
  std::string PostPrintReport(const ServiceConfig&, const std::string& uniKey,
                              bool printed) override {
    if (printed) ++printed_;
    return reportOverHttps ? api_.SendPrintResult(uniKey, printed) : R"({"code":200})";
  }
  long Printed() const { return printed_; }

 private:
  CloudApi& api_;
  std::string content_;
  long n_ = 0;
  long printed_ = 0;
};

class NullView : public PollStatusView {
 public:
  void SetPollLine(const std::string&) override {}
  void SetLastMessage(const std::string&) override {}
  void SetPreviousMessage(const std::string&) override {}
};

class NullShell : public PrintShell {
 public:
  void StopPrintTimer() override {}
  bool PrintTimerRunning() const override { return false; }
  void ShowMessage(const std::string&, const std::string&) override {}
  void OpenStoreConfig() override {}
  void ShowQueueLength(const std::string&) override {}
};

// The lanes' jobs and the results they post run at once, on the benchmark's thread: the
// figures are the work of a task, not the hand-overs between threads.
class InlineJobs : public JobQueue {
 public:
  void Submit(std::function<void()> job) override { job(); }
  void SubmitAfter(std::chrono::milliseconds, std::function<void()> job) override { job(); }
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The service with its real drivers, cloud client and run log; one task per Run().
class TaskRig {
 public:
  TaskRig(const test::TestServer& server, bool journaled)
      : clock_(platform::Clock::Create()),
        runLog_(dir_.Path(), *clock_),
        debugLog_(state_.debugViewEnabled, *clock_),
        api_(CloudApi::Create(
            [&server] {
              return CloudSettings{.server = server.HttpsHost(),
                                   .token = "null",
                                   .sid = "bench-store",
                                   .caFile = server.caFile};
            },
            platform::HttpTransport::Create(), platform::Clock::Create())),
        cloud_(*api_),
        drivers_(network_, spooler_, lpt_),
        lanes_{jobs_,  cloud_,   jobs_,
               cloud_, drivers_, [](std::function<void()> result) { result(); }},
        services_{config_, state_, runLog_, debugLog_, *clock_, lanes_},
        poller_(services_, view_),
        runner_(services_, shell_) {
    config_.sid = "bench-store";
    config_.server = server.HttpsHost();
    state_.print.feedLines = 5;
    if (journaled) {
      state_.taskQueue.OpenJournal(platform::JoinPath(dir_.Path(), kTaskJournalName), &runLog_);
    }
  }

  BenchCloud& Cloud() { return cloud_; }
  CloudApi& Api() { return *api_; }

  // False when the task was not reported as printed.
  bool Run() {
    const long before = cloud_.Printed();
    poller_.PollPrintTasks();
    runner_.ExecuteNextTask();
    return cloud_.Printed() == before + 1;
  }

 private:
  testing::TempDir dir_;
  std::unique_ptr<platform::Clock> clock_;
  ServiceConfig config_;
  ServiceState state_;
  RunLog runLog_;
  DebugLog debugLog_;
  std::unique_ptr<CloudApi> api_;
  BenchCloud cloud_;
  NetworkPrinter network_;
  SpoolerPrinter spooler_;
  LptPrinter lpt_;
  DriverAccess drivers_;
  InlineJobs jobs_;
  ServiceLanes lanes_;
  CoreServices services_;
  NullView view_;
  NullShell shell_;
  Poller poller_;
  PrintJobRunner runner_;
};

bool Prepare(benchmark::State& state, test::TestServer& server, DiscardPrinter& printer) {
  server = test::FindTestServer();
  if (!server.found) {
    state.SkipWithError("QV_TEST_HTTPS_DIR does not name a running test server");
    return false;
  }
  if (!printer.Ok()) {
    state.SkipWithError("cannot listen on 127.88.0.1:9100");
    return false;
  }
  return true;
}

void WholeTask(benchmark::State& state, bool journaled) {
  test::TestServer server;
  DiscardPrinter printer;
  if (!Prepare(state, server, printer)) return;
  TaskRig rig(server, journaled);
  for (auto _ : state) {
    if (!rig.Run()) state.SkipWithError("a task was not printed");
  }
}

void BM_WholeTaskJournaled(benchmark::State& state) { WholeTask(state, true); }
void BM_WholeTaskInMemory(benchmark::State& state) { WholeTask(state, false); }
BENCHMARK(BM_WholeTaskJournaled)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_WholeTaskInMemory)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The parts of one task: the answer parsed and the task built, queued and taken (dropped as
// an unknown type); the task printed with a local report answer; the HTTPS report alone.
void BM_PartParseAndBuild(benchmark::State& state) {
  test::TestServer server;
  DiscardPrinter printer;
  if (!Prepare(state, server, printer)) return;
  TaskRig rig(server, false);
  rig.Cloud().printType = 4;
  for (auto _ : state) rig.Run();
}
void BM_PartPrintWithoutReport(benchmark::State& state) {
  test::TestServer server;
  DiscardPrinter printer;
  if (!Prepare(state, server, printer)) return;
  TaskRig rig(server, false);
  rig.Cloud().reportOverHttps = false;
  for (auto _ : state) {
    if (!rig.Run()) state.SkipWithError("a task was not printed");
  }
}
void BM_PartReportOverHttps(benchmark::State& state) {
  test::TestServer server;
  DiscardPrinter printer;
  if (!Prepare(state, server, printer)) return;
  TaskRig rig(server, false);
  for (auto _ : state) benchmark::DoNotOptimize(rig.Api().SendPrintResult("k", true));
}
BENCHMARK(BM_PartParseAndBuild)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PartPrintWithoutReport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PartReportOverHttps)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TaskMemory(benchmark::State& state) {
  test::TestServer server;
  DiscardPrinter printer;
  if (!Prepare(state, server, printer)) return;
  TaskRig rig(server, true);
  long done = 0;
  long after1k = 0;
  for (auto _ : state) {
    if (!rig.Run()) state.SkipWithError("a task was not printed");
    if (++done == 1000) after1k = PeakRssKb();
  }
  state.counters["peak_rss_kB_after_1k"] = static_cast<double>(after1k);
  state.counters["peak_rss_kB_after_all"] = static_cast<double>(PeakRssKb());
}
BENCHMARK(BM_TaskMemory)->Iterations(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qv
