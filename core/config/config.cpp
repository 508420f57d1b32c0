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

std::string CashierWebHost() { return QV_CASHIER_WEB_HOST; }

std::string CashierWebUrl(const std::string& host) {
  return "https://" + host + "/cashierWeb/#/pages/index/index";
}

std::string DefaultWebUrl() { return CashierWebUrl(CashierWebHost()); }

PrintSettings CheckedPrintSettings(PrintSettings raw) {
  raw.feedLines = std::min(raw.feedLines, kMaxFeedLines);
  return raw;
}

void ReadStoreIdentity(const std::string& configPath, ServiceConfig& config) {
  const IniProfile ini = LoadProfile(configPath);
  config.sid = TrimSpaces(ini.Get(kSection, "sid", ""));
  config.server = TrimSpaces(ini.Get(kSection, "server", ""));
}

void ReadServiceSwitches(const std::string& configPath, ProgramSettings& state) {
  const IniProfile ini = LoadProfile(configPath);
  state.print =
      CheckedPrintSettings({.feedLines = TextToInt(ini.Get(kSection, "au_row", "5")),
                            .usbFallbackPort = TextToInt(ini.Get(kSection, "usbbak", "0")),
                            .autoCut = TextToInt(ini.Get(kSection, "au_c", "1")) == 1});
  state.debug = ini.Get(kSection, "debug", "0") == "1";
  state.pollSeconds = std::clamp(TextToInt(ini.Get(kSection, "time", "3")), 1, kMaxPollSeconds);
  state.extra.caFile = ini.Get(kSection, "ca_file", "");
  state.extra.tlsVerify = ini.Get(kSection, "tls_verify", "1") != "0";
  state.extra.lpt1Path = ini.Get(kSection, "lpt1", "");
  state.extra.lpt2Path = ini.Get(kSection, "lpt2", "");
}

void ReadShellSettings(const std::string& configPath, ProgramSettings& state) {
  const IniProfile ini = LoadProfile(configPath);
  state.autoRunService = ini.Get(kSection, "aurunpr", "1") == "1";
  state.webUrl = ini.Get(kSection, "url", DefaultWebUrl());
}

bool WritePrintSettings(const std::string& configPath, const PrintSettings& print) {
  // Every key is tried even when one fails, as each stands alone in the file.
  bool written = WriteProfileValue(configPath, kSection, "au_c", print.autoCut ? "1" : "0");
  written &= WriteProfileValue(configPath, kSection, "au_row", std::to_string(print.feedLines));
  written &=
      WriteProfileValue(configPath, kSection, "usbbak", std::to_string(print.usbFallbackPort));
  return written;
}

bool WriteStoreIdentity(const std::string& configPath, const ServiceConfig& config) {
  return WriteProfileValue(configPath, kSection, "server", config.server) &&
         WriteProfileValue(configPath, kSection, "sid", config.sid);
}

bool WriteAutoRunService(const std::string& configPath, bool on) {
  return WriteProfileValue(configPath, kSection, "aurunpr", on ? "1" : "0");
}

}  // namespace qv
