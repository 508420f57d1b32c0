// Reading and writing config.ini (section "set").
#pragma once

#include <string>

#include "core/config/settings.h"

namespace qv {

// The host of the cashier web application this build was configured with.
std::string CashierWebHost();
// The cashier application's home page on `host`.
std::string CashierWebUrl(const std::string& host);
// The address the cashier window opens when config.ini names none.
std::string DefaultWebUrl();

// Reads `sid` and `server` into the configuration (trimmed of ASCII and full-width spaces).
void ReadStoreIdentity(const std::string& configPath, ServiceConfig& config);

// Reads `au_row`, `usbbak`, `au_c` (checked as CheckedPrintSettings says), `debug`, `time`
// (kept within 1..kMaxPollSeconds) and the TLS and port keys.
void ReadServiceSwitches(const std::string& configPath, ProgramSettings& settings);

// Reads `aurunpr` and `url`.
void ReadShellSettings(const std::string& configPath, ProgramSettings& settings);

// Writes the print settings (au_c, au_row, usbbak) back to config.ini; false when any key
// could not be written.
bool WritePrintSettings(const std::string& configPath, const PrintSettings& print);

// Writes the store identity (server, sid) back to config.ini; false when either could not be
// written.
bool WriteStoreIdentity(const std::string& configPath, const ServiceConfig& config);

// Writes `aurunpr` (whether the service starts by itself); false when it could not be written.
bool WriteAutoRunService(const std::string& configPath, bool on);

}  // namespace qv
