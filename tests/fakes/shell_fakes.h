// Fakes for the shell's tests: the installed printers, the cloud's printer list endpoint and
// the autostart entry, plus a fixture that builds a Shell on the fake toolkit around the
// service core's fakes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/autostart.h"
#include "shell/printer_report.h"
#include "shell/shell.h"
#include "tests/fakes/core_fakes.h"
#include "tests/fakes/fake_toolkit.h"

namespace qv::shell {

class ListedPrinters : public PrinterSource {
 public:
  explicit ListedPrinters(std::vector<PrinterEntry> printers = {})
      : printers(std::move(printers)) {}
  std::vector<PrinterEntry> ListPrinters() override { return printers; }
  std::vector<PrinterEntry> printers;
};

class RecordingUplink : public PrinterListUplink {
 public:
  std::string TimeText() override { return "1700000000"; }
  std::string SendPrinterList(const ServiceConfig& target,
                              const PrinterListFields& fields) override {
    ++sends;
    server = target.server;
    sid = target.sid;
    body = CloudApi::PrinterListBody(fields);
    return answer;
  }
  std::string answer = R"({"code":200})";
  std::string server, sid, body;
  int sends = 0;
};

class MemoryAutostart : public platform::Autostart {
 public:
  bool Exists() override { return !command.empty(); }
  bool Set(const std::string& program, const std::string& argument) override {
    if (refuseWrites) return false;
    command = program + " " + argument;
    return true;
  }
  bool Remove() override {
    command.clear();
    return true;
  }
  std::string command;
  bool refuseWrites = false;
};

// A Shell on the fake toolkit; Start() is left to the test so it can set the state first.
struct ShellFixture : testing::CoreFixture {
  ShellFixture() {
    state.debugViewEnabled = false;
    state.configPath = platform::JoinPath(dir.Path(), "config.ini");
    state.webUrl = "https://cashier.example/cashierWeb/#/pages/index/index";
    deployment.programPath = "C:\\Program Files\\Quorvel\\quorvel-print.exe";
    deployment.defaultServer = "default.example";
    deployment.cashierHomeUrl = "https://default.example/cashierWeb/#/pages/index/index";
    deployment.testHomePage = "https://www.example.com/";
  }

  Shell& Started() {
    shell = std::make_unique<Shell>(ShellContext{toolkit, services, printerList, uplink, autostart},
                                    deployment);
    shell->Start();
    return *shell;
  }
  ui::Window* Window(const std::string& title) const { return toolkit.WindowTitled(title); }
  template <typename T>
  T* Find(const std::string& title, const std::string& text) const {
    ui::Window* w = Window(title);
    return w == nullptr ? nullptr : toolkit.Find<T>(*w, text);
  }
  // Texts of the message boxes shown so far.
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : toolkit.Messages()) texts.push_back(m.box.text);
    return texts;
  }

  test::FakeToolkit toolkit;
  ListedPrinters printerList;
  RecordingUplink uplink;
  MemoryAutostart autostart;
  ShellDeployment deployment;
  std::unique_ptr<Shell> shell;
};

}  // namespace qv::shell
