// Fakes for the service core's tests: a scripted cloud, recording printers, status lines and
// shell, and a fixture that wires them to a real run log in a temporary directory.
#pragma once

#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/core_services.h"
#include "core/service_views.h"
#include "platform/file_system.h"
#include "platform/gbk.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/temp_dir.h"

namespace qv::testing {

class FakeTaskCloud : public TaskCloud {
 public:
  struct Report {
    std::string uniKey;
    std::string stat;
  };
  std::string FetchWaitingTasksBody() override {
    ++fetches;
    if (answers.empty()) return "";
    std::string body = answers.front();
    answers.pop_front();
    return body;
  }
  std::string PostPrintReport(const std::string& uniKey, bool printed) override {
    reports.push_back({uniKey, printed ? "1" : "-1"});
    return reportAnswer;
  }

  std::deque<std::string> answers;  // one per poll; an empty queue answers ""
  std::string reportAnswer = R"({"code":200})";
  int fetches = 0;
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
  bool printTextLine(const std::string& text) override { return Op("text " + text); }
  bool lineFeed(int count) override { return Op("feed " + std::to_string(count)); }
  bool cut() override { return Op("cut"); }
  bool paperReady() override { return hasPaper; }
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
  bool connectNetwork(const std::string& address, int port, int ping, int io, int width) override {
    ops.push_back("connect " + address + " " + std::to_string(port) + " " + std::to_string(ping) +
                  " " + std::to_string(io) + " " + std::to_string(width));
    return openResult;
  }
  bool openSpooler(const std::string& name, int width, std::string& errorText) override {
    ops.push_back("open spooler " + name + " " + std::to_string(width));
    if (!openResult) errorText = spoolerError;
    return openResult;
  }
  bool openLpt(int port, int width) override {
    ops.push_back("open lpt " + std::to_string(port) + " " + std::to_string(width));
    return openResult;
  }
  ReceiptDriver& driver(Transport t) override {
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
  void StopPrintTimer() override { events.push_back("stop timer"); }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    events.push_back("box " + caption + " " + text);
  }
  void OpenStoreConfig() override { events.push_back("store config"); }
  void ShowQueueLength(const std::string& text) override { queueLabel = text; }
  std::vector<std::string> events;
  std::string queueLabel = "0条";
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
struct CoreFixture {
  CoreFixture() : runLog(dir.path(), clock), debugLog(state.debugViewEnabled, clock) {
    config.sid = "10001";
    config.server = "127.0.0.1:1";
    config.token = "null";
    state.programDirectory = dir.path();
    state.logDirectory = dir.path();
    state.debugViewEnabled = true;
    debugLog.SetView(&debugView);
  }

  // The contents of every run-log file, keyed by file name (GBK turned back into UTF-8).
  std::map<std::string, std::string> LogFiles() const {
    std::map<std::string, std::string> files;
    const std::string root = dir.path();
    const std::filesystem::path rootPath(std::u8string(root.begin(), root.end()));
    for (const auto& entry : std::filesystem::directory_iterator(rootPath)) {
      const std::u8string name = entry.path().filename().u8string();
      std::string utf8Name(name.begin(), name.end());
      if (utf8Name.size() < 4 || utf8Name.substr(utf8Name.size() - 4) != ".log") continue;
      std::string bytes;
      platform::ReadFile(platform::JoinPath(dir.path(), utf8Name), bytes);
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

  TempDir dir;
  FakeClock clock;
  ServiceConfig config;
  ServiceState state;
  RunLog runLog;
  DebugLog debugLog;
  RecordingDebugView debugView;
  FakeTaskCloud cloud;
  FakePrinterAccess printers;
  CoreServices services{config, state, runLog, debugLog, clock, cloud, printers};
};

}  // namespace qv::testing
