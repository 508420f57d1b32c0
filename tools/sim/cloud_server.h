// The simulated cloud API: an HTTPS server for the three endpoints of the print service.
// It checks each request as the real cloud would (store, time-stamped `entry`, form body,
// printer list checksum), answers from CloudState and suffers the faults of the FaultPlan.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim/certificates.h"
#include "tools/sim/cloud_state.h"
#include "tools/sim/fault_plan.h"

namespace httplib {
class SSLServer;
struct Request;
struct Response;
}  // namespace httplib

namespace qv::sim {

struct CloudOptions {
  std::string host = "127.0.0.1";
  int port = 8443;
  int64_t entryWindowSeconds = 300;  // how far the `entry` time may be from now
  int maxTasksPerPoll = 10;
};

class CloudServer {
 public:
  CloudServer(CloudState& state, FaultPlan& faults, CloudOptions options);
  ~CloudServer();

  // Binds the port and serves on a thread of its own; empty text on success.
  std::string Start(const CertificateFiles& certificates);
  // Stops serving; answers under way are cut short (slow answers end at once).
  void Stop();

  // Answers one request to `endpoint` ("wait", "report", "chk"); public for the tests.
  void Handle(const httplib::Request& req, httplib::Response& res, const std::string& endpoint);

 private:
  // Checks the envelope of every endpoint; returns the refusal reason or empty.
  std::string CheckEnvelope(const httplib::Request& req, Json& record);
  void AnswerWait(const httplib::Request& req, httplib::Response& res, Json& record);
  void AnswerReport(const httplib::Request& req, httplib::Response& res, Json& record);
  void AnswerChk(const httplib::Request& req, httplib::Response& res, Json& record);
  bool ApplyFault(const Fault& fault, const std::string& endpoint, httplib::Response& res,
                  Json& record);
  void AnswerTrickling(int bytesPerSecond, httplib::Response& res);
  void AnswerHuge(size_t size, httplib::Response& res);
  void SleepMs(int ms);
  std::unique_ptr<httplib::SSLServer> MakeServer(const CertificateFiles& certificates);

  CloudState& state_;
  FaultPlan& faults_;
  CloudOptions options_;
  std::vector<std::unique_ptr<httplib::SSLServer>> servers_;  // IPv4, and ::1 for localhost
  std::vector<std::thread> threads_;
  std::atomic<bool> stopping_{false};
};

// The answer object for `code` with a message.
Json CodeAnswer(int code, const std::string& msg);

}  // namespace qv::sim
