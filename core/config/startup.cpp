#include "core/config/startup.h"

#include "core/config/config.h"
#include "core/config/data_folder.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace qv {
namespace {

constexpr char kSecondInstanceText[] = "程序已经有一个实例运行，如果找不到请在右下角系统托盘查看!";
constexpr char kSecondInstanceCaption[] = "友情提醒:";

void StartHelperProgram(const std::string& programDirectory, StartupEnvironment& env) {
  const std::string helper =
      platform::JoinPath(programDirectory, platform::ExecutableName("kestr"));
  if (platform::FileExists(helper)) env.LaunchDetached(helper, programDirectory);
}

void CreateLogDirectory(ProgramSettings& state, StartupEnvironment& env) {
  state.logDirectory = platform::JoinPath(state.dataDirectory, "log");
  if (platform::DirectoryExists(state.logDirectory)) return;
  if (!platform::MakeDirectory(state.logDirectory) && !state.launchedWithArgs) {
    env.ShowMessage("创建日志目录失败，请手动创建\r\n" + state.logDirectory, "提示");
  }
}

// One box at most about a store that is not configured. On the first start of a new till
// neither server nor store ID is set and 设置 opens by itself to ask for both (the service
// window does that when it finds no store ID), so a box would only stand in front of it.
void TellWhatIsMissing(const ServiceConfig& config, const ProgramSettings& state,
                       StartupEnvironment& env) {
  const bool settingsWillAsk =
      config.sid.empty() && state.autoRunService && !state.launchedWithArgs;
  if (settingsWillAsk) return;
  if (config.server.empty()) {
    env.ShowMessage("服务器地址为空,请在配置文件里填写", "信息：");
  } else if (config.sid.empty()) {
    env.ShowMessage("门店ID为空,请在配置文件里填写", "信息：");
  }
}

}  // namespace

StartOutcome RunStartSequence(const std::vector<std::string>& args,
                              const std::string& programDirectory, StartupEnvironment& env,
                              ServiceConfig& config, ProgramSettings& state,
                              std::unique_ptr<platform::InstanceLock>& instance) {
  instance = env.AcquireInstance(kInstanceName);
  if (!instance) {
    env.ShowMessage(kSecondInstanceText, kSecondInstanceCaption);
    return StartOutcome::SecondInstance;
  }

  state.macAddress = env.MacAddress();
  state.launchedWithArgs = !args.empty();
  state.programDirectory = programDirectory;
  StartHelperProgram(programDirectory, env);
  // The base of relative names stays the program directory even when the data lives
  // elsewhere: Windows also looks for libraries in the current directory, and the data folder
  // is one every user of the till may write.
  platform::ChangeDirectory(programDirectory);
  state.dataDirectory = FindDataDirectory(programDirectory, env.MachineDataDirectory());

  state.configPath = platform::JoinPath(state.dataDirectory, "config.ini");
  ReadStoreIdentity(state.configPath, config);
  ReadServiceSwitches(state.configPath, state);
  config.token = "null";
  CreateLogDirectory(state, env);
  ReadShellSettings(state.configPath, state);
  TellWhatIsMissing(config, state, env);
  return StartOutcome::Started;
}

}  // namespace qv
