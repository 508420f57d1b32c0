// Writes the config.ini that points the print service at the simulator.
#pragma once

#include <string>

namespace qv::sim {

struct ServiceConfigValues {
  std::string sid;
  std::string server;  // "localhost:8443": the certificate names localhost, not 127.0.0.1
  std::string caFile;
  std::string url;  // the page the cashier window opens
  int pollSeconds = 2;
};

// The path a Windows program under Wine uses for a Linux path: drive Z: is the root.
std::string WinePath(const std::string& linuxPath);

// Writes `dir`/config.ini (section [set], GBK, CRLF), creating `dir` if needed; returns the
// path, or an empty text with `error` set.
std::string WriteServiceConfig(const std::string& dir, const ServiceConfigValues& values,
                               std::string& error);

}  // namespace qv::sim
