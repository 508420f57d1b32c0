#include "platform/posix/tcp_connect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qv::platform::posix {
namespace {

struct AddressListDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

// One name lookup, shared between the thread that runs it and the caller that may stop
// waiting for it: whoever lets go last frees the answer.
struct Lookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int code = 0;
  AddressList list;
};

std::string LookupFailure(const std::string& host, int code) {
  return "无法解析主机名 " + host + "：" + gai_strerror(code);
}

// getaddrinfo has no timeout of its own and a dead name server holds it for many seconds, so
// a name (not an address) is looked up on a thread of its own that the caller stops waiting
// for at the deadline.
AddressList Resolve(const std::string& host, int port, const Deadline& deadline,
                    std::string& reason) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  const std::string service = std::to_string(port);
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0) return AddressList(found);

  auto lookup = std::make_shared<Lookup>();
  hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
  std::thread([lookup, host, service, hints] {
    addrinfo* list = nullptr;
    const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    std::lock_guard lock(lookup->mutex);
    lookup->code = code;
    lookup->list.reset(list);
    lookup->done = true;
    lookup->finished.notify_one();
  }).detach();
  std::unique_lock lock(lookup->mutex);
  const int waitMs = deadline.RemainingMs();
  const auto isDone = [&] { return lookup->done; };
  if (waitMs < 0) {
    lookup->finished.wait(lock, isDone);
  } else if (!lookup->finished.wait_for(lock, std::chrono::milliseconds(waitMs), isDone)) {
    reason = "解析主机名 " + host + " 超时";
    return nullptr;
  }
  if (lookup->code != 0) {
    reason = LookupFailure(host, lookup->code);
    return nullptr;
  }
  return std::move(lookup->list);
}

// Starts a connection to one address; an unusable Fd with `error` set when it failed at once.
Fd StartConnect(const addrinfo* address, int& error) {
  Fd fd(::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.Ok()) {
    error = errno;
    return fd;
  }
  if (::connect(fd.Get(), address->ai_addr, address->ai_addrlen) == 0 || errno == EINPROGRESS) {
    return fd;
  }
  error = errno;
  return Fd();
}

}  // namespace

Fd ConnectTcp(const std::string& host, int port, const Deadline& deadline, std::string& reason) {
  AddressList list = Resolve(host, port, deadline, reason);
  if (!list) return Fd();
  // A host often has an IPv6 and an IPv4 address, and one of them may lead nowhere: the next
  // address starts after a short wait while the earlier ones keep trying, and the first that
  // connects wins.
  constexpr auto kNextAddressAfter = std::chrono::milliseconds(200);
  using Clock = std::chrono::steady_clock;
  std::vector<Fd> trying;
  const addrinfo* next = list.get();
  Clock::time_point nextAt = Clock::now();
  int error = ETIMEDOUT;
  for (;;) {
    if (next != nullptr && (trying.empty() || Clock::now() >= nextAt)) {
      Fd fd = StartConnect(next, error);
      next = next->ai_next;
      nextAt = Clock::now() + kNextAddressAfter;
      if (fd.Ok()) trying.push_back(std::move(fd));
      continue;
    }
    if (trying.empty()) break;
    int waitMs = deadline.RemainingMs();
    if (waitMs == 0) {
      error = ETIMEDOUT;
      break;
    }
    if (next != nullptr) {
      const auto untilNext =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextAt - Clock::now()).count();
      const int nextMs = static_cast<int>(std::max<long long>(untilNext, 0));
      waitMs = waitMs < 0 ? nextMs : std::min(waitMs, nextMs);
    }
    std::vector<pollfd> polls;
    for (const Fd& fd : trying) polls.push_back({fd.Get(), POLLOUT, 0});
    if (::poll(polls.data(), polls.size(), waitMs) < 0 && errno != EINTR) {
      error = errno;
      break;
    }
    for (size_t i = polls.size(); i-- > 0;) {
      if (polls[i].revents == 0) continue;
      int soError = 0;
      socklen_t size = sizeof soError;
      ::getsockopt(polls[i].fd, SOL_SOCKET, SO_ERROR, &soError, &size);
      if (soError == 0) {
        Fd connected = std::move(trying[i]);
        // The request head and body go out in one write; waiting to fill a segment would
        // only add the peer's delayed acknowledgement to every exchange.
        const int on = 1;
        ::setsockopt(connected.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return connected;
      }
      error = soError;
      trying.erase(trying.begin() + static_cast<long>(i));
    }
  }
  reason = "连接 " + host + ":" + std::to_string(port) + " 失败：" +
           (error == ETIMEDOUT ? std::string("超时") : std::strerror(error));
  return Fd();
}

}  // namespace qv::platform::posix
