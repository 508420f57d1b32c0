// Fakes for the service core's tests: a scripted cloud, recording printers, status lines and
// shell, and a fixture that wires them to a real run log in a temporary directory.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/service/core_services.h"
#include "core/service/service_views.h"
#include "platform/file_system.h"
#include "platform/gbk.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/temp_dir.h"

namespace qv::testing {

// Jobs wait here until the test runs them, on the test's own thread.
class ManualJobQueue : public JobQueue {
 public:
  void Submit(std::function<void()> job) override { jobs.push_back(std::move(job)); }
  // Delayed jobs wait in `delayed`, in the order given, until the test moves them on.
  void SubmitAfter(std::chrono::milliseconds delay, std::function<void()> job) override {
    delays.push_back(delay);
    delayed.push_back(std::move(job));
  }
  // Lets the oldest delayed job fall due: it joins the jobs waiting.
  void DelayedFallsDue() {
    jobs.push_back(std::move(delayed.front()));
    delayed.pop_front();
  }
  // Runs the oldest job waiting.
  void RunFirst() {
    std::function<void()> job = std::move(jobs.front());
    jobs.pop_front();
    job();
  }
  // Runs the jobs waiting now and those they add; false when there were none.
  bool RunAll() {
    if (jobs.empty()) return false;
    while (!jobs.empty()) RunFirst();
    return true;
  }
  std::deque<std::function<void()>> jobs;
  std::deque<std::function<void()>> delayed;
  std::vector<std::chrono::milliseconds> delays;  // of every delayed job given
};

// Results posted from the lanes' own threads (the real PrintService), run on the test's thread
// when it waits for them.
class PostedResults {
 public:
  PostToUi Poster() {
    return [this](std::function<void()> result) {
      {
        std::lock_guard<std::mutex> hold(mutex_);
        results_.push_back(std::move(result));
      }
      posted_.notify_one();
    };
  }
  // Runs results as they come until `done` holds; false when it did not within `timeoutMs`.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      std::function<void()> result;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        if (!posted_.wait_until(hold, deadline, [this] { return !results_.empty(); })) return false;
        result = std::move(results_.front());
        results_.pop_front();
      }
      result();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> results_;
};

class FakeTaskCloud : public TaskCloud {
 public:
  struct Report {
    std::string uniKey;
    std::string stat;
    std::string sid;  // the store the report went to
  };
  std::string FetchWaitingTasksBody(const ServiceConfig& target) override {
    ++fetches;
    pollTargets.push_back(target.server + " " + target.sid);
    if (answers.empty()) return "";
    std::string body = answers.front();
    answers.pop_front();
    return body;
  }
  std::string PostPrintReport(const ServiceConfig& target, const std::string& uniKey,
                              bool printed) override {
    reports.push_back({uniKey, printed ? "1" : "-1", target.sid});
    return reportAnswer;
  }

  std::deque<std::string> answers;  // one per poll; an empty queue answers ""
  std::string reportAnswer = R"({"code":200})";
  int fetches = 0;
  std::vector<std::string> pollTargets;  // "server sid" of each poll
  std::vector<Report> reports;
};

// Records every operation as a line of text ("bold 1", "text abc", ...) on one shared list,
// so a test sees the order of opens, prints and closes across transports.
class RecordingDriver : public ReceiptDriver {
 public:
  RecordingDriver(std::string name, std::vector<std::string>& ops) : name_(name), ops_(ops) {}
  bool setBold(int on) override { return Op("bold " + std::to_string(on)); }
  bool setAlignment(int code) override {
    return Op("align " + std::to_string(code)) && code >= 1 && code <= 3;
  }
  bool setCharacterSize(int w, int h, int mode) override {
    bool ok =
        Op("size " + std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(mode));
    return ok && w <= 7 && h <= 7;
  }
  bool PrintTextLine(const std::string& text) override { return Op("text " + text); }
  bool lineFeed(int count) override { return Op("feed " + std::to_string(count)); }
  bool cut() override { return Op("cut"); }
  bool PaperReady() override { return hasPaper; }
  bool close(int feedCount, int cutAfter) override {
    ops_.push_back(name_ + " close " + std::to_string(feedCount) + " " + std::to_string(cutAfter));
    return closeResults.empty() ? true : PopClose();
  }

  int failFromOp = -1;  // the n-th formatting operation (0-based) and all later ones fail
  std::deque<bool> closeResults;
  bool hasPaper = true;

 private:
  bool Op(const std::string& text) {
    ops_.push_back(text);
    return failFromOp < 0 || count_++ < failFromOp;
  }
  bool PopClose() {
    bool r = closeResults.front();
    closeResults.pop_front();
    return r;
  }
  std::string name_;
  std::vector<std::string>& ops_;
  int count_ = 0;
};

class FakePrinterAccess : public PrinterAccess {
 public:
  bool ConnectNetwork(const std::string& address, int port, int ping, int io, int width) override {
    ops.push_back("connect " + address + " " + std::to_string(port) + " " + std::to_string(ping) +
                  " " + std::to_string(io) + " " + std::to_string(width));
    return openResult;
  }
  bool OpenSpooler(const std::string& name, int width, std::string& errorText) override {
    ops.push_back("open spooler " + name + " " + std::to_string(width));
    if (!openResult) errorText = spoolerError;
    return openResult;
  }
  bool OpenLpt(int port, int width) override {
    ops.push_back("open lpt " + std::to_string(port) + " " + std::to_string(width));
    return openResult;
  }
  ReceiptDriver& Driver(Transport t) override {
    return t == Transport::Network ? network : t == Transport::Spooler ? spooler : lpt;
  }

  std::vector<std::string> ops;
  bool openResult = true;
  std::string spoolerError = "打印机名无效。";
  RecordingDriver network{"network", ops};
  RecordingDriver spooler{"spooler", ops};
  RecordingDriver lpt{"lpt", ops};
};

class RecordingStatusView : public PollStatusView {
 public:
  void SetPollLine(const std::string& t) override { pollLine = t; }
  void SetLastMessage(const std::string& t) override { last = t; }
  void SetPreviousMessage(const std::string& t) override { previous = t; }
  std::string pollLine = "无", last = "无", previous = "无";
};

class RecordingShell : public PrintShell {
 public:
  void StopPrintTimer() override {
    events.push_back("stop timer");
    timerRunning = false;
  }
  bool PrintTimerRunning() const override { return timerRunning; }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    events.push_back("box " + caption + " " + text);
  }
  void OpenStoreConfig() override { events.push_back("store config"); }
  void ShowQueueLength(const std::string& text) override { queueLabel = text; }
  std::vector<std::string> events;
  std::string queueLabel = "0条";
  bool timerRunning = true;
};

class RecordingDebugView : public DebugView {
 public:
  void AppendDebugText(const std::string& text) override { lines.push_back(text); }
  // Every line without its "[hh:mm:ss]：" stamp and final CR LF.
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
      std::string m = l.substr(l.find("]：") + std::string("]：").size());
      out.push_back(m.substr(0, m.size() - 2));
    }
    return out;
  }
  std::vector<std::string> lines;
};

// The service core around fakes; the run log writes real files into a temporary directory.
// The lanes' jobs and the results posted to the UI thread wait until the test runs them
// (Settle, or each queue on its own), all on the test's thread.
struct CoreFixture {
  CoreFixture() : runLog(dir.Path(), clock), debugLog(state.debugViewEnabled, clock) {
    config.sid = "10001";
    config.server = "127.0.0.1:1";
    config.token = "null";
    state.programDirectory = dir.Path();
    state.dataDirectory = dir.Path();
    state.logDirectory = dir.Path();
    state.debugViewEnabled = true;
    debugLog.SetView(&debugView);
  }

  // The contents of every run-log file, keyed by file name (GBK turned back into UTF-8).
  std::map<std::string, std::string> LogFiles() const {
    std::map<std::string, std::string> files;
    const std::string root = dir.Path();
    const std::filesystem::path rootPath(std::u8string(root.begin(), root.end()));
    for (const auto& entry : std::filesystem::directory_iterator(rootPath)) {
      const std::u8string name = entry.path().filename().u8string();
      std::string utf8Name(name.begin(), name.end());
      if (utf8Name.size() < 4 || utf8Name.substr(utf8Name.size() - 4) != ".log") continue;
      std::string bytes;
      platform::ReadFile(platform::JoinPath(dir.Path(), utf8Name), bytes);
      files[utf8Name] = ToUtf8(bytes);
    }
    return files;
  }
  // The message texts of all run-log entries (without the stamp line), in file-name order.
  std::vector<std::string> LogMessages() const {
    std::vector<std::string> out;
    for (const auto& [name, content] : LogFiles()) {
      size_t at = content.find("日志：\r\n");
      out.push_back(at == std::string::npos
                        ? content
                        : content.substr(at + std::string("日志：\r\n").size()));
    }
    return out;
  }

  // Runs jobs and posted results until nothing is left to run.
  void Settle() {
    while (cloudJobs.RunAll() | printJobs.RunAll() | ui.RunAll()) {
    }
  }

  TempDir dir;
  FakeClock clock;
  ServiceConfig config;
  ServiceState state;
  RunLog runLog;
  DebugLog debugLog;
  RecordingDebugView debugView;
  FakeTaskCloud cloud;
  FakePrinterAccess printers;
  ManualJobQueue cloudJobs;
  ManualJobQueue printJobs;
  ManualJobQueue ui;       // the UI thread's posted results
  int unhurriedPosts = 0;  // how many of them came through postUnhurried
  ServiceLanes lanes{cloudJobs,
                     cloud,
                     printJobs,
                     cloud,
                     printers,
                     [this](std::function<void()> result) { ui.Submit(std::move(result)); },
                     [this](std::function<void()> result) {
                       ++unhurriedPosts;
                       ui.Submit(std::move(result));
                     }};
  CoreServices services{config, state, runLog, debugLog, clock, lanes};
};

}  // namespace qv::testing
