#include "core/config/config.h"

#include <algorithm>

#include "core/config/config_file.h"
#include "util/text.h"

#ifndef QV_CASHIER_WEB_HOST
#define QV_CASHIER_WEB_HOST "cashier.quorvel.com"
#endif

namespace qv {
namespace {

constexpr char kSection[] = "set";

}  // namespace

std::string DefaultWebUrl() {
  return std::string("https://") + QV_CASHIER_WEB_HOST + "/cashierWeb/#/pages/index/index";
}

void ReadStoreIdentity(const std::string& configPath, ServiceConfig& config) {
  const IniProfile ini = LoadProfile(configPath);
  config.sid = TrimSpaces(ini.Get(kSection, "sid", ""));
  config.server = TrimSpaces(ini.Get(kSection, "server", ""));
}

void ReadServiceSwitches(const std::string& configPath, ServiceState& state) {
  const IniProfile ini = LoadProfile(configPath);
  state.feedLines = TextToInt(ini.Get(kSection, "au_row", "5"));
  state.usbFallbackPort = TextToInt(ini.Get(kSection, "usbbak", "0"));
  state.debug = ini.Get(kSection, "debug", "0") == "1";
  state.pollSeconds = std::clamp(TextToInt(ini.Get(kSection, "time", "3")), 1, kMaxPollSeconds);
  state.autoCut = TextToInt(ini.Get(kSection, "au_c", "1")) == 1;
  state.extra.caFile = ini.Get(kSection, "ca_file", "");
  state.extra.tlsVerify = ini.Get(kSection, "tls_verify", "1") != "0";
  state.extra.lpt1Path = ini.Get(kSection, "lpt1", "");
  state.extra.lpt2Path = ini.Get(kSection, "lpt2", "");
}

void ReadShellSettings(const std::string& configPath, ServiceState& state) {
  const IniProfile ini = LoadProfile(configPath);
  state.autoRunService = ini.Get(kSection, "aurunpr", "1") == "1";
  state.webUrl = ini.Get(kSection, "url", DefaultWebUrl());
}

bool WriteConfigValue(const std::string& configPath, const std::string& key,
                      const std::string& value) {
  return WriteProfileValue(configPath, kSection, key, value);
}

}  // namespace qv
