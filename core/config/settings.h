// The settings of the program, as the start sequence and config.ini give them. Values only:
// whoever holds one owns it; the service gets copies and never a reference into another's.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The longest interval `time` may set between two polls: one day. A longer one would only hold
// tickets back from the shop, and a day still fits every 32-bit count the interval feeds, in
// seconds or in milliseconds (86 400 000), and the date of the next poll.
inline constexpr int32_t kMaxPollSeconds = 86400;
// Blank lines fed after each copy: at most 15, 5 when nothing says otherwise.
inline constexpr int32_t kMaxFeedLines = 15;
inline constexpr int32_t kDefaultFeedLines = 5;

// The store the requests go to; every cloud request copies these when it is handed to a lane.
struct ServiceConfig {
  std::string server;  // cloud API host (optionally with port), without scheme
  std::string token;   // value of the X-Token header: "null"
  std::string sid;     // store ID; empty means the store is not configured
};

// Settings that are not part of the cashier configuration proper but are read from the
// same file: TLS trust and the device paths of the parallel ports on Linux. Fixed once read.
struct ExtraSettings {
  std::string caFile;     // PEM file of extra trusted roots; empty for none
  bool tlsVerify = true;  // false only when config.ini says tls_verify=0
  std::string lpt1Path;   // device behind "LPT1" (Linux); empty for the default
  std::string lpt2Path;   // device behind "LPT2" (Linux); empty for the default
};

// How tickets print. Read from config.ini and replaced whole when 设置 saves; each value is
// within its limits once made by CheckedPrintSettings, so the printer lane takes it as it is.
struct PrintSettings {
  int32_t feedLines = kDefaultFeedLines;  // at most kMaxFeedLines; 0 or less feeds one line
  int32_t usbFallbackPort = 0;            // 1 or 2 prints spooler tasks on that LPT port
  bool autoCut = true;

  bool operator==(const PrintSettings&) const = default;
};

// `raw` with its limits applied: a feed above kMaxFeedLines is lowered to it.
PrintSettings CheckedPrintSettings(PrintSettings raw);

// What the start sequence finds out and config.ini says, for the life of the process (only
// `print` changes, when 设置 saves).
struct ProgramSettings {
  std::string macAddress;
  bool launchedWithArgs = false;
  std::string programDirectory;
  // Holds config.ini, log, the task journal and the printer list export: the program
  // directory, or the machine's data folder for an installed program (core/config/data_folder.h).
  std::string dataDirectory;
  std::string configPath;
  std::string logDirectory;
  bool debug = false;
  int32_t pollSeconds = 3;
  bool autoRunService = true;
  std::string webUrl;
  ExtraSettings extra;
  PrintSettings print;
};

}  // namespace qv
