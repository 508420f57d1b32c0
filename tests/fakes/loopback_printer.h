// A network receipt printer stand-in: a TCP listener on a loopback address (port 9100 by
// default) served by a thread of the test. It records every byte of every connection, can
// answer status requests, and can misbehave the way real printers do: stop reading (paper
// jam), read slowly, or hang up in the middle of a job.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv::testing {

class LoopbackPrinter {
 public:
  // Small receive buffers make a stalled or slow reader block the sender after a few
  // kilobytes; they also slow every job down, so only tests of those cases ask for them.
  enum class ReceiveBuffer { System, Small };

  // Listens on address:port (a 127.x.y.z address). Check Listening() before use.
  explicit LoopbackPrinter(std::string address = "127.0.0.1", int port = 9100,
                           ReceiveBuffer buffer = ReceiveBuffer::System);
  ~LoopbackPrinter();
  LoopbackPrinter(const LoopbackPrinter&) = delete;
  LoopbackPrinter& operator=(const LoopbackPrinter&) = delete;

  bool Listening() const { return listening_; }
  const std::string& Address() const { return address_; }
  int Port() const { return port_; }

  // Each time `request` arrives in a connection's stream, `reply` is sent back.
  void Answer(std::string request, std::string reply);
  // Replies go out `delayMs` after their request was read (a printer busy with earlier work).
  void AnswerAfter(int delayMs);
  // Stops reading: the sender's buffers fill and its sends block.
  void Stall();
  // Reads at most `chunk` bytes every `delayMs` milliseconds.
  void ReadSlowly(size_t chunk, int delayMs);
  // Hangs up a connection once it has received `bytes` bytes.
  void CloseAfter(size_t bytes);

  // Bytes of each connection in order of arrival (the current one included).
  std::vector<std::string> Jobs() const;
  // All bytes received, joined.
  std::string Bytes() const;
  // Waits until `count` connections have ended (peer closed or hung up by us).
  bool WaitForClosedJobs(size_t count, int timeoutMs) const;
  // Connections that ended in a reset from the sender rather than an orderly end.
  size_t ResetJobs() const;

 private:
  void Run();
  void Serve(long long connection);

  std::string address_;
  int port_;
  bool listening_ = false;
  long long listener_ = -1;
  std::atomic<bool> stop_{false};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::pair<std::string, std::string>> answers_;
  std::vector<std::string> jobs_;
  size_t closedJobs_ = 0;
  size_t resetJobs_ = 0;
  bool stalled_ = false;
  size_t chunk_ = 65536;
  int delayMs_ = 0;
  int answerDelayMs_ = 0;
  size_t closeAfter_ = 0;

  std::thread thread_;
};

}  // namespace qv::testing
