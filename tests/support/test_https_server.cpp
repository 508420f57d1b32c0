// A small HTTPS and HTTP server on loopback for tests that need a real peer: it hands back
// the raw bytes of each request (header order included, which higher-level servers lose),
// and plays the awkward servers a client must survive: one that never answers, one that
// hangs up, one that stops in the middle of a body, redirects, cookies and HTML pages that
// declare their charset.
//
//   test_https_server --state-dir DIR [--idle-exit SECONDS]
//
// DIR holds server.pem and server.key (made by https_server_fixture.sh); the server writes
// "HTTPS_PORT HTTP_PORT" to DIR/ports once it listens on 127.0.0.1 and ::1. It exits after
// SECONDS (default 900) without a connection, so a forgotten server does not linger.
//
// Paths (both ports):
//   /echo, and every path not listed   200, the raw request (head and body) as the body
//   /delay?ms=N                         like /echo after N milliseconds
//   /hang                               reads the request and never answers
//   /close                              reads the request and hangs up without an answer
//   /partial                            promises 100 body bytes, sends 10 and hangs up
//   /redirect?to=URL[&status=N]         302 (or N) to URL
//   /chunked[?bad=1]                    "hello, chunked world" in chunks, with a chunk extension
//                                       and a trailer (bad=1: a broken size line after "hello")
//   /conn                               "connection N": the number of the connection it came on
//   /tls                                "resumed" when the TLS session was resumed, else "new"
//   /close-next                         answers; the next request on the connection is read and
//                                       the connection closed without an answer
//   /close-after                        answers (as if the connection stayed open) and closes
//   /tunnel                             "tunneled" inside a CONNECT tunnel, else "direct"
//   /trickle?bps=N[&head=1]             a 200 answer with a 200-byte body sent N bytes a
//                                       second (with head=1 the head too)
//   /big?bytes=N[&length=0]             a 200 answer with an N-byte body, with its
//                                       Content-Length unless length=0 (then the end of the
//                                       connection ends the body)
//   /status/N                           status N with a short body
//   /cookies                            three Set-Cookie lines (one with a lower-case name)
//   /auth                               407 to a proxy request without Proxy-Authorization,
//                                       401 without Authorization, else like /echo
//   /html/utf-8 /html/big5 /html/GBK /html/late /html/plain
//                                       "中文打印" in a page declaring that charset ("late":
//                                       the utf-8 declaration after byte 1024; "plain": GBK
//                                       bytes, no declaration)
// The hostile answers the client must refuse or survive:
//   /cut?by=reset|close&framing=length|chunked|none
//                                       a 200 answer whose body stops after `{"tasks":[{"id":1},`
//                                       with a TCP reset, or with the connection closed without
//                                       TLS close_notify; its length said by Content-Length,
//                                       by chunks, or by nothing (the end of the connection)
//   /interim?count=N                    N interim "100 Continue" answers, then "final"
//   /chunk-size?line=TEXT               a chunked answer whose first size line is TEXT
//                                       (percent-decoded), then "hello" and the last chunk
//   /te-length                          "Transfer-Encoding: gzip" with a Content-Length, then
//                                       bytes that pass for a second answer, then the close
//   /length-conflict                    two Content-Length lines that disagree
//   /loop                               302 to itself, without end
// With the state directory's certs/NAME.pem and NAME.key, the server also serves each such
// certificate on a TLS port of its own and lists them in DIR/cert_ports ("NAME PORT" lines).
// A request line with an absolute URL (a proxy request) is routed by its path. CONNECT on the
// plain port opens a tunnel to this server's TLS side, whatever host it names; with a
// Proxy-Authorization other than puser:ppass it is refused with 407.
// The cloud API's print endpoints, scripted per store: tests/support/cloud_mailbox.h.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/cloud_mailbox.h"

namespace {

std::atomic<long long> lastActivity{0};

long long NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::atomic<int> connections{0};
SSL_CTX* tlsContext = nullptr;

// One accepted connection, plain or TLS.
class Conn {
 public:
  Conn(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  // TLS from here on (inside a CONNECT tunnel); false when the handshake failed.
  bool StartTls() {
    ssl_ = SSL_new(tlsContext);
    SSL_set_fd(ssl_, fd_);
    tunneled = true;
    return SSL_accept(ssl_) > 0;
  }
  const int number = ++connections;
  bool tunneled = false;
  bool closeNext = false;  // /close-next was asked on this connection
  ~Conn() {
    if (ssl_ != nullptr) {
      SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
    close(fd_);
  }
  int Read(char* buf, int n) {
    return ssl_ != nullptr ? SSL_read(ssl_, buf, n) : static_cast<int>(::recv(fd_, buf, n, 0));
  }
  bool Write(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
      int n =
          ssl_ != nullptr
              ? SSL_write(ssl_, data.data() + done, static_cast<int>(data.size() - done))
              : static_cast<int>(::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL));
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  // Waits until the peer closes the connection or `seconds` pass.
  void WaitForPeerClose(int seconds) {
    char buf[256];
    for (int i = 0; i < seconds * 10; ++i) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0) {
        if (Read(buf, sizeof buf) <= 0) return;
      }
    }
  }
  // Ends the connection rudely when the answer is done: with a TCP reset (the pending bytes
  // dropped), or closed without TLS close_notify.
  void EndRudely(bool reset) {
    if (reset) {
      linger off{1, 0};
      setsockopt(fd_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    }
    if (ssl_ != nullptr) SSL_set_quiet_shutdown(ssl_, 1);
  }
  bool Pending() const { return ssl_ != nullptr && SSL_pending(ssl_) > 0; }
  bool Resumed() const { return ssl_ != nullptr && SSL_session_reused(ssl_) == 1; }

 private:
  int fd_;
  SSL* ssl_;
};

struct Request {
  std::string method;
  std::string raw;  // head and body as received
  std::string path;
  std::string query;
  bool close = false;
  bool proxied = false;  // the request line named an absolute URL
};

std::string QueryValue(const std::string& query, const std::string& key) {
  size_t at = 0;
  while (at <= query.size()) {
    size_t end = query.find('&', at);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(at, end - at);
    if (pair.compare(0, key.size() + 1, key + "=") == 0) return pair.substr(key.size() + 1);
    at = end + 1;
  }
  return "";
}

bool ReadRequest(Conn& conn, std::string& buffer, Request& request) {
  char chunk[4096];
  size_t headEnd;
  while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
    int n = conn.Read(chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  std::string head = buffer.substr(0, headEnd + 4);
  size_t length = 0;
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (size_t at = lower.find("\r\ncontent-length:"); at != std::string::npos) {
    length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
  }
  request.close = lower.find("\r\nconnection: close") != std::string::npos;
  while (buffer.size() < head.size() + length) {
    int n = conn.Read(chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  request.raw = buffer.substr(0, head.size() + length);
  buffer.erase(0, head.size() + length);

  std::string target = head.substr(0, head.find("\r\n"));
  size_t sp1 = target.find(' ');
  request.method = target.substr(0, sp1);
  size_t sp2 = target.find(' ', sp1 + 1);
  target = target.substr(sp1 + 1, sp2 - sp1 - 1);
  // An absolute URL (a proxy request) names its scheme first; "://" in a query is no scheme.
  request.proxied = target.rfind("/", 0) != 0 && target.find("://") != std::string::npos;
  if (size_t scheme = target.find("://"); request.proxied) {
    size_t slash = target.find('/', scheme + 3);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  size_t q = target.find('?');
  request.path = target.substr(0, q);
  request.query = q == std::string::npos ? "" : target.substr(q + 1);
  return true;
}

// True when the request head has a header of that (lower-case) name.
bool HasHeader(const std::string& raw, const std::string& name) {
  std::string head = raw.substr(0, raw.find("\r\n\r\n") + 2);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return head.find("\r\n" + name + ":") != std::string::npos;
}

// A query value as forms encode it: "+" for a blank, %XX for any byte.
std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}

std::string Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 407:
      return "Proxy Authentication Required";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

std::string Response(int status, const std::string& type, const std::string& body,
                     const std::string& extra = "") {
  return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

std::string HtmlPage(const std::string& name) {
  const std::string utf8 = "\xe4\xb8\xad\xe6\x96\x87\xe6\x89\x93\xe5\x8d\xb0";
  const std::string gbk = "\xd6\xd0\xce\xc4\xb4\xf2\xd3\xa1";
  const std::string big5 = "\xa4\xa4\xa4\xe5\xa5\xb4\xa6\x4c";
  auto page = [](const std::string& meta, const std::string& text) {
    return "<html><head>" + meta + "<title>t</title></head><body>" + text + "</body></html>";
  };
  if (name == "utf-8") {
    return page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">", utf8);
  }
  if (name == "big5") return page("<meta charset=\"big5\">", big5);
  if (name == "GBK") return page("<meta charset=GBK>", gbk);
  if (name == "plain") return page("", gbk);
  if (name == "late") {
    return "<html><!--" + std::string(1100, '-') + "--><head><meta charset=utf-8></head><body>" +
           utf8 + "</body></html>";
  }
  return "";
}

std::string Chunked(bool bad) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
      "Transfer-Encoding: chunked\r\n\r\n";
  if (bad) return head + "5\r\nhello\r\nzz\r\n";
  return head + "5;note=\"first\"\r\nhello\r\nF\r\n, chunked world\r\n0\r\nX-Trailer: t\r\n\r\n";
}

// A CONNECT request on the plain port: the connection becomes a TLS one to this server.
bool OpenTunnel(Conn& conn, const Request& r) {
  std::string head = r.raw.substr(0, r.raw.find("\r\n\r\n") + 2);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string name = "\r\nproxy-authorization:", expected = " Basic cHVzZXI6cHBhc3M=\r\n";
  const size_t at = head.find(name);
  if (at != std::string::npos && r.raw.compare(at + name.size(), expected.size(), expected) != 0) {
    conn.Write(Response(407, "text/plain", "proxy credentials",
                        "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"));
    return false;
  }
  return conn.Write("HTTP/1.1 200 Connection established\r\n\r\n") && conn.StartTls();
}

// The hostile answers (see the top of the file); false when the path is none of them.
bool AnswerHostile(Conn& conn, const Request& r, bool& keep) {
  const std::string& p = r.path;
  keep = false;
  if (p == "/cut") {
    const std::string framing = QueryValue(r.query, "framing");
    const std::string part = "{\"tasks\":[{\"id\":1},";
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
    if (framing == "length") head += "Content-Length: 200\r\n\r\n" + part;
    if (framing == "chunked") {
      head += "Transfer-Encoding: chunked\r\n\r\nc8\r\n" + part;
    }
    if (framing == "none") head += "Connection: close\r\n\r\n" + part;
    conn.Write(head);
    // The client has the bytes before the end comes, so a reset does not discard them.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    conn.EndRudely(QueryValue(r.query, "by") == "reset");
    return true;
  }
  if (p == "/interim") {
    const long count = std::atol(QueryValue(r.query, "count").c_str());
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    std::string batch;
    for (int i = 0; i < 1000; ++i) batch += interim;
    for (long sent = 0; sent < count; sent += 1000) {
      if (!conn.Write(count - sent >= 1000 ? batch
                                           : batch.substr(0, (count - sent) * interim.size()))) {
        return true;
      }
    }
    keep = conn.Write(Response(200, "text/plain", "final"));
    return true;
  }
  if (p == "/chunk-size") {
    conn.Write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n" +
               PercentDecoded(QueryValue(r.query, "line")) + "\r\nhello\r\n0\r\n\r\n");
    keep = true;
    return true;
  }
  if (p == "/te-length") {
    conn.Write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: gzip\r\n"
        "Content-Length: 5\r\n\r\nhello" +
        Response(200, "text/plain", "smuggled"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return true;
  }
  if (p == "/length-conflict") {
    keep = conn.Write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n"
        "Content-Length: 13\r\n\r\nhello" +
        std::string("\r\n\r\nsmuggled"));
    return true;
  }
  if (p == "/loop") {
    keep = conn.Write(Response(302, "text/plain", "again", "Location: /loop\r\n"));
    return true;
  }
  return false;
}

// Answers one request; false when the connection is to be dropped.
bool Answer(Conn& conn, const Request& r) {
  if (bool keep; AnswerHostile(conn, r, keep)) return keep;
  const std::string& p = r.path;
  if (r.method == "CONNECT" && !conn.tunneled) return OpenTunnel(conn, r);
  if (conn.closeNext) return false;
  if (p == "/conn") {
    return conn.Write(Response(200, "text/plain", "connection " + std::to_string(conn.number)));
  }
  if (p == "/tls")
    return conn.Write(Response(200, "text/plain", conn.Resumed() ? "resumed" : "new"));
  if (p == "/close-next") {
    conn.closeNext = true;
    return conn.Write(Response(200, "text/plain", "armed"));
  }
  if (p == "/close-after") {
    conn.Write(Response(200, "text/plain", "closing"));
    return false;
  }
  if (p == "/tunnel") {
    return conn.Write(Response(200, "text/plain", conn.tunneled ? "tunneled" : "direct"));
  }
  if (p == "/chunked") return conn.Write(Chunked(QueryValue(r.query, "bad") == "1"));
  if (std::string body; cloud_mailbox::Handle(p, r.query, r.raw, body)) {
    return conn.Write(Response(200, "application/json; charset=utf-8", body));
  }
  if (p == "/hang") {
    conn.WaitForPeerClose(120);
    return false;
  }
  if (p == "/close") return false;
  if (p == "/partial") {
    conn.Write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100\r\n\r\n" +
               std::string(10, 'x'));
    return false;
  }
  if (p == "/delay") {
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::atoi(QueryValue(r.query, "ms").c_str())));
  }
  if (p == "/trickle") {
    const int perSecond = std::max(1, std::atoi(QueryValue(r.query, "bps").c_str()));
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 200\r\n\r\n";
    const std::string all = head + std::string(200, 't');
    size_t at = QueryValue(r.query, "head") == "1" ? 0 : head.size();
    if (at > 0 && !conn.Write(head)) return false;
    for (; at < all.size(); at += static_cast<size_t>(perSecond)) {
      if (!conn.Write(all.substr(at, static_cast<size_t>(perSecond)))) return false;
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return false;
  }
  if (p == "/big") {
    const size_t size = std::strtoull(QueryValue(r.query, "bytes").c_str(), nullptr, 10);
    const bool withLength = QueryValue(r.query, "length") != "0";
    if (!conn.Write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n" +
                    (withLength ? "Content-Length: " + std::to_string(size) + "\r\n"
                                : std::string("Connection: close\r\n")) +
                    "\r\n")) {
      return false;
    }
    const std::string piece(64 << 10, 'b');
    for (size_t sent = 0; sent < size; sent += piece.size()) {
      if (!conn.Write(piece.substr(0, std::min(piece.size(), size - sent)))) return false;
    }
    return withLength;
  }
  if (p == "/redirect") {
    const std::string status = QueryValue(r.query, "status");
    return conn.Write(Response(status.empty() ? 302 : std::atoi(status.c_str()), "text/plain",
                               "moved", "Location: " + QueryValue(r.query, "to") + "\r\n"));
  }
  if (p.rfind("/status/", 0) == 0) {
    int status = std::atoi(p.c_str() + 8);
    return conn.Write(Response(status, "text/plain", "status " + std::to_string(status)));
  }
  if (p == "/cookies") {
    return conn.Write(Response(200, "text/plain", "ok",
                               "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n"
                               "set-cookie: c=3\r\n"));
  }
  if (p == "/auth") {
    // Proxy credentials first (for a proxy request), then the origin's, as a real pair would.
    if (r.proxied && !HasHeader(r.raw, "proxy-authorization")) {
      return conn.Write(Response(407, "text/plain", "proxy credentials",
                                 "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"));
    }
    if (!HasHeader(r.raw, "authorization")) {
      return conn.Write(
          Response(401, "text/plain", "credentials", "WWW-Authenticate: Basic realm=\"test\"\r\n"));
    }
  }
  if (p.rfind("/html/", 0) == 0) {
    return conn.Write(Response(200, "text/html", HtmlPage(p.substr(6))));
  }
  return conn.Write(Response(200, "text/plain", r.raw));
}

void Serve(int fd, SSL_CTX* ctx) {
  SSL* ssl = nullptr;
  if (ctx != nullptr) {
    ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) <= 0) {
      SSL_free(ssl);
      close(fd);
      return;
    }
  }
  Conn conn(fd, ssl);
  std::string buffer;
  Request request;
  while (ReadRequest(conn, buffer, request)) {
    lastActivity = NowSeconds();
    if (!Answer(conn, request) || request.close) break;
  }
}

int Listen(int family, int port) {
  int fd = socket(family, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  int rc;
  if (family == AF_INET) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    rc = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(static_cast<uint16_t>(port));
    a.sin6_addr = in6addr_loopback;
    rc = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  if (rc != 0 || listen(fd, 64) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int PortOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// Listens on 127.0.0.1 (a free port) and on ::1 with the same port when it can.
std::vector<int> ListenLoopback(int& port) {
  std::vector<int> fds;
  int v4 = Listen(AF_INET, 0);
  if (v4 < 0) return fds;
  fds.push_back(v4);
  port = PortOf(v4);
  if (int v6 = Listen(AF_INET6, port); v6 >= 0) fds.push_back(v6);
  return fds;
}

void AcceptLoop(int listener, SSL_CTX* ctx) {
  for (;;) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    lastActivity = NowSeconds();
    // Answers go out at once: Nagle's algorithm against the client's delayed ACK would add
    // 40 ms to every exchange and distort timings taken against this server.
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::thread(Serve, fd, ctx).detach();
  }
}

// A TLS listener for each certificate in DIR/certs, listed in DIR/cert_ports.
bool ServeCertificates(const std::string& dir) {
  std::string lines;
  const std::string certs = dir + "/certs";
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(certs.c_str()), closedir);
  for (dirent* entry; listing && (entry = readdir(listing.get())) != nullptr;) {
    const std::string file = entry->d_name;
    if (file.size() <= 4 || file.substr(file.size() - 4) != ".pem") continue;
    const std::string name = file.substr(0, file.size() - 4);
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());  // kept for the life of the server
    if (SSL_CTX_use_certificate_chain_file(ctx, (certs + "/" + file).c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, (certs + "/" + name + ".key").c_str(), SSL_FILETYPE_PEM) !=
            1) {
      ERR_print_errors_fp(stderr);
      return false;
    }
    int port = 0;
    for (int fd : ListenLoopback(port)) std::thread(AcceptLoop, fd, ctx).detach();
    if (port == 0) return false;
    lines += name + " " + std::to_string(port) + "\n";
  }
  std::ofstream(dir + "/cert_ports") << lines;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  long long idleExit = 900;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--state-dir") == 0) dir = argv[i + 1];
    if (std::strcmp(argv[i], "--idle-exit") == 0) idleExit = std::atoll(argv[i + 1]);
  }
  if (dir.empty()) {
    std::fprintf(stderr, "usage: test_https_server --state-dir DIR [--idle-exit SECONDS]\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  tlsContext = ctx;
  if (SSL_CTX_use_certificate_chain_file(ctx, (dir + "/server.pem").c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, (dir + "/server.key").c_str(), SSL_FILETYPE_PEM) != 1) {
    ERR_print_errors_fp(stderr);
    return 1;
  }
  int httpsPort = 0, httpPort = 0;
  std::vector<int> tls = ListenLoopback(httpsPort);
  std::vector<int> plain = ListenLoopback(httpPort);
  if (tls.empty() || plain.empty()) {
    std::perror("listen");
    return 1;
  }
  for (int fd : tls) std::thread(AcceptLoop, fd, ctx).detach();
  for (int fd : plain) std::thread(AcceptLoop, fd, nullptr).detach();
  if (!ServeCertificates(dir)) return 1;

  // Publish the ports only once every listener is up; rename makes the file appear whole.
  {
    std::ofstream out(dir + "/ports.tmp");
    out << httpsPort << " " << httpPort << "\n";
  }
  std::rename((dir + "/ports.tmp").c_str(), (dir + "/ports").c_str());
  lastActivity = NowSeconds();
  while (NowSeconds() - lastActivity < idleExit)
    std::this_thread::sleep_for(std::chrono::seconds(1));
  return 0;
}
