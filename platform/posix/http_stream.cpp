#include "platform/posix/http_stream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace qv::platform::posix {
namespace {

int FdOf(BIO* bio) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

// OpenSSL's socket BIO writes with write(), which raises SIGPIPE when the peer has gone; this
// one sends with MSG_NOSIGNAL so a closed connection is an error to handle, not a dead process.
int BioWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  const ssize_t sent = ::send(FdOf(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL);
  if (sent < 0 && WouldBlock(errno)) BIO_set_retry_write(bio);
  return static_cast<int>(sent);
}

int BioRead(BIO* bio, char* data, int size) {
  BIO_clear_retry_flags(bio);
  const ssize_t got = ::recv(FdOf(bio), data, static_cast<size_t>(size), 0);
  if (got < 0 && WouldBlock(errno)) BIO_set_retry_read(bio);
  return static_cast<int>(got);
}

long BioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

// Made once for the process and never freed: every TLS connection uses it.
BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qv socket");
    if (m != nullptr) {
      BIO_meth_set_write(m, BioWrite);
      BIO_meth_set_read(m, BioRead);
      BIO_meth_set_ctrl(m, BioControl);
      BIO_meth_set_create(m, BioCreate);
    }
    return m;
  }();
  return method;
}

bool IsAddress(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// What the certificate check found, in OpenSSL's words.
std::string VerifyFailure(SSL* ssl) {
  const long result = SSL_get_verify_result(ssl);
  if (result == X509_V_OK) return "";
  return std::string("证书验证失败：") + X509_verify_cert_error_string(result);
}

}  // namespace

int Wait::Ms() const {
  const int left = deadline.RemainingMs();
  if (left < 0) return idleMs;
  return idleMs < 0 ? left : std::min(idleMs, left);
}

HttpStream::~HttpStream() {
  // The goodbye is a courtesy: one try, no waiting for the peer's.
  if (ssl_ && SSL_is_init_finished(ssl_.get())) SSL_shutdown(ssl_.get());
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

Io HttpStream::SslFailure(int result, const char* doing, std::string& reason) {
  const int error = SSL_get_error(ssl_.get(), result);
  if (error == SSL_ERROR_ZERO_RETURN) return Io::Closed;
  if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
    if (errno == 0) return Io::Closed;
    reason = std::string(doing) + "：" + std::strerror(errno);
    // A reset is the peer's way of ending too (a kept connection it had already dropped).
    return errno == ECONNRESET ? Io::Closed : Io::Failed;
  }
  char text[256] = "";
  ERR_error_string_n(ERR_peek_last_error(), text, sizeof text);
  ERR_clear_error();
  reason = std::string(doing) + "：" + text;
  return Io::Failed;
}

bool HttpStream::StartTls(SSL_CTX* context, const std::string& host, bool verify,
                          SSL_SESSION* session, const Wait& wait, std::string& reason) {
  BIO_METHOD* method = SocketBioMethod();
  BIO* bio = method != nullptr ? BIO_new(method) : nullptr;
  ssl_.reset(SSL_new(context));
  if (bio == nullptr || !ssl_) {
    BIO_free(bio);
    reason = "OpenSSL 无法建立连接对象";
    return false;
  }
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd_.Get())));
  SSL_set_bio(ssl_.get(), bio, bio);
  const bool address = IsAddress(host);
  if (!address) SSL_set_tlsext_host_name(ssl_.get(), host.c_str());
  static const unsigned char kHttp11[] = "\x08http/1.1";
  SSL_set_alpn_protos(ssl_.get(), kHttp11, sizeof kHttp11 - 1);
  if (verify) {
    // The certificate must name the host we asked for: a valid certificate of any other site
    // would otherwise let that site answer for the cloud.
    SSL_set_verify(ssl_.get(), SSL_VERIFY_PEER, nullptr);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_.get());
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const int named = address ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                              : X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    if (named != 1) {
      reason = "无法设置要验证的主机名 " + host;
      return false;
    }
  } else {
    SSL_set_verify(ssl_.get(), SSL_VERIFY_NONE, nullptr);
  }
  if (session != nullptr) SSL_set_session(ssl_.get(), session);
  for (;;) {
    ERR_clear_error();
    errno = 0;
    const int result = SSL_connect(ssl_.get());
    if (result == 1) return true;
    const int error = SSL_get_error(ssl_.get(), result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      const Io waited = WaitFor(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, wait, reason);
      if (waited != Io::Ok) {
        reason = "TLS 握手未完成：" + reason;
        return false;
      }
      continue;
    }
    reason = verify ? VerifyFailure(ssl_.get()) : "";
    if (reason.empty() && SslFailure(result, "TLS 握手失败", reason) == Io::Closed) {
      reason = "TLS 握手时对方断开了连接";
    }
    ERR_clear_error();
    return false;
  }
}

Io HttpStream::WriteAll(std::string_view bytes, const Wait& wait, std::string& reason) {
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
    short waitEvents = POLLOUT;
    if (ssl_) {
      ERR_clear_error();
      errno = 0;
      // A retried SSL_write must repeat the same bytes, which the loop does.
      const int sent = SSL_write(ssl_.get(), bytes.data(), chunk);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<size_t>(sent));
        continue;
      }
      const int error = SSL_get_error(ssl_.get(), sent);
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
        const Io failed = SslFailure(sent, "发送失败", reason);
        if (failed == Io::Closed) reason = "发送时对方断开了连接";
        return Io::Failed;
      }
      if (error == SSL_ERROR_WANT_READ) waitEvents = POLLIN;
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
    if (ssl_) {
      ERR_clear_error();
      errno = 0;
      const int n = SSL_read(ssl_.get(), buffer, size);
      if (n > 0) {
        got = static_cast<size_t>(n);
        return Io::Ok;
      }
      const int error = SSL_get_error(ssl_.get(), n);
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
        return SslFailure(n, "接收失败", reason);
      }
      if (error == SSL_ERROR_WANT_WRITE) waitEvents = POLLOUT;
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
  if (ssl_ && SSL_has_pending(ssl_.get())) return false;  // bytes nobody asked for
  pollfd p{fd_.Get(), POLLIN, 0};
  const int ready = ::poll(&p, 1, 0);
  if (ready == 0) return true;
  if (ready < 0) return false;
  char byte;
  if (!ssl_) return false;  // the end of the connection, or bytes nobody asked for
  // A TLS record may carry no data at all (a session ticket the server sent late): reading
  // it leaves nothing to read, and the connection is as good as before.
  ERR_clear_error();
  const int n = SSL_peek(ssl_.get(), &byte, 1);
  const bool keep = n <= 0 && SSL_get_error(ssl_.get(), n) == SSL_ERROR_WANT_READ;
  ERR_clear_error();
  return keep;
}

SSL_SESSION* HttpStream::Session() const {
  if (!ssl_) return nullptr;
  SSL_SESSION* session = SSL_get1_session(ssl_.get());
  if (session != nullptr && SSL_SESSION_is_resumable(session) != 1) {
    SSL_SESSION_free(session);
    return nullptr;
  }
  return session;
}

}  // namespace qv::platform::posix
