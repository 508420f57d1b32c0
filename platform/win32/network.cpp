// Sockets (Winsock) and ICMP echo (IcmpSendEcho) on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>
// The ICMP headers after winsock2, in this order: each needs the types of the one before.
#include <iphlpapi.h>

#include <ipexport.h>

#include <icmpapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/deadline.h"
#include "platform/network.h"
#include "platform/unique_handle.h"

namespace qv::platform {
namespace {

struct SocketTraits {
  using Value = SOCKET;
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static bool Usable(SOCKET s) { return s != INVALID_SOCKET; }
  static bool Close(SOCKET s) { return closesocket(s) == 0; }
};

// Owns a socket.
using Socket = UniqueHandle<SocketTraits>;

enum class Readiness { Read, Write };

// select() until the socket is ready or the deadline passes. A reset or a close by the peer
// makes a socket readable. For writes, a failed non-blocking connect shows only in the
// exception set; it counts as ready so the caller's next call reports the error. A read wait
// lists the socket in one set only: Wine's server (8.0) can abort on an assertion when one
// socket signals in two sets of the same select, which took the whole Wine session down
// after a printer closed its side.
bool WaitFor(SOCKET s, Readiness what, const Deadline& deadline) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  if (what == Readiness::Write) FD_SET(s, &failed);
  timeval limit{};
  if (!deadline.Unlimited()) {
    const long ms = deadline.RemainingMs();
    limit.tv_sec = ms / 1000;
    limit.tv_usec = (ms % 1000) * 1000;
  }
  const int rc = select(
      0, what == Readiness::Read ? &ready : nullptr, what == Readiness::Write ? &ready : nullptr,
      what == Readiness::Write ? &failed : nullptr, deadline.Unlimited() ? nullptr : &limit);
  return rc > 0;
}

bool ParseIpv4(const std::string& text, in_addr& out) {
  return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

// How long a close waits for the printer to end its side after ours.
constexpr int kFinishWaitMs = 500;

// Ends the connection the way a printer expects: our side says it is done, then whatever the
// printer still sends (a late status reply) is read until it closes too, for a bounded time.
// Closing outright with bytes unread, or receiving bytes after the close, makes the system
// reset the connection and throw away the part of the job still in the send buffer.
void FinishSending(SOCKET s) {
  shutdown(s, SD_SEND);
  const Deadline deadline(kFinishWaitMs);
  char buffer[512];
  while (WaitFor(s, Readiness::Read, deadline)) {
    if (recv(s, buffer, sizeof buffer, 0) <= 0) return;
  }
}

class WinsockConnection : public TcpConnection {
 public:
  explicit WinsockConnection(SOCKET s) : socket_(s) {}

  bool SendAll(std::string_view bytes, int idleMs, int limitMs) override {
    if (!socket_.Ok()) return false;
    const Deadline limit(limitMs);
    Deadline idle(idleMs);
    size_t sent = 0;
    while (sent < bytes.size()) {
      // The socket is non-blocking: try first, and wait only when its buffer is full. Without
      // a send buffer (see ConnectTcp) it is writable again once the printer acknowledged the
      // last send, so each send that goes through is the printer's progress.
      const size_t chunk = std::min<size_t>(bytes.size() - sent, 1 << 30);
      const int n = send(socket_.Get(), bytes.data() + sent, static_cast<int>(chunk), 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        idle = Deadline(idleMs);
        continue;
      }
      if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) return false;
      if (idle.Passed() || limit.Passed()) return false;
      if (!WaitFor(socket_.Get(), Readiness::Write,
                   Deadline(Deadline::EarlierRemainingMs(idle, limit)))) {
        return false;
      }
    }
    return true;
  }

  std::string ReceiveOnce(int timeoutMs, size_t maxBytes) override {
    if (!socket_.Ok() || !WaitFor(socket_.Get(), Readiness::Read, Deadline(timeoutMs))) {
      return std::string();
    }
    std::string buffer(maxBytes, '\0');
    const int n = recv(socket_.Get(), buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n <= 0) return std::string();
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }

  PeerEvent WaitForPeer(int waitMs) override {
    if (!socket_.Ok()) return PeerEvent::Reset;
    // A wait of 0 is "do not wait" here; our Deadline would read it as "no limit".
    if (!WaitFor(socket_.Get(), Readiness::Read, Deadline(waitMs > 0 ? waitMs : 1))) {
      return PeerEvent::Nothing;
    }
    char byte;
    const int n = recv(socket_.Get(), &byte, 1, MSG_PEEK);
    if (n > 0) return PeerEvent::Data;
    if (n == 0) return PeerEvent::Closed;
    return WSAGetLastError() == WSAEWOULDBLOCK ? PeerEvent::Nothing : PeerEvent::Reset;
  }

  Unacknowledged CountUnacknowledged() override {
    // With the zero send buffer set at connect, a send is complete only once the peer has
    // acknowledged it, and the socket reports writable only then: writable after the last
    // send means every byte is acknowledged. (Wine maps the zero buffer to the host's
    // smallest one, which is only close to this.) Winsock gives no count.
    if (!socket_.Ok()) return {1, false};
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket_.Get(), &ready);
    timeval now{};
    return {select(0, nullptr, &ready, nullptr, &now) > 0 ? 0u : 1u, false};
  }

  bool close() override {
    if (!socket_.Ok()) return false;
    FinishSending(socket_.Get());
    return socket_.Reset();
  }

  void Abort() override {
    if (!socket_.Ok()) return;
    // A zero linger makes the close abortive: a reset, and the send queue dropped.
    const linger reset{1, 0};
    setsockopt(socket_.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
               sizeof reset);
    socket_.Reset();
  }

 private:
  Socket socket_;
};

struct IcmpTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Usable(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return IcmpCloseHandle(h) != 0; }
};

// Owns an ICMP handle.
using IcmpHandle = UniqueHandle<IcmpTraits>;

bool Resolve(const std::string& host, in_addr& out) {
  if (ParseIpv4(host, out)) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
    return false;
  }
  out = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
  freeaddrinfo(result);
  return true;
}

class WinsockNetwork : public Network {
 public:
  WinsockNetwork() { started_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~WinsockNetwork() override {
    if (started_) WSACleanup();
  }

  std::unique_ptr<TcpConnection> ConnectTcp(const std::string& ipv4, int port,
                                            int timeoutMs) override {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    if (!started_ || port < 1 || port > 65535 || !ParseIpv4(ipv4, addr.sin_addr)) {
      return nullptr;
    }
    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s.Ok()) return nullptr;
    u_long nonBlocking = 1;
    if (ioctlsocket(s.Get(), FIONBIO, &nonBlocking) != 0) return nullptr;
    // Every operation is one complete command; send it now instead of holding it back until
    // the printer acknowledges the previous one.
    const BOOL noDelay = TRUE;
    setsockopt(s.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    // No send buffer: a send completes only when the printer has acknowledged its bytes, so
    // what the printer has not taken is never mistaken for delivered (see CountUnacknowledged()).
    const int noBuffer = 0;
    setsockopt(s.Get(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&noBuffer),
               sizeof noBuffer);
    if (connect(s.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      if (WSAGetLastError() != WSAEWOULDBLOCK) return nullptr;
      if (!WaitFor(s.Get(), Readiness::Write, Deadline(timeoutMs))) return nullptr;
      int error = 0;
      int size = sizeof error;
      if (getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 ||
          error != 0) {
        return nullptr;
      }
    }
    return std::make_unique<WinsockConnection>(s.Release());
  }

  PingResult Ping(const std::string& host, int timeoutMs) override {
    in_addr target{};
    if (!started_ || !Resolve(host, target)) return {};
    const IcmpHandle icmp(IcmpCreateFile());
    if (!icmp.Ok()) return {PingResult::Status::NoPermission, -1};
    // Room for one reply without payload, plus the error information the call may add.
    std::vector<char> reply(sizeof(ICMP_ECHO_REPLY) + 8 + 32);
    char payload = 0;
    const DWORD count = IcmpSendEcho(icmp.Get(), target.S_un.S_addr, &payload, 0, nullptr,
                                     reply.data(), static_cast<DWORD>(reply.size()),
                                     static_cast<DWORD>(timeoutMs < 1 ? 1 : timeoutMs));
    if (count == 0) {
      if (GetLastError() == ERROR_ACCESS_DENIED) return {PingResult::Status::NoPermission, -1};
      return {};
    }
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    if (echo->Status != IP_SUCCESS) return {};
    return {PingResult::Status::Reply, static_cast<int>(echo->RoundTripTime)};
  }

 private:
  WSADATA data_{};
  bool started_ = false;
};

}  // namespace

std::unique_ptr<Network> Network::Create() { return std::make_unique<WinsockNetwork>(); }

}  // namespace qv::platform
