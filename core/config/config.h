// Reading and writing config.ini (section "set").
#pragma once

#include <cstdint>
#include <string>

#include "core/service/service_state.h"

namespace qv {

// The longest interval `time` may set between two polls: one day. A longer one would only hold
// tickets back from the shop, and a day still fits every 32-bit count the interval feeds, in
// seconds or in milliseconds (86 400 000), and the date of the next poll.
inline constexpr int32_t kMaxPollSeconds = 86400;

// The address the cashier window opens when config.ini names none.
std::string DefaultWebUrl();

// Reads `sid` and `server` into the configuration (trimmed of ASCII and full-width spaces).
void ReadStoreIdentity(const std::string& configPath, ServiceConfig& config);

// Reads `au_row`, `usbbak`, `debug`, `time` (kept within 1..kMaxPollSeconds), `au_c` and the
// TLS and port keys.
void ReadServiceSwitches(const std::string& configPath, ServiceState& state);

// Reads `aurunpr` and `url`.
void ReadShellSettings(const std::string& configPath, ServiceState& state);

// Writes one key of section "set" back to config.ini (GBK), keeping every other line;
// false when the file could not be written.
bool WriteConfigValue(const std::string& configPath, const std::string& key,
                      const std::string& value);

}  // namespace qv
