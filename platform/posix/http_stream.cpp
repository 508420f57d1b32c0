#include "platform/posix/http_stream.h"

#include <mbedtls/net_sockets.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace qv::platform::posix {

struct TlsChannel {
  explicit TlsChannel(int socket) : fd(socket) { mbedtls_ssl_init(&ssl); }
  ~TlsChannel() { mbedtls_ssl_free(&ssl); }
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;
  size_t Ahead() const { return aheadEnd - aheadStart; }

  int fd;
  int lastErrno = 0;         // what the socket said when a callback failed
  bool established = false;  // handshake through and certificate accepted
  mbedtls_ssl_context ssl;
  // Bytes read from the socket before mbed TLS asked for them: it asks for a record's header
  // and then for its body, two receive calls for what one takes.
  unsigned char ahead[8192];
  size_t aheadStart = 0;
  size_t aheadEnd = 0;
};

namespace {

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

bool WantsIo(int result) {
  return result == MBEDTLS_ERR_SSL_WANT_READ || result == MBEDTLS_ERR_SSL_WANT_WRITE;
}

// Sent with MSG_NOSIGNAL: a peer that went is an error to handle, not a SIGPIPE.
int SendForTls(void* context, const unsigned char* data, size_t size) {
  auto& channel = *static_cast<TlsChannel*>(context);
  const ssize_t sent = ::send(channel.fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent >= 0) return static_cast<int>(sent);
  if (WouldBlock(errno)) return MBEDTLS_ERR_SSL_WANT_WRITE;
  channel.lastErrno = errno;
  return MBEDTLS_ERR_NET_SEND_FAILED;
}

int ReceiveForTls(void* context, unsigned char* data, size_t size) {
  auto& channel = *static_cast<TlsChannel*>(context);
  if (channel.Ahead() == 0) {
    const ssize_t got = ::recv(channel.fd, channel.ahead, sizeof channel.ahead, MSG_DONTWAIT);
    if (got == 0) return 0;  // the peer's end
    if (got < 0) {
      if (WouldBlock(errno)) return MBEDTLS_ERR_SSL_WANT_READ;
      channel.lastErrno = errno;
      return MBEDTLS_ERR_NET_RECV_FAILED;
    }
    channel.aheadStart = 0;
    channel.aheadEnd = static_cast<size_t>(got);
  }
  const size_t n = std::min(size, channel.Ahead());
  std::memcpy(data, channel.ahead + channel.aheadStart, n);
  channel.aheadStart += n;
  return static_cast<int>(n);
}

}  // namespace

int Wait::Ms() const {
  const int left = deadline.RemainingMs();
  if (left < 0) return idleMs;
  return idleMs < 0 ? left : std::min(idleMs, left);
}

HttpStream::HttpStream(Fd fd) : fd_(std::move(fd)) {}

HttpStream::~HttpStream() {
  // The goodbye is a courtesy: one try, no waiting for the peer's.
  if (tls_ && tls_->established) mbedtls_ssl_close_notify(&tls_->ssl);
}

Io HttpStream::WaitFor(short events, const Wait& wait, std::string& reason) {
  pollfd p{fd_.Get(), events, 0};
  for (;;) {
    const int ms = wait.Ms();
    const int ready = ms == 0 ? 0 : ::poll(&p, 1, ms);
    if (ready > 0) return Io::Ok;
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      reason = std::strerror(errno);
      return Io::Failed;
    }
    reason = wait.deadline.RemainingMs() == 0
                 ? std::string("超时（整个请求的时限已到）")
                 : "超时（" + std::to_string(wait.idleMs) + " 毫秒内没有进展）";
    return Io::TimedOut;
  }
}

Io HttpStream::TlsFailure(int result, const char* doing, std::string& reason) const {
  // Many servers close without the TLS goodbye; the body framing tells a cut-off answer apart.
  if (result == 0 || result == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY ||
      result == MBEDTLS_ERR_SSL_CONN_EOF) {
    return Io::Closed;
  }
  if (result == MBEDTLS_ERR_NET_SEND_FAILED || result == MBEDTLS_ERR_NET_RECV_FAILED) {
    reason = std::string(doing) + "：" + std::strerror(tls_->lastErrno);
    // A reset is the peer's way of ending too (a kept connection it had already dropped).
    return tls_->lastErrno == ECONNRESET ? Io::Closed : Io::Failed;
  }
  reason = std::string(doing) + "：" + TlsErrorText(result);
  return Io::Failed;
}

bool HttpStream::StartTls(TlsContext& context, const std::string& host, bool verify,
                          const TlsSession* session, const Wait& wait, std::string& reason) {
  tls_ = std::make_unique<TlsChannel>(fd_.Get());
  mbedtls_ssl_context* ssl = &tls_->ssl;
  int error = mbedtls_ssl_setup(ssl, context.Config());
  // Server name indication carries host names only.
  if (error == 0 && !IsIpAddress(host)) error = mbedtls_ssl_set_hostname(ssl, host.c_str());
  if (error != 0) {
    reason = "TLS 无法建立连接对象：" + TlsErrorText(error);
    return false;
  }
  // A session the server no longer knows only means a whole handshake.
  if (session != nullptr) mbedtls_ssl_set_session(ssl, &session->session);
  mbedtls_ssl_set_bio(ssl, tls_.get(), SendForTls, ReceiveForTls, nullptr);
  for (;;) {
    const int result = mbedtls_ssl_handshake(ssl);
    if (result == 0) break;
    if (WantsIo(result)) {
      const short events = result == MBEDTLS_ERR_SSL_WANT_READ ? POLLIN : POLLOUT;
      const Io waited = WaitFor(events, wait, reason);
      if (waited != Io::Ok) {
        reason = "TLS 握手未完成：" + reason;
        return false;
      }
      continue;
    }
    if (TlsFailure(result, "TLS 握手失败", reason) == Io::Closed) {
      reason = "TLS 握手时对方断开了连接";
    }
    return false;
  }
  if (verify && !context.Verify(mbedtls_ssl_get_peer_cert(ssl), host, reason)) return false;
  tls_->established = true;
  return true;
}

Io HttpStream::WriteAll(std::string_view bytes, const Wait& wait, std::string& reason) {
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
    short waitEvents = POLLOUT;
    if (tls_) {
      // A retried write must repeat the same bytes, which the loop does.
      const int sent =
          mbedtls_ssl_write(&tls_->ssl, reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<size_t>(chunk));
      if (sent > 0) {
        bytes.remove_prefix(static_cast<size_t>(sent));
        continue;
      }
      if (!WantsIo(sent)) {
        if (TlsFailure(sent, "发送失败", reason) == Io::Closed) reason = "发送时对方断开了连接";
        return Io::Failed;
      }
      if (sent == MBEDTLS_ERR_SSL_WANT_READ) waitEvents = POLLIN;
    } else {
      const ssize_t sent =
          ::send(fd_.Get(), bytes.data(), static_cast<size_t>(chunk), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<size_t>(sent));
        continue;
      }
      if (sent < 0 && !WouldBlock(errno)) {
        reason = std::string("发送失败：") + std::strerror(errno);
        return Io::Failed;
      }
    }
    const Io waited = WaitFor(waitEvents, wait, reason);
    if (waited != Io::Ok) return waited;
  }
  return Io::Ok;
}

Io HttpStream::ReadSome(char* buffer, size_t capacity, size_t& got, const Wait& wait,
                        std::string& reason) {
  got = 0;
  const int size = static_cast<int>(std::min<size_t>(capacity, INT_MAX));
  for (;;) {
    short waitEvents = POLLIN;
    if (tls_) {
      const int n = mbedtls_ssl_read(&tls_->ssl, reinterpret_cast<unsigned char*>(buffer),
                                     static_cast<size_t>(size));
      if (n > 0) {
        got = static_cast<size_t>(n);
        return Io::Ok;
      }
      if (!WantsIo(n)) return TlsFailure(n, "接收失败", reason);
      if (n == MBEDTLS_ERR_SSL_WANT_WRITE) waitEvents = POLLOUT;
    } else {
      const ssize_t n = ::recv(fd_.Get(), buffer, static_cast<size_t>(size), MSG_DONTWAIT);
      if (n > 0) {
        got = static_cast<size_t>(n);
        return Io::Ok;
      }
      if (n == 0) return Io::Closed;
      if (!WouldBlock(errno)) {
        reason = std::string("接收失败：") + std::strerror(errno);
        return errno == ECONNRESET ? Io::Closed : Io::Failed;
      }
    }
    const Io waited = WaitFor(waitEvents, wait, reason);
    if (waited != Io::Ok) return waited;
  }
}

bool HttpStream::IdleAndOpen() {
  // Bytes nobody asked for, or the end of the connection: TLS 1.2 sends nothing unasked.
  if (tls_ && (tls_->Ahead() > 0 || mbedtls_ssl_check_pending(&tls_->ssl) != 0)) return false;
  pollfd p{fd_.Get(), POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

std::unique_ptr<TlsSession> HttpStream::Session() const {
  if (!tls_ || !tls_->established) return nullptr;
  auto session = std::make_unique<TlsSession>();
  if (mbedtls_ssl_get_session(&tls_->ssl, &session->session) != 0) return nullptr;
  // Resumable only by an id or a ticket the server gave.
  if (session->session.id_len == 0 && session->session.ticket == nullptr) return nullptr;
  return session;
}

}  // namespace qv::platform::posix
