#include "core/startup.h"

#include "core/config.h"
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

void CreateLogDirectory(ServiceState& state, StartupEnvironment& env) {
  state.logDirectory = platform::JoinPath(state.programDirectory, "log");
  if (platform::DirectoryExists(state.logDirectory)) return;
  if (!platform::MakeDirectory(state.logDirectory) && !state.launchedWithArgs) {
    env.ShowMessage("创建日志目录失败，请手动创建\r\n" + state.logDirectory, "提示");
  }
}

}  // namespace

StartOutcome RunStartSequence(const std::vector<std::string>& args,
                              const std::string& programDirectory, StartupEnvironment& env,
                              ServiceConfig& config, ServiceState& state,
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
  platform::ChangeDirectory(programDirectory);

  state.configPath = platform::JoinPath(programDirectory, "config.ini");
  ReadStoreIdentity(state.configPath, config);
  if (config.server.empty()) env.ShowMessage("服务器地址为空,请在配置文件里填写", "信息：");
  if (config.sid.empty()) env.ShowMessage("门店ID为空,请在配置文件里填写", "信息：");

  ReadServiceSwitches(state.configPath, state);
  config.token = "null";
  CreateLogDirectory(state, env);
  ReadShellSettings(state.configPath, state);
  return StartOutcome::Started;
}

}  // namespace qv
