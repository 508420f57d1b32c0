#include "tests/fakes/loopback_printer.h"

#include <chrono>

// Test support runs on both systems; the few socket calls differ only in names.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketHandle = SOCKET;
using SocketLength = int;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
void CloseSocket(SocketHandle s) { closesocket(s); }
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketHandle = int;
using SocketLength = socklen_t;
constexpr SocketHandle kNoSocket = -1;
void CloseSocket(SocketHandle s) { ::close(s); }
#endif

namespace qv::testing {
namespace {

// Readable within timeoutMs.
bool Readable(SocketHandle s, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &limit) > 0;
}

void SendAll(SocketHandle s, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int n =
        static_cast<int>(send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0));
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

LoopbackPrinter::LoopbackPrinter(std::string address, int port, ReceiveBuffer buffer)
    : address_(std::move(address)), port_(port) {
#ifdef _WIN32
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
#endif
  SocketHandle s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kNoSocket) return;
  const int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
  // Set on the listener, the buffer size is inherited by the accepted connections.
  if (buffer == ReceiveBuffer::Small) {
    const int small = 4096;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<unsigned short>(port_));
  if (inet_pton(AF_INET, address_.c_str(), &addr.sin_addr) != 1 ||
      bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, SOMAXCONN) != 0) {
    CloseSocket(s);
    return;
  }
  listener_ = static_cast<long long>(s);
  listening_ = true;
  thread_ = std::thread([this] { Run(); });
}

LoopbackPrinter::~LoopbackPrinter() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listening_) CloseSocket(static_cast<SocketHandle>(listener_));
#ifdef _WIN32
  WSACleanup();
#endif
}

void LoopbackPrinter::Answer(std::string request, std::string reply) {
  std::lock_guard lock(mutex_);
  answers_.emplace_back(std::move(request), std::move(reply));
}

void LoopbackPrinter::AnswerAfter(int delayMs) {
  std::lock_guard lock(mutex_);
  answerDelayMs_ = delayMs;
}

void LoopbackPrinter::Stall() {
  std::lock_guard lock(mutex_);
  stalled_ = true;
}

void LoopbackPrinter::ReadSlowly(size_t chunk, int delayMs) {
  std::lock_guard lock(mutex_);
  chunk_ = chunk;
  delayMs_ = delayMs;
}

void LoopbackPrinter::CloseAfter(size_t bytes) {
  std::lock_guard lock(mutex_);
  closeAfter_ = bytes;
}

std::vector<std::string> LoopbackPrinter::Jobs() const {
  std::lock_guard lock(mutex_);
  return jobs_;
}

std::string LoopbackPrinter::Bytes() const {
  std::string all;
  for (const std::string& job : Jobs()) all += job;
  return all;
}

bool LoopbackPrinter::WaitForClosedJobs(size_t count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return closedJobs_ >= count; });
}

size_t LoopbackPrinter::ResetJobs() const {
  std::lock_guard lock(mutex_);
  return resetJobs_;
}

void LoopbackPrinter::Run() {
  const auto listener = static_cast<SocketHandle>(listener_);
  while (!stop_) {
    if (!Readable(listener, 20)) continue;
    const SocketHandle connection = accept(listener, nullptr, nullptr);
    if (connection == kNoSocket) continue;
    Serve(static_cast<long long>(connection));
  }
}

// One connection at a time, as a receipt printer serves them.
void LoopbackPrinter::Serve(long long handle) {
  const auto connection = static_cast<SocketHandle>(handle);
  size_t job;
  {
    std::lock_guard lock(mutex_);
    job = jobs_.size();
    jobs_.emplace_back();
  }
  size_t scanned = 0;  // bytes already searched for status requests
  std::string buffer;
  bool reset = false;
  while (!stop_) {
    size_t chunk;
    int delayMs;
    bool stalled;
    size_t closeAfter;
    {
      std::lock_guard lock(mutex_);
      chunk = chunk_;
      delayMs = delayMs_;
      stalled = stalled_;
      closeAfter = closeAfter_;
    }
    if (stalled) {
      Sleep(10);
      continue;
    }
    if (!Readable(connection, 20)) continue;
    buffer.resize(chunk);
    const int n = static_cast<int>(recv(connection, buffer.data(), static_cast<int>(chunk), 0));
    if (n < 0) reset = true;
    if (n <= 0) break;
    std::vector<std::string> replies;
    bool hangUp = false;
    int answerDelayMs;
    {
      std::lock_guard lock(mutex_);
      std::string& received = jobs_[job];
      received.append(buffer.data(), static_cast<size_t>(n));
      // Answer each request once, in the order the requests arrived.
      for (;;) {
        size_t first = std::string::npos;
        const std::pair<std::string, std::string>* match = nullptr;
        for (const auto& rule : answers_) {
          const size_t at = received.find(rule.first, scanned);
          if (at < first) {
            first = at;
            match = &rule;
          }
        }
        if (match == nullptr) break;
        replies.push_back(match->second);
        scanned = first + match->first.size();
      }
      hangUp = closeAfter > 0 && received.size() >= closeAfter;
      answerDelayMs = answerDelayMs_;
    }
    if (!replies.empty() && answerDelayMs > 0) Sleep(answerDelayMs);
    for (const std::string& reply : replies) SendAll(connection, reply);
    if (hangUp) break;
    if (delayMs > 0) Sleep(delayMs);
  }
  CloseSocket(connection);
  std::lock_guard lock(mutex_);
  ++closedJobs_;
  if (reset) ++resetJobs_;
  changed_.notify_all();
}

}  // namespace qv::testing
