// The print service on real parts: the loopback HTTPS cloud (tests/support), network printers
// as loopback TCP listeners, the parallel port as a file, the real drivers and the run log on
// disk. Timers are the test's loop: each round is one poll tick and one print tick.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/service/polling.h"
#include "core/service/print_job.h"
#include "core/wiring/print_service.h"
#include "platform/file_system.h"
#include "platform/gbk.h"
#include "platform/http_transport.h"
#include "tests/fakes/core_fakes.h"
#include "tests/fakes/loopback_printer.h"
#include "tests/support/test_server.h"

namespace qv::testing {
namespace {

// One content line of a task, and the bytes the printer must receive for it.
struct Line {
  int bold, align, width, height;
  std::string text;
  std::string Json() const {
    return R"({"type":1,"bold":)" + std::to_string(bold) + R"(,"align":)" + std::to_string(align) +
           R"(,"widthEnlarge":)" + std::to_string(width) + R"(,"heightEnlarge":)" +
           std::to_string(height) + R"(,"text":")" + text + R"("})";
  }
  std::string Bytes() const {
    return std::string("\x1b\x45") + char(bold == 1 ? 1 : 0) + "\x1b\x61" + char(align - 1) +
           "\x1d\x21" + char(width << 4 | height) + FromUtf8(text) + "\r\n";
  }
};

std::string ContentJson(const std::vector<Line>& lines) {
  std::string json = "[";
  for (const Line& l : lines) json += l.Json() + ",";
  return json + R"({"type":2,"text":"not printed"}])";
}

// What a printer receives for a task: every copy, each with the feed and the cut.
std::string TicketBytes(const std::vector<Line>& lines, int copies, int feed) {
  std::string copy;
  for (const Line& l : lines) copy += l.Bytes();
  for (int i = 0; i < feed; ++i) copy += "\r\n";
  copy += "\x1b\x6d";
  std::string all;
  for (int i = 0; i < copies; ++i) all += copy;
  return all;
}

// A network printer is asked for its paper sensor (ESC v) before the ticket and again after
// it, to know it read the ticket.
std::string NetworkJob(const std::string& ticket) { return "\x1b\x76" + ticket + "\x1b\x76"; }

std::vector<Line> Receipt(const std::string& title, int count) {
  std::vector<Line> lines = {{1, 2, 1, 1, title}};
  for (int i = 1; i < count; ++i) {
    lines.push_back({0, i % 3 + 1, 0, 0,
                     "宫保鸡丁 x" + std::to_string(i) + "  ￥" + std::to_string(18 + i) + ".00"});
  }
  return lines;
}

std::string TaskJson(const std::string& key, int type, const std::string& sn,
                     const std::string& content, int copies = 1) {
  return R"({"app_id":"a","store_id":"s","uni_key":")" + key + R"(","print_type":)" +
         std::to_string(type) + R"(,"print_sn":")" + sn + R"(","print_num":)" +
         std::to_string(copies) + R"(,"print_content":)" + content + "}";
}

std::string Answer(const std::vector<std::string>& tasks) {
  std::string data;
  for (const std::string& t : tasks) data += (data.empty() ? "" : ",") + t;
  return R"({"code":200,"total":)" + std::to_string(tasks.size()) + R"(,"data":[)" + data + "]}";
}

// The cloud script of one store on the test server, over its plain HTTP port.
class CloudScript {
 public:
  CloudScript(const test::TestServer& server, std::string store)
      : server_(server), store_(std::move(store)), http_(platform::HttpTransport::Create()) {
    Call("POST", "/__cloud/open", "");
  }
  void QueueAnswer(const std::string& body) { Call("POST", "/__cloud/wait", body); }
  // Each report as (uk, stat, body); also checks that no X-Token header went out.
  std::vector<std::vector<std::string>> Reports() {
    std::vector<std::vector<std::string>> out;
    std::string all = Call("GET", "/__cloud/reports", "");
    for (size_t at = 0, end; (end = all.find('\x1e', at)) != std::string::npos; at = end + 1) {
      const std::string raw = all.substr(at, end - at);
      EXPECT_EQ(raw.find("\r\nX-Token:"), std::string::npos);
      out.push_back({Header(raw, "Uk"), Header(raw, "Stat"), raw.substr(raw.find("\r\n\r\n") + 4)});
    }
    return out;
  }

 private:
  static std::string Header(const std::string& raw, const std::string& name) {
    size_t at = raw.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "?";
    at += name.size() + 4;
    return raw.substr(at, raw.find("\r\n", at) - at);
  }
  std::string Call(const std::string& verb, const std::string& path, const std::string& body) {
    platform::HttpTransportRequest r;
    r.host = "localhost";
    r.port = server_.httpPort;
    r.path = path + "?store=" + store_;
    r.verb = verb;
    r.headers = "Content-Type: application/octet-stream\r\n";
    r.body = body;
    platform::HttpTransportResponse answer;
    EXPECT_EQ(http_->Exchange(r, answer), platform::HttpFailure::None) << path;
    return answer.body;
  }
  const test::TestServer& server_;
  std::string store_;
  std::unique_ptr<platform::HttpTransport> http_;
};

// The service as the program runs it, around the real cloud client, drivers and lanes; the
// test's thread stands for the UI thread.
struct Service {
  // The cloud is the test server, trusted through f.state.extra.caFile.
  Service(CoreFixture& f, const std::string& lpt1)
      : state(f.state),
        service(f.config, f.state, f.runLog, f.debugLog, f.clock, ui.Poster(), ui.Poster(), nullptr,
                {platform::HttpTransport::Create(), platform::HttpTransport::Create(), nullptr},
                network, spooler, lpt),
        poller(service.Services(), view),
        runner(service.Services(), shell) {
    lpt.SetPortPaths(lpt1, "");
  }
  // One second of the running service: the poll timer, then the print timer, and what they
  // started, to its end.
  void Tick() {
    poller.PollTimerTick();
    runner.PrintTimerTick();
    Settle();
  }
  void Settle() {
    EXPECT_TRUE(ui.RunUntil([this] { return !state.pollBusy && !state.printBusy; }, 60000));
  }

  ServiceState& state;
  PostedResults ui;
  NetworkPrinter network;
  SpoolerPrinter spooler;
  LptPrinter lpt;
  PrintService service;
  RecordingStatusView view;
  RecordingShell shell;
  Poller poller;
  PrintJobRunner runner;
};

class CoreIntegration : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::FindTestServer();
    ASSERT_TRUE(server_.found) << "the https_server fixture did not run";
    std::random_device rd;
    f_.config.sid = "qvcore" + std::to_string(rd() % 1000000000);
    f_.config.server = server_.HttpsHost();
    f_.state.extra.caFile = server_.caFile;
    lpt1_ = platform::JoinPath(f_.dir.Path(), "parallel-port-1.out");
    ASSERT_TRUE(platform::WriteFile(lpt1_, "")) << lpt1_;
    f_.state.pollSeconds = 1;
    f_.state.print.feedLines = 4;
    f_.state.print.autoCut = true;
  }
  std::string AllLogText() const {
    std::string all;
    for (const auto& [name, text] : f_.LogFiles()) all += text + "\n";
    return all;
  }

  test::TestServer server_;
  CoreFixture f_;
  std::string lpt1_;
};

TEST_F(CoreIntegration, WholeRunPrintsReportsAndLogsEveryTask) {
  LoopbackPrinter kitchen("127.77.0.1"), bar("127.77.0.2"), dropper("127.77.0.3"),
      noPaper("127.77.0.5");
  ASSERT_TRUE(kitchen.Listening() && bar.Listening() && dropper.Listening() && noPaper.Listening());
  // The dropper takes a little at a time and hangs up with most of its ticket unread.
  dropper.ReadSlowly(64, 1);
  dropper.CloseAfter(200);
  // The kitchen printer answers that it has paper, the bar printer does not answer at all.
  kitchen.Answer("\x1b\x76", std::string(1, '\0'));
  noPaper.Answer("\x1b\x76", "\x0c");

  const auto order = Receipt("厨房单 #1", 40);
  const auto drinks = Receipt("吧台单", 3);
  const auto lptLines = Receipt("LPT单", 2);
  // Long lines, many copies (1.2 MB, more than the socket buffers hold): the hang-up comes
  // while the task is still sending.
  std::vector<Line> big = Receipt(std::string(60, 'A'), 40);
  for (Line& l : big) l.text += std::string(6000, 'B');
  // The string form of the content must print the same as the array.
  std::string lptContent = ContentJson(lptLines);
  std::string escaped;
  for (char c : lptContent) escaped += c == '"' ? std::string("\\\"") : std::string(1, c);

  CloudScript cloud(server_, f_.config.sid);
  const std::string t3 = TaskJson("t3", 3, "1", "\"" + escaped + "\"");
  const std::string t4 = TaskJson("t4", 2, "qv-no-such-printer", "[]");
  cloud.QueueAnswer(Answer({TaskJson("t1", 1, "127.77.0.1", ContentJson(order), 2),
                            TaskJson("t2", 1, "127.77.0.3", ContentJson(big), 5), t3, t4,
                            TaskJson("t5", 4, "x", "[]")}));
  cloud.QueueAnswer(Answer({t3, t4, TaskJson("t6", 1, "127.77.0.2", ContentJson(drinks)),
                            TaskJson("t7", 1, "127.77.0.5", ContentJson(drinks))}));
  cloud.QueueAnswer("not json");
  cloud.QueueAnswer(R"({"code":500,"total":1,"data":[]})");
  cloud.QueueAnswer(R"({"code":200,"total":0,"data":[)" + t3 + "]}");

  Service s(f_, lpt1_);
  s.poller.StartPolling();
  s.Settle();
  EXPECT_EQ(f_.state.taskQueue.Size(), 5u);
  for (int second = 0; second < 8; ++second) s.Tick();

  EXPECT_EQ(kitchen.Jobs(), std::vector<std::string>{NetworkJob(TicketBytes(order, 2, 4))});
  EXPECT_EQ(bar.Jobs(), std::vector<std::string>{NetworkJob(TicketBytes(drinks, 1, 4))});
  // Nothing but the question goes to a printer without paper.
  EXPECT_EQ(noPaper.Jobs(), std::vector<std::string>{"\x1b\x76"});
  std::string lptBytes;
  ASSERT_TRUE(platform::ReadFile(lpt1_, lptBytes));
  EXPECT_EQ(lptBytes, TicketBytes(lptLines, 1, 4));

  const auto reports = cloud.Reports();
  std::vector<std::string> outcomes;
  for (const auto& r : reports) {
    outcomes.push_back(r[0] + " " + r[1]);
    EXPECT_EQ(r[2], "X-Token=1");
  }
  EXPECT_EQ(outcomes,
            (std::vector<std::string>{"t1 1", "t2 -1", "t3 1", "t4 -1", "t6 1", "t7 -1"}));

  const std::string log = AllLogText();
  for (const std::string& entry :
       {std::string("解析主包失败，错误行：1  错误内容：not json"), std::string("返回状态码错误"),
        std::string("IP打印机[127.77.0.3]连接成功但是打印失败，失败状态：[数据发送失败]"),
        std::string("USB打印机[qv-no-such-printer]连接失败"),
        std::string("IP打印机[127.77.0.5]连接成功但是打印失败，失败状态：[缺纸或纸盖开启]")}) {
    EXPECT_NE(log.find(entry), std::string::npos) << entry << "\nin\n" << log;
  }
  EXPECT_TRUE(f_.state.taskQueue.Empty());
  EXPECT_EQ(s.shell.queueLabel, "0条");
  EXPECT_EQ(s.poller.recordCount(), 9);  // t3 and t4 counted twice, the total-0 task not at all
  EXPECT_EQ(s.view.pollLine, "查询[9]次/记录数[9]");  // the last polls found no task
  EXPECT_NE(s.view.last.find("[No Task]"), std::string::npos);
  EXPECT_NE(s.view.previous.find("[No Task]"), std::string::npos);
}

TEST_F(CoreIntegration, RestartPrintsJournaledTasksOnceInOrder) {
  LoopbackPrinter kitchen("127.77.0.4");
  ASSERT_TRUE(kitchen.Listening());
  const std::string journal = platform::JoinPath(f_.dir.Path(), kTaskJournalName);
  std::vector<std::string> tasks;
  std::vector<std::string> tickets;
  for (int i = 1; i <= 4; ++i) {
    const auto lines = Receipt("单号 " + std::to_string(i), 5);
    tasks.push_back(TaskJson("r" + std::to_string(i), 1, "127.77.0.4", ContentJson(lines)));
    tickets.push_back(NetworkJob(TicketBytes(lines, 1, 4)));
  }
  CloudScript cloud(server_, f_.config.sid);
  cloud.QueueAnswer(Answer({tasks[0], tasks[1], tasks[2]}));
  {
    // First run: the tasks arrive, then the program ends before printing any of them.
    OpenTaskJournal(f_.state, f_.runLog);
    Service s(f_, lpt1_);
    s.poller.StartPolling();
    s.Settle();
    ASSERT_EQ(f_.state.taskQueue.Size(), 3u);
  }
  // Second run in a fresh process state; the cloud still hands out r2 as waiting.
  CoreFixture again;
  again.config = f_.config;
  again.state.dataDirectory = f_.dir.Path();
  again.state.extra = f_.state.extra;
  again.state.pollSeconds = 1;
  again.state.print.feedLines = 4;
  JournalRestore restored = OpenTaskJournal(again.state, again.runLog);
  EXPECT_EQ(restored.restored, 3u);
  cloud.QueueAnswer(Answer({tasks[1], tasks[3]}));
  Service s(again, lpt1_);
  s.poller.StartPolling();
  s.Settle();
  for (int second = 0; second < 6; ++second) s.Tick();

  ASSERT_TRUE(kitchen.WaitForClosedJobs(4, 5000));
  EXPECT_EQ(kitchen.Jobs(), tickets);
  std::vector<std::string> outcomes;
  for (const auto& r : cloud.Reports()) outcomes.push_back(r[0] + " " + r[1]);
  EXPECT_EQ(outcomes, (std::vector<std::string>{"r1 1", "r2 1", "r3 1", "r4 1"}));
  // Nothing is left for a third start.
  TaskQueue third;
  EXPECT_EQ(third.OpenJournal(journal, nullptr).restored, 0u);
}

}  // namespace
}  // namespace qv::testing
