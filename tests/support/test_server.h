// Finds the loopback test server that the ctest fixture "https_server" started
// (tests/support/https_server_fixture.sh): its ports and the CA file that signs its
// certificate for "localhost". Test programs get the state directory in QV_TEST_HTTPS_DIR.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace qv::test {

struct TestServer {
  bool found = false;
  int httpsPort = 0;
  int httpPort = 0;
  std::string caFile;  // PEM of the test root that signed the server certificate

  std::string Https(const std::string& path) const {
    return "https://localhost:" + std::to_string(httpsPort) + path;
  }
  std::string Http(const std::string& path) const {
    return "http://localhost:" + std::to_string(httpPort) + path;
  }
  // host:port as a cloud server setting.
  std::string HttpsHost() const { return "localhost:" + std::to_string(httpsPort); }
  // The port that serves the fixture's certificate `name` (certs/NAME.pem); 0 when none.
  int CertPort(const std::string& name) const {
    std::ifstream lines(stateDir + "/cert_ports");
    std::string listed;
    int port = 0;
    while (lines >> listed >> port) {
      if (listed == name) return port;
    }
    return 0;
  }
  std::string stateDir;
};

inline TestServer FindTestServer() {
  TestServer server;
  const char* dir = std::getenv("QV_TEST_HTTPS_DIR");
  if (dir == nullptr || *dir == '\0') return server;
  std::ifstream ports(std::string(dir) + "/ports");
  if (!(ports >> server.httpsPort >> server.httpPort)) return server;
  server.stateDir = dir;
  server.caFile = server.stateDir + "/ca.pem";
  server.found = true;
  return server;
}

}  // namespace qv::test
