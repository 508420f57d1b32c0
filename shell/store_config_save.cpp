#include "shell/store_config_save.h"

#include "core/config/config.h"
#include "platform/gbk.h"
#include "util/text.h"

namespace qv::shell {

SaveMessage MessageFor(SaveResult result) {
  switch (result) {
    case SaveResult::StoreIdRefused:
      return {"门店ID填写错误，请核对！", "错误"};
    case SaveResult::ServerCheckFailed:
      return {"连接到服务器失败，请核对！", "错误"};
    case SaveResult::Saved:
      return {"配置门店信息完成", "完成"};
    case SaveResult::NotPersisted:
      return {"配置门店信息完成，但写入配置文件失败，程序可能无读写文件权限", "错误"};
  }
  return {};
}

StoreConfigForm FillStoreConfigForm(const ServiceConfig& config, const ServiceState& state,
                                    const std::string& defaultServer, bool autostartExists,
                                    bool autoRun) {
  StoreConfigForm form;
  form.server = config.server.empty() ? defaultServer : config.server;
  form.storeId = config.sid;
  form.cut = state.print.autoCut;
  form.usbPort = state.print.usbFallbackPort;
  form.feedText = std::to_string(state.print.feedLines);
  form.autostart = autostartExists;
  form.autoRun = autoRun;
  return form;
}

namespace {

// Feed rows: the integer of the text, above 15 capped, below 0 back to the default 5.
int CorrectedFeed(const std::string& text) {
  const int value = TextToInt(text);
  if (value > 15) return 15;
  if (value < 0) return 5;
  return value;
}

}  // namespace

std::optional<SaveResult> SaveStoreOptions(StoreConfigForm& form, ServiceState& state,
                                           const std::string& defaultServer) {
  const std::string& ini = state.configPath;
  form.server = TrimSpaces(form.server);
  form.storeId = TrimSpaces(form.storeId);

  const PrintSettings print = CheckedPrintSettings({.feedLines = CorrectedFeed(form.feedText),
                                                    .usbFallbackPort = form.usbPort,
                                                    .autoCut = form.cut});
  form.feedText = std::to_string(print.feedLines);
  state.print = print;
  WritePrintSettings(ini, print);

  if (form.server.empty()) form.server = defaultServer;
  // The cloud derives its entry check from the GBK bytes of the store ID; IDs of four bytes
  // or fewer cannot be real.
  if (FromUtf8(form.storeId).size() <= 4) return SaveResult::StoreIdRefused;
  return std::nullopt;
}

ServiceConfig ServerCheckTarget(const StoreConfigForm& form, const ServiceConfig& config) {
  ServiceConfig candidate = config;
  candidate.server = form.server;
  candidate.sid = form.storeId;
  return candidate;
}

SaveResult AcceptStoreIdentity(const StoreConfigForm& form, bool checkPassed, ServiceConfig& config,
                               const ServiceState& state) {
  if (!checkPassed) return SaveResult::ServerCheckFailed;
  config.server = form.server;
  config.sid = form.storeId;
  return WriteStoreIdentity(state.configPath, config) ? SaveResult::Saved
                                                      : SaveResult::NotPersisted;
}

}  // namespace qv::shell
