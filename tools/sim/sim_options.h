// The command line of quorvel-sim.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/sim/cloud_state.h"

namespace qv::sim {

enum class SimMode { Cloud, Printer, Demo };

struct SimOptions {
  SimMode mode = SimMode::Demo;
  std::string dir = "sim-state";  // certificates, printer jobs
  // Cloud.
  std::string sid = "20260001";
  std::string cloudHost = "127.0.0.1";
  int cloudPort = 8443;
  int adminPort = 8480;  // 0: no admin interface
  int entryWindowSeconds = 300;
  int maxTasksPerPoll = 10;
  std::vector<std::string> taskFiles;
  std::string writeConfigDir;
  int pollSeconds = 2;     // `time` written into config.ini
  bool winePaths = false;  // write ca_file as a Z: path for the Windows build under Wine
  // Printers.
  std::vector<std::string> printers = {"127.0.0.11", "127.0.0.12"};
  int printerPort = 9100;
  std::vector<std::pair<std::string, Json>> printerSettings;  // address -> settings
  bool showReceipts = true;
  // Demo.
  int demoTasks = 6;
  double taskIntervalSeconds = 0;
  std::string samplesDir;
};

// Fills `options` from the arguments after the program name. Returns an empty text on
// success, "help" when help was asked for, the error otherwise.
std::string ParseOptions(const std::vector<std::string>& args, SimOptions& options);

std::string Usage();

}  // namespace qv::sim
