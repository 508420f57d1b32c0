// The start sequence of the program, up to the point where the shell loads its windows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/config/settings.h"
#include "platform/instance_lock.h"

namespace qv {

// Name of the named event / lock file that marks the running instance.
inline constexpr char kInstanceName[] = "asifjslajgojglafs";

// What the start sequence needs from outside the service core.
class StartupEnvironment {
 public:
  virtual ~StartupEnvironment() = default;
  // Shows a task-modal message box with an OK button and returns when it is closed.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // The machine's MAC address text; empty when unknown.
  virtual std::string MacAddress() = 0;
  // Claims the single-instance name; nullptr when another instance runs.
  virtual std::unique_ptr<platform::InstanceLock> AcquireInstance(const std::string& name) = 0;
  // Starts a helper program without waiting; the result is ignored by the caller.
  virtual void LaunchDetached(const std::string& path, const std::string& workingDir) = 0;
  // The platform's per-machine data folder for an installed program; empty where none.
  virtual std::string MachineDataDirectory() = 0;
};

enum class StartOutcome {
  Started,         // the shell may load its windows now
  SecondInstance,  // another instance runs; the user was told and the program must end
};

// Runs the start sequence: single instance, MAC address, arguments, the optional helper
// program, the working directory, the data directory (beside the program or the machine's
// data folder, see FindDataDirectory), config.ini, at most one start-up message, the log
// directory.
// `instance` receives the single-instance claim, to be held for the life of the process.
StartOutcome RunStartSequence(const std::vector<std::string>& args,
                              const std::string& programDirectory, StartupEnvironment& env,
                              ServiceConfig& config, ProgramSettings& settings,
                              std::unique_ptr<platform::InstanceLock>& instance);

}  // namespace qv
