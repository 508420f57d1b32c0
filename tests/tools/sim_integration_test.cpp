// Starts the real quorvel-sim (cloud and printer modes) and talks to it as the print service
// and a test script would: HTTPS with certificate verification against the simulator's CA,
// plain HTTP to the admin interface, raw TCP to the virtual printers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/gbk.h"
#include "tools/sim/cloud_checks.h"
#include "tools/sim/cloud_state.h"
#include "util/text.h"

extern char** environ;

namespace qv::sim {
namespace {

using namespace std::chrono_literals;

const std::string kSid = "20260001";
const std::string kBase = "/api/v2/common/local/print/";
const std::string kAgent =
    "Mozilla/5.0 (Linux; U; Android 8.1.0; zh-cn; Redmi 6 Pro Build/OPM1.171019.019) "
    "AppleWebKit/537.36 (KHTML, like Gecko) Version/4.0 Chrome/61.0.3163.128 Mobile "
    "Safari/537.36 XiaoMi/MiuiBrowser/9.8.7";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// One running quorvel-sim, stopped with SIGTERM when the object goes.
class SimProcess {
 public:
  SimProcess(std::vector<std::string> args, const std::string& logFile) {
    args.insert(args.begin(), Env("QV_SIM_EXE"));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~SimProcess() {
    if (pid_ > 0) Stop(SIGKILL);
  }
  bool Running() const { return pid_ > 0; }

  // Sends `sig` and waits up to 10 s; returns the exit status, -1 when it did not exit.
  int Stop(int sig) {
    if (pid_ <= 0) return -1;
    kill(pid_, sig);
    for (int i = 0; i < 100; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(100ms);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

// A port nobody listens on right now, so that parallel test runs do not collide.
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  close(fd);
  return port;
}

std::string ReadLog(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text, '\0');
  return text;
}

bool WaitForAdmin(int port) {
  httplib::Client admin("127.0.0.1", port);
  for (int i = 0; i < 150; ++i) {
    if (auto res = admin.Get("/status"); res && res->status == 200) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

Json GetJson(int port, const std::string& path) {
  httplib::Client admin("127.0.0.1", port);
  auto res = admin.Get(path);
  return res ? Json::parse(res->body, nullptr, false) : Json();
}

Json PostJson(int port, const std::string& path, const std::string& body) {
  httplib::Client admin("127.0.0.1", port);
  auto res = admin.Post(path, body, "application/json");
  return res ? Json::parse(res->body, nullptr, false) : Json();
}

// A TCP client of a virtual printer.
class PrinterLink {
 public:
  PrinterLink(const std::string& address, int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    timeval timeout{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    // Also bounds the connect: a printer that answers nothing gives EINPROGRESS after it.
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    connectError_ = connected_ ? 0 : errno;
  }
  ~PrinterLink() { close(); }
  bool Connected() const { return connected_; }
  // The errno of a failed connect: ECONNREFUSED refused, EINPROGRESS nothing answered.
  int ConnectError() const { return connectError_; }
  bool Send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  }
  // The reply to a status request; empty on timeout or a closed connection.
  std::string Receive() {
    char buf[64];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, n) : "";
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  int connectError_ = 0;
};

class SimTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (int& port : ports_) port = FreePort();
    dir_ = std::filesystem::temp_directory_path() / ("qv-sim-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    cloud_ = new SimProcess(
        {"cloud", "--dir", dir_.string(), "--cloud-port", std::to_string(CloudPort()),
         "--admin-port", std::to_string(CloudAdmin()), "--sid", kSid, "--printers",
         "127.0.0.91,127.0.0.92", "--write-config", (dir_ / "svc").string()},
        (dir_ / "cloud.log").string());
    printers_ = new SimProcess(
        {"printer", "--dir", dir_.string(), "--printers", "127.0.0.91,127.0.0.92", "--printer-port",
         std::to_string(PrinterPort()), "--admin-port", std::to_string(PrinterAdmin())},
        (dir_ / "printer.log").string());
    ready_ = WaitForAdmin(CloudAdmin()) && WaitForAdmin(PrinterAdmin());
  }
  static void TearDownTestSuite() {
    delete cloud_;
    delete printers_;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void SetUp() override {
    ASSERT_TRUE(ready_) << "quorvel-sim did not start:\n"
                        << ReadLog(dir_ / "cloud.log") << ReadLog(dir_ / "printer.log");
    PostJson(CloudAdmin(), "/reset", "{}");
    httplib::Client(std::string("127.0.0.1"), CloudAdmin()).Delete("/faults");
  }

  static int CloudPort() { return ports_[0]; }
  static int CloudAdmin() { return ports_[1]; }
  static int PrinterAdmin() { return ports_[2]; }
  static int PrinterPort() { return ports_[3]; }

  // A POST as the print service sends it, verified against the simulator's CA by name.
  static httplib::Result CloudPost(const std::string& endpoint, httplib::Headers headers,
                                   const std::string& body) {
    httplib::SSLClient client("localhost", CloudPort());
    client.set_ca_cert_path((dir_ / "certs" / "ca.pem").string().c_str());
    client.enable_server_certificate_verification(true);
    client.set_read_timeout(10, 0);
    return client.Post((kBase + endpoint).c_str(), headers, body,
                       "application/x-www-form-urlencoded");
  }
  static httplib::Headers Envelope(const std::string& sid = kSid, int64_t offset = 0) {
    return {{"User-Agent", kAgent},
            {"Storeid", sid},
            {"X-Token", "null"},
            {"entry", EncodeEntry(sid, std::time(nullptr) + offset, 5)}};
  }
  static Json Code(const httplib::Result& res) {
    if (!res) return Json();
    Json body = Json::parse(res->body, nullptr, false);
    return body.is_object() && body.contains("code") ? body["code"] : Json();
  }

  static inline int ports_[4] = {};
  static inline std::filesystem::path dir_;
  static inline SimProcess* cloud_ = nullptr;
  static inline SimProcess* printers_ = nullptr;
  static inline bool ready_ = false;
};

TEST_F(SimTest, CloudHandsOutTasksOnceAndRecordsReports) {
  Json loaded =
      PostJson(CloudAdmin(), "/tasks/load",
               Json{{"path", Env("QV_SIM_SAMPLES") + "/01_customer_receipt.json"}}.dump());
  ASSERT_EQ(loaded["ok"], true) << loaded;
  const std::string key = loaded["keys"][0];

  auto first = CloudPost("wait", Envelope(), "");
  ASSERT_TRUE(first);
  Json answer = Json::parse(first->body);
  EXPECT_EQ(answer["code"], 200);
  ASSERT_EQ(answer["total"], 1);
  EXPECT_EQ(answer["data"][0]["uni_key"], key);
  EXPECT_EQ(answer["data"][0]["print_sn"], "127.0.0.91");
  EXPECT_EQ(answer["data"][0]["print_content"][0]["text"], "桂香楼川菜馆");
  EXPECT_EQ(Json::parse(CloudPost("wait", Envelope(), "")->body)["total"], 0);

  httplib::Headers report = Envelope();
  report.erase("X-Token");
  report.emplace("uk", key);
  report.emplace("stat", "-1");
  EXPECT_EQ(Code(CloudPost("report", report, "X-Token=1")), 200);
  report.find("uk")->second = "no-such-task";
  EXPECT_EQ(Code(CloudPost("report", report, "X-Token=1")), 404);

  Json reports = GetJson(CloudAdmin(), "/reports");
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0]["uk"], key);
  EXPECT_EQ(reports[0]["stat"], "-1");
  EXPECT_EQ(reports[0]["known_task"], true);
  EXPECT_EQ(GetJson(CloudAdmin(), "/tasks")[0]["reports"], Json::array({"-1"}));

  std::string config;
  std::ifstream in(dir_ / "svc" / "config.ini");
  std::getline(in, config, '\0');
  EXPECT_NE(config.find("server=localhost:" + std::to_string(CloudPort()) + "\r\n"),
            std::string::npos);
  EXPECT_NE(config.find("ca_file=" + (dir_ / "certs" / "ca.pem").string()), std::string::npos);
}

TEST_F(SimTest, CloudRefusesRequestsARealCloudWouldRefuse) {
  PostJson(CloudAdmin(), "/tasks", R"({"uni_key": "keep-me", "print_content": []})");
  httplib::Headers noStore = Envelope();
  noStore.erase("Storeid");
  httplib::Headers badEntry = Envelope();
  badEntry.find("entry")->second = "garbage";
  httplib::Headers report = Envelope();
  report.emplace("uk", "keep-me");
  report.emplace("stat", "1");
  struct Case {
    std::string name, endpoint;
    httplib::Headers headers;
    std::string body;
    int code;
  };
  const std::vector<Case> cases = {
      {"no store", "wait", noStore, "", 401},
      {"other store", "wait", Envelope("30001234"), "", 401},
      {"entry an hour old", "wait", Envelope(kSid, -3600), "", 401},
      {"entry not decodable", "wait", badEntry, "", 401},
      {"wait with a body", "wait", Envelope(), "a=1", 400},
      {"report without X-Token body", "report", report, "", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Code(CloudPost(c.endpoint, c.headers, c.body)), c.code);
  }
  EXPECT_EQ(GetJson(CloudAdmin(), "/tasks")[0]["waiting"], true);  // no task was given away
  EXPECT_EQ(GetJson(CloudAdmin(), "/requests").size(), cases.size());
}

TEST_F(SimTest, CloudChecksThePrinterListChecksum) {
  const std::string list = R"([{"n":"厨房打印机","p":"USB001"},{"n":"Receipt","p":"LPT1:"}])";
  auto body = [&](const std::string& md5) {
    return "X-Token=1&times=" + std::to_string(std::time(nullptr)) +
           "&mac=52:54:00:12:34:56&md5=" + md5 + "&plist=" + Base64Encode(list);
  };
  EXPECT_EQ(Code(CloudPost("chk", Envelope(), body(Md5Hex(list)))), 200);
  EXPECT_EQ(Code(CloudPost("chk", Envelope(), body(Md5Hex("[]")))), 400);
  Json lists = GetJson(CloudAdmin(), "/printer-lists");
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0]["mac"], "52:54:00:12:34:56");
  EXPECT_EQ(lists[0]["printers"][0]["n"], "厨房打印机");
}

TEST_F(SimTest, CloudSuffersInjectedFaultsThenRecovers) {
  ASSERT_EQ(PostJson(CloudAdmin(), "/faults",
                     R"([{"kind": "http500"}, {"kind": "non_json"}, {"kind": "drop"},
                         {"kind": "code", "code": 503}, {"kind": "slow", "delay_ms": 1200}])")
                ["ok"],
            true);
  auto http500 = CloudPost("wait", Envelope(), "");
  ASSERT_TRUE(http500);
  EXPECT_EQ(http500->status, 500);
  auto nonJson = CloudPost("wait", Envelope(), "");
  ASSERT_TRUE(nonJson);
  EXPECT_TRUE(Json::parse(nonJson->body, nullptr, false).is_discarded());
  EXPECT_FALSE(CloudPost("wait", Envelope(), ""));  // the connection breaks off
  EXPECT_EQ(Code(CloudPost("wait", Envelope(), "")), 503);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Code(CloudPost("wait", Envelope(), "")), 200);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(Code(CloudPost("wait", Envelope(), "")), 200);
}

TEST_F(SimTest, CloudTricklesSwellsAndRedirectsWhenTold) {
  ASSERT_EQ(PostJson(CloudAdmin(), "/faults",
                     R"([{"kind": "huge", "size_mb": 1},
                         {"kind": "redirect", "location": "http://127.0.0.1:1/plain/wait"},
                         {"kind": "trickle", "bytes_per_second": 1000}])")["ok"],
            true);
  auto huge = CloudPost("wait", Envelope(), "");
  ASSERT_TRUE(huge);
  EXPECT_GE(huge->body.size(), (1u << 20) - (64u << 10));
  EXPECT_LE(huge->body.size(), 1u << 20);
  EXPECT_FALSE(huge->has_header("Content-Length"));
  EXPECT_EQ(huge->body.rfind(R"({"code":200,"total":1,"data":"xx)", 0), 0u);
  EXPECT_EQ(huge->body.substr(huge->body.size() - 3), R"(x"})");
  auto moved = CloudPost("wait", Envelope(), "");
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->status, 302);
  EXPECT_EQ(moved->get_header_value("Location"), "http://127.0.0.1:1/plain/wait");
  auto start = std::chrono::steady_clock::now();
  auto trickled = CloudPost("wait", Envelope(), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);  // ~2 KB at 1000 bytes a second
  EXPECT_EQ(Code(trickled), 200);
  // A request that followed the redirect in plain text would be recorded as such.
  EXPECT_EQ(GetJson(CloudAdmin(), "/plain/wait")["code"], 200);
  Json requests = GetJson(CloudAdmin(), "/requests");
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back()["plain"], true);
  const Json names = requests.front()["header_names"];
  EXPECT_NE(std::find(names.begin(), names.end(), "Storeid"), names.end()) << names;
}

TEST_F(SimTest, PrinterAnswersStatusFromItsStateAndKeepsTheJob) {
  const std::string address = "127.0.0.91";
  {
    PrinterLink link(address, PrinterPort());
    ASSERT_TRUE(link.Connected());
    ASSERT_TRUE(link.Send("\x1b\x45\x01\x1b\x61\x01\x1d\x21\x11" + FromUtf8("桂香楼川菜馆") +
                          "\r\n\x1d\x72\x01"));
    EXPECT_EQ(link.Receive(), std::string(1, '\0'));
    Json set = PostJson(PrinterAdmin(), "/printers/" + address, R"({"paper_out": true})");
    EXPECT_EQ(set["state"]["paper_out"], true);
    ASSERT_TRUE(link.Send("\x1d\x72\x01"));
    EXPECT_EQ(link.Receive(), "\x20");
    ASSERT_TRUE(link.Send("\x1b\x76\x1bm"));
    EXPECT_EQ(link.Receive(), "\x0c");
    PostJson(PrinterAdmin(), "/printers/" + address, R"({"paper_reply": 45})");
    ASSERT_TRUE(link.Send("\x1b\x76"));
    EXPECT_EQ(link.Receive(), "\x2d");  // the print head's temperature, paper or not
    PostJson(PrinterAdmin(), "/printers/" + address, R"({"paper_reply": -1, "mute": true})");
    ASSERT_TRUE(link.Send("\x1b\x76"));
    EXPECT_EQ(link.Receive(), "");  // no answer within the link's 2 s
  }
  Json jobs;
  for (int i = 0; i < 50 && jobs.empty(); ++i) {
    std::this_thread::sleep_for(100ms);
    jobs = GetJson(PrinterAdmin(), "/jobs?printer=" + address);
  }
  PostJson(PrinterAdmin(), "/printers/" + address, R"({"paper_out": false, "mute": false})");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0]["lines"], Json::array({"桂香楼川菜馆"}));
  EXPECT_EQ(jobs[0]["cuts"], 1);
  EXPECT_EQ(jobs[0]["printed"], false);  // paper ran out before the job ended
  EXPECT_EQ(jobs[0]["status_requests"].size(), 5u);
  EXPECT_TRUE(std::filesystem::exists(jobs[0]["file"].get<std::string>()));
}

TEST_F(SimTest, PrinterDropsTheConnectionMidJobOnce) {
  const std::string address = "127.0.0.92";
  PostJson(PrinterAdmin(), "/printers/" + address, R"({"drop_after_bytes": 10})");
  {
    PrinterLink link(address, PrinterPort());
    ASSERT_TRUE(link.Connected());
    link.Send(std::string(8, 'a'));
    link.Send(std::string(8, 'b') + "\r\n");
    EXPECT_EQ(link.Receive(), "");  // closed by the printer
  }
  {
    PrinterLink link(address, PrinterPort());
    ASSERT_TRUE(link.Connected());
    EXPECT_TRUE(link.Send(std::string(40, 'c') + "\r\n"));
  }
  Json jobs;
  for (int i = 0; i < 50 && jobs.size() < 2; ++i) {
    std::this_thread::sleep_for(100ms);
    jobs = GetJson(PrinterAdmin(), "/jobs?printer=" + address);
  }
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0]["dropped"], true);
  EXPECT_EQ(jobs[0]["bytes"], 10);
  EXPECT_EQ(jobs[1]["dropped"], false);
  EXPECT_EQ(jobs[1]["bytes"], 42);
}

// A printer switched off lets connection attempts run into their time limit, as one without
// power does (an offline one refuses them); switched on again it takes connections. A silent
// cloud holds a report without an answer until the faults are cleared.
TEST_F(SimTest, SwitchedOffPrinterAndSilentCloudAnswerNothing) {
  const std::string address = "127.0.0.92";
  PostJson(PrinterAdmin(), "/printers/" + address, R"({"switched_off": true})");
  std::this_thread::sleep_for(300ms);  // the printer's loop applies the state
  for (int attempt = 0; attempt < 2; ++attempt) {
    PrinterLink link(address, PrinterPort());
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.ConnectError(), EINPROGRESS);
  }
  PostJson(PrinterAdmin(), "/printers/" + address, R"({"switched_off": false})");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(PrinterLink(address, PrinterPort()).Connected());

  ASSERT_EQ(PostJson(CloudAdmin(), "/faults", R"({"kind": "silent", "endpoint": "report"})")["ok"],
            true);
  std::thread clear([] {
    std::this_thread::sleep_for(1500ms);
    httplib::Client(std::string("127.0.0.1"), CloudAdmin()).Delete("/faults");
  });
  const auto start = std::chrono::steady_clock::now();
  auto held = CloudPost("report", Envelope(), "X-Token=1");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms);
  EXPECT_TRUE(!held || Code(held).is_null());  // no answer, only a connection broken off
  clear.join();
  EXPECT_FALSE(Code(CloudPost("report", Envelope(), "X-Token=1")).is_null());
}

TEST(SimProcessTest, StopsCleanlyOnSigintAndSigterm) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("qv-sim-stop-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const int port = FreePort();
  for (int sig : {SIGINT, SIGTERM}) {
    const int adminPort = FreePort();
    SimProcess sim({"printer", "--dir", dir.string(), "--printers", "127.0.0.93", "--printer-port",
                    std::to_string(port), "--admin-port", std::to_string(adminPort)},
                   (dir / "stop.log").string());
    ASSERT_TRUE(sim.Running());
    ASSERT_TRUE(WaitForAdmin(adminPort)) << ReadLog(dir / "stop.log");
    PrinterLink open("127.0.0.93", port);  // a job still open when the signal comes
    ASSERT_TRUE(open.Connected());
    open.Send("half a job");
    std::this_thread::sleep_for(300ms);  // let the printer take the connection
    EXPECT_EQ(sim.Stop(sig), 0) << "signal " << sig << "\n" << ReadLog(dir / "stop.log");
    std::string jobs;
    std::ifstream in(dir / "jobs" / "jobs.json");
    std::getline(in, jobs, '\0');
    EXPECT_NE(jobs.find("simulator stopped"), std::string::npos);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

}  // namespace
}  // namespace qv::sim
