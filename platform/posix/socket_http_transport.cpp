// HttpTransport over our own sockets and mbed TLS. The service makes one small exchange with
// one cloud host every few seconds: a general-purpose HTTP library brought dozens of shared
// libraries into the process and a transfer engine's set-up into every poll, for a job this
// file does directly. HTTP/1.1 only, the caller's header block in its order, no cookie engine,
// one kept connection and TLS session, per-phase timeouts and one for the whole exchange.
#include <chrono>
#include <memory>
#include <new>
#include <string>

#include "platform/http_transport.h"
#include "platform/posix/http_stream.h"
#include "platform/posix/http_target.h"
#include "platform/posix/http_wire.h"
#include "platform/posix/tcp_connect.h"
#include "platform/posix/tls_context.h"

namespace qv::platform::posix {
namespace {

constexpr int kMaxRedirects = 10;
// A kept connection idle this long is not trusted any more: servers and the middle boxes
// between drop idle connections silently after a minute or two.
constexpr auto kMaxIdle = std::chrono::seconds(118);

// Everything a connection was made for: another request may use it only when all of it
// matches.
struct ConnectionKey {
  bool secure = false;
  std::string authority;  // host:port of the server
  std::string proxy;
  std::string proxyAuthorization;
  bool verify = true;
  unsigned trust = 0;  // the TlsContext generation that verified it

  bool operator==(const ConnectionKey&) const = default;
};

struct Connection {
  explicit Connection(Fd fd) : stream(std::move(fd)), reader(stream) {}
  ConnectionKey key;
  HttpStream stream;
  HttpReader reader;
  std::chrono::steady_clock::time_point lastUsed;
};

// "host:port" of the proxy setting; a missing port is the usual 1080.
bool ParseProxy(const std::string& proxy, HttpTarget& target) {
  std::string host = proxy;
  int port = 1080;
  const size_t colon = proxy.rfind(':');
  if (colon != std::string::npos && proxy.find(']', colon) == std::string::npos) {
    host = proxy.substr(0, colon);
    const std::string digits = proxy.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    port = std::stoi(digits);
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  target.host = host;
  target.port = port;
  return !host.empty() && port > 0 && port < 65536;
}

// The limit of one phase, never past the whole exchange's.
Deadline PhaseDeadline(int timeoutMs, const Deadline& overall) {
  const int left = overall.RemainingMs();
  if (left < 0) return Deadline(timeoutMs);
  return Deadline(std::max(1, std::min(timeoutMs, left)));
}

// One request as it goes out on one hop of the exchange.
struct Hop {
  HttpTarget target;
  std::string verb;
  std::string headers;
  const std::string* body;
  bool withCredentials;  // the server's Basic credentials go to the first origin only
};

// The answer of one hop.
struct Answer {
  ResponseHead head;
  std::string body;
  BodyRead bodyRead = BodyRead::Ok;
};

class SocketHttpTransport final : public HttpTransport {
 public:
  HttpFailure Exchange(const HttpTransportRequest& r, HttpTransportResponse& response) override {
    response = HttpTransportResponse();
    try {
      return ExchangeHops(r, response);
    } catch (const std::bad_alloc&) {
      connection_.reset();
      response = HttpTransportResponse();
      response.reason = "内存不足，无法接收应答";
      return HttpFailure::TooLarge;
    }
  }

 private:
  HttpFailure ExchangeHops(const HttpTransportRequest& r, HttpTransportResponse& response);
  HttpFailure RoundTrip(const HttpTransportRequest& r, const Hop& hop, const Deadline& overall,
                        Answer& answer, std::string& reason);
  // Drops the kept connection unless it was made for `key` and is still good for a request.
  void DropUnlessUsableFor(const ConnectionKey& key);
  // Sends the request and reads the answer's head, on the kept connection or a new one (and
  // once more on a new one when the kept one turns out closed).
  HttpFailure SendAndHear(const HttpTransportRequest& r, const HttpTarget& target,
                          const std::string& request, const ConnectionKey& key, TlsContext* context,
                          const Deadline& overall, ResponseHead& head, std::string& reason);
  HttpFailure open(const HttpTransportRequest& r, const HttpTarget& target,
                   const ConnectionKey& key, TlsContext* context, const Deadline& overall,
                   std::string& reason);
  bool OpenTunnel(Connection& connection, const HttpTarget& target, const ConnectionKey& key,
                  const Wait& wait, std::string& reason);

  TlsContext tls_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<TlsSession>
      session_;  // the last TLS session, to resume on a new connection with the same key
  ConnectionKey sessionKey_;
};

HttpFailure SocketHttpTransport::ExchangeHops(const HttpTransportRequest& r,
                                              HttpTransportResponse& response) {
  const Deadline overall(r.totalTimeoutMs);
  Hop hop{{r.secure, r.host, r.port, r.path}, r.verb, r.headers, &r.body, true};
  const HttpTarget origin = hop.target;
  const std::string noBody;
  for (int redirects = 0;; ++redirects) {
    Answer answer;
    const HttpFailure failure = RoundTrip(r, hop, overall, answer, response.reason);
    if (failure != HttpFailure::None) return failure;
    const int status = answer.head.status;
    const bool redirect =
        r.followRedirects && !answer.head.location.empty() &&
        (status == 301 || status == 302 || status == 303 || status == 307 || status == 308);
    if (!redirect) {
      if (answer.bodyRead == BodyRead::TooLarge) return HttpFailure::TooLarge;
      response.headersRead = true;
      response.rawHeaders = std::move(answer.head.raw);
      response.body = std::move(answer.body);
      return answer.bodyRead == BodyRead::Ok ? HttpFailure::None : HttpFailure::Read;
    }
    if (answer.bodyRead == BodyRead::TooLarge) return HttpFailure::TooLarge;
    if (answer.bodyRead != BodyRead::Ok) return HttpFailure::NoResponse;
    if (redirects == kMaxRedirects) {
      response.reason = "重定向超过 " + std::to_string(kMaxRedirects) + " 次";
      return HttpFailure::NoResponse;
    }
    HttpTarget next;
    const LocationKind kind = ResolveLocation(hop.target, answer.head.location, next);
    if (kind != LocationKind::Http) {
      response.reason = "无法跟随重定向：" + answer.head.location;
      return HttpFailure::NoResponse;
    }
    // An https exchange never goes on in plain text: the headers carry the store's identity
    // and token, and an answer from the plain hop could feed the service print tasks. (From
    // plain http the exchange was never private, so both schemes may follow there.)
    if (r.secure && !next.secure) {
      response.reason = "拒绝从 HTTPS 重定向到明文 HTTP：" + next.Url();
      return HttpFailure::Redirect;
    }
    // As browsers do: 303 asks for a GET, and so do 301 and 302 after a POST; 307 and 308
    // repeat the request as it was.
    if ((status == 303 && hop.verb != "HEAD") ||
        ((status == 301 || status == 302) && hop.verb == "POST")) {
      hop.verb = "GET";
      hop.body = &noBody;
    }
    // Credentials and cookies are the first origin's: another host does not get them.
    if (!next.SameOrigin(origin) && hop.withCredentials) {
      hop.withCredentials = false;
      hop.headers = WithoutHeaders(hop.headers, {"Authorization", "Cookie"});
    }
    hop.target = std::move(next);
  }
}

// The bytes of one hop's request: to a proxy, plain http names the whole URL and carries the
// proxy's credentials; https goes through a tunnel and looks as if sent directly.
std::string RequestFor(const HttpTransportRequest& r, const Hop& hop, const ConnectionKey& key) {
  const bool viaProxy = !r.proxy.empty() && !hop.target.secure;
  const std::string url = viaProxy ? hop.target.Url() : "";
  const std::string authorization = hop.withCredentials && !r.user.empty() && !r.password.empty()
                                        ? BasicCredentials(r.user, r.password)
                                        : "";
  return RequestBytes({
      .verb = hop.verb,
      .target = viaProxy ? url : hop.target.path,
      .host = hop.target.HostHeader(),
      .headers = hop.headers,
      .authorization = authorization,
      .proxyAuthorization = viaProxy ? key.proxyAuthorization : "",
      .body = *hop.body,
  });
}

HttpFailure SocketHttpTransport::RoundTrip(const HttpTransportRequest& r, const Hop& hop,
                                           const Deadline& overall, Answer& answer,
                                           std::string& reason) {
  const HttpTarget& target = hop.target;
  TlsContext* context = nullptr;
  HttpFailure failure = HttpFailure::None;
  if (target.secure) {
    if (!tls_.Prepare(r.tls, false, failure, reason)) return failure;
    context = &tls_;
  }
  ConnectionKey key{
      .secure = target.secure,
      .authority = target.Authority(),
      .proxy = r.proxy,
      .proxyAuthorization = !r.proxy.empty() && !r.proxyUser.empty() && !r.proxyPassword.empty()
                                ? BasicCredentials(r.proxyUser, r.proxyPassword)
                                : "",
      .verify = r.tls.verify,
      .trust = target.secure ? tls_.Generation() : 0};
  DropUnlessUsableFor(key);
  const bool reused = connection_ != nullptr;
  // A new connection is verified against the ca_file as it is now.
  if (target.secure && !reused) {
    if (!tls_.Prepare(r.tls, true, failure, reason)) return failure;
    key.trust = tls_.Generation();
  }
  const Wait wait{r.timeoutMs, overall};
  failure =
      SendAndHear(r, target, RequestFor(r, hop, key), key, context, overall, answer.head, reason);
  if (failure != HttpFailure::None) return failure;

  Connection& connection = *connection_;
  const Framing framing = FramingOf(answer.head, hop.verb == "HEAD");
  answer.bodyRead =
      ReadBody(connection.reader, answer.head, framing, r.maxBodyBytes, wait, answer.body, reason);
  const bool keep = answer.bodyRead == BodyRead::Ok && framing != Framing::UntilClose &&
                    answer.head.status != 101 && !answer.head.close &&
                    (!answer.head.http10 || answer.head.keepAlive) && !AsksToClose(hop.headers) &&
                    !connection.reader.Buffered();
  if (target.secure && !reused && answer.bodyRead == BodyRead::Ok) {
    session_ = connection.stream.Session();
    sessionKey_ = key;
  }
  if (keep) {
    connection.lastUsed = std::chrono::steady_clock::now();
  } else {
    connection_.reset();
  }
  return HttpFailure::None;
}

void SocketHttpTransport::DropUnlessUsableFor(const ConnectionKey& key) {
  if (connection_ && !(connection_->key == key && !connection_->reader.Buffered() &&
                       std::chrono::steady_clock::now() - connection_->lastUsed < kMaxIdle &&
                       connection_->stream.IdleAndOpen())) {
    connection_.reset();
  }
}

HttpFailure SocketHttpTransport::SendAndHear(const HttpTransportRequest& r,
                                             const HttpTarget& target, const std::string& request,
                                             const ConnectionKey& key, TlsContext* context,
                                             const Deadline& overall, ResponseHead& head,
                                             std::string& reason) {
  const Wait wait{r.timeoutMs, overall};
  bool reused = connection_ != nullptr;
  for (;;) {
    if (!connection_) {
      const HttpFailure failure = open(r, target, key, context, overall, reason);
      if (failure != HttpFailure::None) return failure;
    }
    HttpReader& reader = connection_->reader;
    reader.ResetCount();
    const Io sent = connection_->stream.WriteAll(request, wait, reason);
    const Io heard = sent == Io::Ok ? ReadResponseHead(reader, wait, head, reason) : sent;
    if (heard == Io::Ok) return HttpFailure::None;
    const bool nothingHeard = reader.Received() == 0 && heard != Io::TimedOut;
    connection_.reset();
    // A kept connection that the server had closed meanwhile: the request never reached it,
    // so it goes once more, on a new connection.
    if (reused && nothingHeard) {
      reused = false;
      reason.clear();
      continue;
    }
    if (sent != Io::Ok) {
      if (sent == Io::TimedOut) reason = "发送请求" + reason;
      return sent == Io::TimedOut ? HttpFailure::NoResponse : HttpFailure::Send;
    }
    if (heard == Io::Closed) {
      reason = "服务器没有应答就断开了连接";
    } else if (heard == Io::TimedOut) {
      reason = "等待应答" + reason;
    }
    return HttpFailure::NoResponse;
  }
}

HttpFailure SocketHttpTransport::open(const HttpTransportRequest& r, const HttpTarget& target,
                                      const ConnectionKey& key, TlsContext* context,
                                      const Deadline& overall, std::string& reason) {
  // Resolving, connecting, the proxy's tunnel and the TLS handshake share one phase's limit.
  const Deadline connectBy = PhaseDeadline(r.timeoutMs, overall);
  const Wait wait{r.timeoutMs, connectBy};
  HttpTarget peer = target;
  if (!r.proxy.empty() && !ParseProxy(r.proxy, peer)) {
    reason = "代理地址无效：" + r.proxy;
    return HttpFailure::Send;
  }
  Fd fd = ConnectTcp(peer.host, peer.port, connectBy, reason);
  if (!fd.Ok()) {
    if (!r.proxy.empty()) reason = "代理：" + reason;
    return HttpFailure::Send;
  }
  auto connection = std::make_unique<Connection>(std::move(fd));
  connection->key = key;
  if (!r.proxy.empty() && target.secure && !OpenTunnel(*connection, target, key, wait, reason)) {
    return HttpFailure::Send;
  }
  if (target.secure) {
    const TlsSession* resume = session_ && sessionKey_ == key ? session_.get() : nullptr;
    if (!connection->stream.StartTls(*context, target.host, r.tls.verify, resume, wait, reason)) {
      return HttpFailure::Send;
    }
  }
  connection_ = std::move(connection);
  return HttpFailure::None;
}

// https through a proxy: the proxy is asked for a tunnel to the server, and TLS runs inside it
// end to end, so the proxy sees neither the request nor the answer.
bool SocketHttpTransport::OpenTunnel(Connection& connection, const HttpTarget& target,
                                     const ConnectionKey& key, const Wait& wait,
                                     std::string& reason) {
  const std::string authority = target.Authority();
  std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
  if (!key.proxyAuthorization.empty()) {
    request += "Proxy-Authorization: " + key.proxyAuthorization + "\r\n";
  }
  request += "\r\n";
  ResponseHead head;
  Io io = connection.stream.WriteAll(request, wait, reason);
  if (io == Io::Ok) io = ReadResponseHead(connection.reader, wait, head, reason);
  if (io != Io::Ok) {
    reason = "代理没有建立隧道：" + (io == Io::Closed ? std::string("连接已断开") : reason);
    return false;
  }
  if (head.status / 100 != 2) {
    reason = "代理拒绝建立隧道：" + head.raw.substr(0, head.raw.find('\r'));
    return false;
  }
  if (connection.reader.Buffered()) {
    reason = "代理在隧道建立之前发来了多余的数据";
    return false;
  }
  return true;
}

}  // namespace
}  // namespace qv::platform::posix

namespace qv::platform {

std::unique_ptr<HttpTransport> HttpTransport::Create() {
  return std::make_unique<posix::SocketHttpTransport>();
}

// Our own client always speaks TLS 1.2.
std::string TlsVersionNote() { return {}; }

}  // namespace qv::platform
