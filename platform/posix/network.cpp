// Sockets and ICMP echo on Linux.
#include "platform/network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "platform/deadline.h"
#include "platform/posix/fd.h"

namespace qv::platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Waits for `events` on fd until the deadline; true when they are ready (or the socket has an
// error or hang-up the next call will report).
bool WaitFor(int fd, short events, const Deadline& deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int rc = ::poll(&p, 1, deadline.RemainingMs());
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool ParseIpv4(const std::string& text, in_addr& out) {
  return ::inet_pton(AF_INET, text.c_str(), &out) == 1;
}

// How long a close waits for the printer to end its side after ours.
constexpr int kFinishWaitMs = 500;
// How often a send blocked on a full buffer looks whether the printer still takes bytes.
constexpr int kProgressCheckMs = 50;

// Ends the connection the way a printer expects: our side says it is done, then whatever the
// printer still sends (a late status reply) is read until it closes too, for a bounded time.
// Closing outright with bytes unread, or receiving bytes after the close, makes the system
// reset the connection and throw away the part of the job still in the send buffer.
void FinishSending(int fd) {
  ::shutdown(fd, SHUT_WR);
  const Deadline deadline(kFinishWaitMs);
  char buffer[512];
  while (WaitFor(fd, POLLIN, deadline)) {
    ssize_t n;
    do {
      n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return;
  }
}

class PosixTcpConnection : public TcpConnection {
 public:
  explicit PosixTcpConnection(int fd) : fd_(fd) {}

  bool SendAll(std::string_view bytes, int idleMs, int limitMs) override {
    if (!fd_.Ok()) return false;
    const Deadline limit(limitMs);
    Deadline idle(idleMs);
    int queued = Queued();
    size_t sent = 0;
    while (sent < bytes.size()) {
      // The socket is non-blocking: try first, and wait only when its buffer is full.
      // MSG_NOSIGNAL: a printer that hangs up must fail this send, not kill the service.
      const ssize_t n = ::send(fd_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        idle = Deadline(idleMs);
        queued = Queued();
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (idle.Passed() || limit.Passed()) return false;
      // The buffer makes room again only once a third of it is free, which a slow printer
      // takes long to read; what it acknowledges meanwhile shows that it still reads.
      const int leftMs = Deadline::EarlierRemainingMs(idle, limit);
      const int waitMs = leftMs < 0 || leftMs > kProgressCheckMs ? kProgressCheckMs : leftMs;
      pollfd p{fd_.Get(), POLLOUT, 0};
      if (::poll(&p, 1, waitMs) < 0 && errno != EINTR) return false;
      const int now = Queued();
      if (now < queued) idle = Deadline(idleMs);
      queued = now;
    }
    return true;
  }

  std::string ReceiveOnce(int timeoutMs, size_t maxBytes) override {
    if (!fd_.Ok() || !WaitFor(fd_.Get(), POLLIN, Deadline(timeoutMs))) return std::string();
    std::string buffer(maxBytes, '\0');
    ssize_t n;
    do {
      n = ::recv(fd_.Get(), buffer.data(), buffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return std::string();
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }

  PeerEvent WaitForPeer(int waitMs) override {
    if (!fd_.Ok()) return PeerEvent::Reset;
    // poll() takes 0 as "do not wait"; our Deadline would read it as "no limit".
    pollfd p{fd_.Get(), POLLIN, 0};
    int rc;
    do {
      rc = ::poll(&p, 1, waitMs > 0 ? waitMs : 0);
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0) return PeerEvent::Nothing;
    char byte;
    ssize_t n;
    do {
      n = ::recv(fd_.Get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n > 0) return PeerEvent::Data;
    if (n == 0) return PeerEvent::Closed;
    return errno == EAGAIN || errno == EWOULDBLOCK ? PeerEvent::Nothing : PeerEvent::Reset;
  }

  Unacknowledged CountUnacknowledged() override {
    // SIOCOUTQ counts what is still queued to send plus what is sent but not acknowledged;
    // a printer that stopped reading leaves its unread part here once its window is full.
    const int queued = fd_.Ok() ? Queued() : -1;
    if (queued < 0) return {1, false};
    return {static_cast<size_t>(queued), true};
  }

  bool close() override {
    if (!fd_.Ok()) return false;
    FinishSending(fd_.Get());
    return fd_.Reset();
  }

  void Abort() override {
    if (!fd_.Ok()) return;
    // A zero linger makes the close send a reset and drop the send queue.
    const linger reset{1, 0};
    ::setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    fd_.Reset();
  }

 private:
  // Bytes sent and not yet acknowledged, or queued to send; -1 when the system cannot say.
  int Queued() const {
    int queued = 0;
    return ::ioctl(fd_.Get(), SIOCOUTQ, &queued) == 0 ? queued : -1;
  }

  Fd fd_;
};

uint16_t Checksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (size % 2) sum += static_cast<uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

bool Resolve(const std::string& host, in_addr& out) {
  if (ParseIpv4(host, out)) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
    return false;
  }
  out = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
  ::freeaddrinfo(result);
  return true;
}

// An ICMP socket: the unprivileged datagram kind when the system allows it (the kernel then
// fills in the identifier and strips the IP header), otherwise a raw one, which needs root.
struct IcmpSocket {
  Fd fd;
  bool raw = false;
};

bool OpenIcmpSocket(IcmpSocket& s) {
  s.fd = Fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
  if (s.fd.Ok()) return true;
  s.fd = Fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
  s.raw = true;
  return s.fd.Ok();
}

class PosixNetwork : public Network {
 public:
  std::unique_ptr<TcpConnection> ConnectTcp(const std::string& ipv4, int port,
                                            int timeoutMs) override {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (port < 1 || port > 65535 || !ParseIpv4(ipv4, addr.sin_addr)) return nullptr;
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Ok()) return nullptr;
    // Every operation is one complete command; send it now instead of holding it back until
    // the printer acknowledges the previous one.
    const int one = 1;
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      if (errno != EINPROGRESS) return nullptr;
      if (!WaitFor(fd.Get(), POLLOUT, Deadline(timeoutMs))) return nullptr;
      int error = 0;
      socklen_t size = sizeof error;
      if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        return nullptr;
      }
    }
    return std::make_unique<PosixTcpConnection>(fd.Release());
  }

  PingResult Ping(const std::string& host, int timeoutMs) override {
    in_addr target{};
    if (!Resolve(host, target)) return {};
    IcmpSocket s;
    if (!OpenIcmpSocket(s)) return {PingResult::Status::NoPermission, -1};

    const uint16_t id = static_cast<uint16_t>(::getpid());
    const uint16_t sequence = ++sequence_;
    uint8_t request[8] = {ICMP_ECHO,
                          0,
                          0,
                          0,
                          static_cast<uint8_t>(id >> 8),
                          static_cast<uint8_t>(id),
                          static_cast<uint8_t>(sequence >> 8),
                          static_cast<uint8_t>(sequence)};
    const uint16_t sum = Checksum(request, sizeof request);
    request[2] = static_cast<uint8_t>(sum >> 8);
    request[3] = static_cast<uint8_t>(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = target;
    const auto start = SteadyClock::now();
    if (::sendto(s.fd.Get(), request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) != static_cast<ssize_t>(sizeof request)) {
      return {};
    }
    const Deadline deadline(timeoutMs < 1 ? 1 : timeoutMs);
    uint8_t reply[1500];
    while (WaitFor(s.fd.Get(), POLLIN, deadline)) {
      sockaddr_in from{};
      socklen_t fromSize = sizeof from;
      const ssize_t n = ::recvfrom(s.fd.Get(), reply, sizeof reply, 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromSize);
      if (n <= 0 || from.sin_addr.s_addr != target.s_addr) continue;
      size_t offset = 0;
      if (s.raw) offset = static_cast<size_t>(reply[0] & 0x0f) * 4;  // skip the IP header
      if (static_cast<size_t>(n) < offset + 8) continue;
      const uint8_t* icmp = reply + offset;
      const uint16_t replyId = static_cast<uint16_t>(icmp[4] << 8 | icmp[5]);
      const uint16_t replySequence = static_cast<uint16_t>(icmp[6] << 8 | icmp[7]);
      // A raw socket also sees our own request on loopback and other processes' traffic.
      if (icmp[0] != ICMP_ECHOREPLY || replySequence != sequence || (s.raw && replyId != id)) {
        continue;
      }
      const auto elapsed =
          std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
      return {PingResult::Status::Reply, static_cast<int>(elapsed.count())};
    }
    return {};
  }

 private:
  uint16_t sequence_ = 0;
};

}  // namespace

std::unique_ptr<Network> Network::Create() { return std::make_unique<PosixNetwork>(); }

}  // namespace qv::platform
