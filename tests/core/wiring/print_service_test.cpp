#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/service/print_job.h"
#include "core/wiring/print_service.h"
#include "platform/file_system.h"
#include "printer/lpt_printer.h"
#include "printer/network_printer.h"
#include "printer/spooler_printer.h"
#include "tests/fakes/core_fakes.h"

namespace qv {
namespace {

// A cloud whose report answer takes a while, and says when the report has gone out.
class SlowReportTransport : public platform::HttpTransport {
 public:
  explicit SlowReportTransport(std::shared_ptr<std::atomic<bool>> entered)
      : entered_(std::move(entered)) {}
  platform::HttpFailure Exchange(const platform::HttpTransportRequest&,
                                 platform::HttpTransportResponse& response) override {
    entered_->store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    response.headersRead = true;
    response.rawHeaders = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
    response.body = R"({"code":200})";
    return platform::HttpFailure::None;
  }

 private:
  std::shared_ptr<std::atomic<bool>> entered_;
};

// The service ends while a print is on the printer lane, its report still out: the lane's
// end of the task is posted after the service's destructor began. A `post` that owns its
// state (as a real loop's handle does) must still be there then; under ASan a post destroyed
// before the lane's thread was joined is a use after free.
TEST(PrintServiceEnd, APrintInFlightFinishesBeforeWhatItUsesGoes) {
  testing::CoreFixture f;
  const std::string port = platform::JoinPath(f.dir.Path(), "port1.out");
  ASSERT_TRUE(platform::WriteFile(port, ""));
  auto entered = std::make_shared<std::atomic<bool>>(false);
  struct Posted {
    std::mutex mutex;
    std::deque<std::function<void()>> results;
  };
  auto posted = std::make_shared<Posted>();
  const PostToUi post = [posted](std::function<void()> result) {
    std::lock_guard<std::mutex> hold(posted->mutex);
    posted->results.push_back(std::move(result));
  };
  NetworkPrinter network;
  SpoolerPrinter spooler;
  LptPrinter lpt;
  lpt.SetPortPaths(port, "");
  testing::RecordingShell shell;
  {
    auto service = std::make_unique<PrintService>(
        f.config, f.state, f.runLog, f.debugLog, f.clock, post, post, nullptr,
        ServiceTransports{platform::HttpTransport::Create(),
                          std::make_unique<SlowReportTransport>(entered), nullptr},
        network, spooler, lpt);
    PrintJobRunner runner(service->Services(), shell);
    PrintTask task;
    task.uni_key = "in-flight";
    task.print_type = 3;
    task.print_sn = "1";
    task.print_num = 1;
    task.print_content = R"([{"type":1,"text":"in flight"}])";
    f.state.taskQueue.Append(task);
    runner.ExecuteNextTask();
    ASSERT_TRUE(f.state.printBusy);
    for (int i = 0; i < 500 && !entered->load(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(entered->load()) << "the report did not go out";
    service.reset();  // the report is still out: the lane's post comes after this began
  }
  // The end was posted, to a loop that no longer runs (the program's ending waits for the
  // print before it lets the loop end). Should the loop still run it, the service it belongs
  // to has gone: it is dropped rather than run on what the service owned.
  std::deque<std::function<void()>> late;
  {
    std::lock_guard<std::mutex> hold(posted->mutex);
    late.swap(posted->results);
  }
  EXPECT_FALSE(late.empty());
  for (std::function<void()>& result : late) result();
  EXPECT_TRUE(f.state.printBusy);          // nobody took the end in
  EXPECT_TRUE(f.debugView.lines.empty());  // nor its progress lines
  std::string bytes;
  ASSERT_TRUE(platform::ReadFile(port, bytes));
  EXPECT_NE(bytes.find("in flight"), std::string::npos);
}

}  // namespace
}  // namespace qv
