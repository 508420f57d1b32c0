// quorvel-sim: the world the print service talks to, on loopback: a cloud API that hands out
// print tasks and collects reports, and ESC/POS network printers that show what they print.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "tools/sim/admin_server.h"
#include "tools/sim/cloud_server.h"
#include "tools/sim/demo_tasks.h"
#include "tools/sim/service_config.h"
#include "tools/sim/sim_log.h"
#include "tools/sim/sim_options.h"

#ifndef QV_SIM_SAMPLES_DIR
#define QV_SIM_SAMPLES_DIR "tools/sim/samples"
#endif

namespace qv::sim {
namespace {

// Everything one run of the simulator owns, stopped in reverse order of starting.
struct Simulator {
  SimOptions options;
  CertificateFiles certificates;
  std::unique_ptr<CloudState> cloud;
  FaultPlan faults;
  std::unique_ptr<CloudServer> cloudServer;
  std::unique_ptr<JobRecorder> jobs;
  std::vector<std::unique_ptr<VirtualPrinter>> printers;
  std::unique_ptr<AdminServer> admin;
  std::vector<std::string> samples;
  int demoQueued = 0;

  bool RunsCloud() const { return options.mode != SimMode::Printer; }
  bool RunsPrinters() const { return options.mode != SimMode::Cloud; }
  std::string CloudUrl() const { return "https://localhost:" + std::to_string(options.cloudPort); }

  std::string StartCloud();
  std::string StartPrinters();
  std::string StartAdmin();
  std::string WriteConfig();
  void QueueDemoTask();
  void Stop();
};

std::string Simulator::StartCloud() {
  std::string error =
      EnsureCertificates((std::filesystem::path(options.dir) / "certs").string(), certificates);
  if (!error.empty()) return error;
  Log("cloud", "certificate authority: " + certificates.caFile);
  // Scripts read this line to point the print service at the simulator's CA.
  std::printf("ca_file=%s\n", certificates.caFile.c_str());
  cloud = std::make_unique<CloudState>(options.sid, options.printers);
  for (const std::string& file : options.taskFiles) {
    std::string text;
    if (!ReadTextFile(file, text)) return "cannot read the task file " + file;
    AddTasksResult added = cloud->AddTasks(text);
    if (!added.error.empty()) return file + ": " + added.error;
    Log("cloud", "loaded " + std::to_string(added.keys.size()) + " task(s) from " + file);
  }
  if (options.mode == SimMode::Demo && options.demoTasks > 0) {
    std::string dir = options.samplesDir.empty() ? QV_SIM_SAMPLES_DIR : options.samplesDir;
    samples = LoadSampleTasks(dir, error);
    if (samples.empty()) return error;
    if (options.taskIntervalSeconds <= 0) {
      while (demoQueued < options.demoTasks) QueueDemoTask();
    }
  }
  CloudOptions cloudOptions;
  cloudOptions.host = options.cloudHost;
  cloudOptions.port = options.cloudPort;
  cloudOptions.entryWindowSeconds = options.entryWindowSeconds;
  cloudOptions.maxTasksPerPoll = options.maxTasksPerPoll;
  cloudServer = std::make_unique<CloudServer>(*cloud, faults, cloudOptions);
  error = cloudServer->Start(certificates);
  if (!error.empty()) return error;
  Log("cloud", "serving store " + options.sid + " at " + CloudUrl() + " (listening on " +
                   options.cloudHost + ":" + std::to_string(options.cloudPort) + ")");
  return "";
}

void Simulator::QueueDemoTask() {
  ++demoQueued;
  AddTasksResult added = cloud->AddTasks(DemoTask(samples, demoQueued));
  if (!added.error.empty()) {
    Log("demo", "sample task " + std::to_string(demoQueued) + ": " + added.error);
  } else {
    Log("demo", "queued task " + added.keys.front() + " (" + std::to_string(demoQueued) + "/" +
                    std::to_string(options.demoTasks) + ")");
  }
}

std::string Simulator::StartPrinters() {
  jobs = std::make_unique<JobRecorder>((std::filesystem::path(options.dir) / "jobs").string(),
                                       options.showReceipts);
  for (const std::string& address : options.printers) {
    PrinterState state;
    for (const auto& [target, settings] : options.printerSettings) {
      if (target != address) continue;
      std::string error = ApplyPrinterSettings(settings, state);
      if (!error.empty()) return error;
    }
    auto printer = std::make_unique<VirtualPrinter>(address, options.printerPort, state, *jobs);
    std::string error = printer->Start();
    if (!error.empty()) return "printer " + address + ": " + error;
    Log("printer " + address,
        "listening on port " + std::to_string(options.printerPort) + ", " + StateText(state));
    printers.push_back(std::move(printer));
  }
  return "";
}

std::string Simulator::StartAdmin() {
  if (options.adminPort == 0) return "";
  AdminTargets targets;
  targets.cloud = cloud.get();
  targets.faults = cloud ? &faults : nullptr;
  targets.jobs = jobs.get();
  for (auto& p : printers) targets.printers.push_back(p.get());
  if (cloud) {
    targets.cloudUrl = CloudUrl();
    targets.caFile = certificates.caFile;
  }
  admin = std::make_unique<AdminServer>(targets);
  std::string error = admin->Start(options.adminPort);
  if (error.empty()) {
    Log("admin", "http://127.0.0.1:" + std::to_string(options.adminPort) + "/");
  }
  return error;
}

std::string Simulator::WriteConfig() {
  if (options.writeConfigDir.empty() || !cloud) return "";
  ServiceConfigValues values;
  values.sid = options.sid;
  values.server = "localhost:" + std::to_string(options.cloudPort);
  values.caFile = options.winePaths ? WinePath(certificates.caFile) : certificates.caFile;
  values.pollSeconds = options.pollSeconds;
  values.url = options.adminPort ? "http://127.0.0.1:" + std::to_string(options.adminPort) + "/"
                                 : "about:blank";
  std::string error;
  std::string path = WriteServiceConfig(options.writeConfigDir, values, error);
  if (path.empty()) return error;
  Log("cloud", "wrote " + path);
  return "";
}

void Simulator::Stop() {
  if (admin) admin->Stop();
  if (cloudServer) cloudServer->Stop();
  for (auto& p : printers) p->Stop();
  if (cloud) {
    // What the cloud received stays readable after the run, for scripts that summarise it.
    Json records = Json::object();
    records["summary"] = cloud->Summary();
    records["tasks"] = cloud->Tasks();
    records["reports"] = cloud->Reports();
    records["printer_lists"] = cloud->PrinterLists();
    const auto path = std::filesystem::path(options.dir) / "cloud-records.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << JsonText(records, 1) << "\n";
    Log("cloud", "final: " + JsonText(records["summary"]) + "; records in " + path.string());
  }
  if (jobs) Log("printer", "final: " + std::to_string(jobs->Jobs().size()) + " job(s) received");
}

int Run(const std::vector<std::string>& args) {
  Simulator sim;
  std::string error = ParseOptions(args, sim.options);
  if (error == "help") {
    std::fputs(Usage().c_str(), stdout);
    return args.empty() ? 2 : 0;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "quorvel-sim: %s\n(see quorvel-sim --help)\n", error.c_str());
    return 2;
  }

  // Signals are taken by sigtimedwait below: block them before any thread starts, so that
  // every thread inherits the mask and none is interrupted in the middle of a job.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  if (sim.RunsCloud() && error.empty()) error = sim.StartCloud();
  if (sim.RunsPrinters() && error.empty()) error = sim.StartPrinters();
  if (error.empty()) error = sim.StartAdmin();
  if (error.empty()) error = sim.WriteConfig();
  if (!error.empty()) {
    Log("sim", "cannot start: " + error);
    sim.Stop();
    return 1;
  }
  Log("sim", "ready; stop with Ctrl+C");

  const timespec tick{0, 200'000'000};
  auto nextTask = std::chrono::steady_clock::now();
  for (;;) {
    int sig = sigtimedwait(&signals, nullptr, &tick);
    if (sig == SIGINT || sig == SIGTERM) {
      Log("sim", std::string("stopping on ") + (sig == SIGINT ? "SIGINT" : "SIGTERM"));
      break;
    }
    // The demo may trickle its tasks in, as orders arrive in a restaurant.
    if (sim.options.taskIntervalSeconds > 0 && !sim.samples.empty() &&
        sim.demoQueued < sim.options.demoTasks && std::chrono::steady_clock::now() >= nextTask) {
      sim.QueueDemoTask();
      nextTask +=
          std::chrono::milliseconds(static_cast<int64_t>(sim.options.taskIntervalSeconds * 1000));
    }
  }
  sim.Stop();
  Log("sim", "stopped");
  return 0;
}

}  // namespace
}  // namespace qv::sim

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return qv::sim::Run(args);
}
