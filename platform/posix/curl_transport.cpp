// HttpTransport over libcurl built with OpenSSL. The framing, TLS and certificate checks are
// the maintained libraries'; this file only says what the exchange may do (HTTP/1.1, our
// header block in our order, no cookie engine, the protocols the request needs, limits on
// time and size) and turns libcurl's outcome into our failure kinds and run-log words.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

#include "platform/http_transport.h"
#include "platform/posix/errno_text.h"

namespace qv::platform {
namespace {

constexpr long kMaxRedirects = 10;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// What the callbacks collected during one exchange.
struct Collected {
  CURL* easy = nullptr;
  std::string headers;          // lines of the latest response, status line first
  bool headersDone = false;     // the blank line ending the latest response's headers was seen
  std::string contentLength;    // the latest response's Content-Length, as first given
  bool lengthConflict = false;  // two different lengths: the body's end cannot be known
  std::string location;         // the latest response's Location
  std::string* body = nullptr;  // the response's body, written in place
  size_t maxBody = 0;
  bool tooLarge = false;     // the body went past maxBody; reading stopped there
  bool outOfMemory = false;  // an append failed; reading stopped there
};

// The callbacks run inside libcurl's C code, which no exception may cross: a failed append
// ends the transfer instead.
template <typename Append>
size_t Collect(Collected* c, size_t n, Append append) {
  try {
    append();
    return n;
  } catch (const std::bad_alloc&) {
    c->outOfMemory = true;
    return 0;  // anything but n ends the transfer
  }
}

// Two Content-Length values that differ leave the body's end to whichever one a reader
// believes, which is how a forged answer gets behind a real one on a kept connection;
// refused, as browsers refuse it. A list of equal values is one value.
bool SameLength(std::string_view first, std::string_view value) {
  size_t start = 0;
  for (;;) {
    const size_t comma = value.find(',', start);
    const std::string_view item = Trimmed(value.substr(start, comma - start));
    if (first.empty()) {
      first = item;
    } else if (item != first) {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* c = static_cast<Collected*>(user);
  const std::string_view line(data, size * count);
  // A new status line starts a new response (interim 1xx, a followed redirect, a proxy's
  // CONNECT answer): only the final response's headers and body are delivered.
  if (line.substr(0, 5) == "HTTP/") {
    c->headers.clear();
    c->headersDone = false;
    c->contentLength.clear();
    c->location.clear();
    c->body->clear();
  }
  if (line == "\r\n" || line == "\n") c->headersDone = true;
  const size_t colon = line.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (EqualsIgnoreCase(name, "Content-Length")) {
      if (!SameLength(c->contentLength, value)) {
        c->lengthConflict = true;
        return 0;
      }
      if (c->contentLength.empty()) c->contentLength = std::string(value);
    } else if (EqualsIgnoreCase(name, "Location")) {
      c->location = std::string(value);
    }
  }
  return Collect(c, line.size(), [&] { c->headers += line; });
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* c = static_cast<Collected*>(user);
  const size_t n = size * count;
  // An answer without a length can still be endless; stop before it is held in memory.
  if (n > c->maxBody - c->body->size()) {
    c->tooLarge = true;
    return 0;
  }
  return Collect(c, n, [&] {
    // A body of known length is held once, at its size, not in the doubling steps of a
    // growing string (which hold up to one and a half times the body while they move it).
    if (c->body->capacity() == 0) {
      curl_off_t length = -1;
      if (curl_easy_getinfo(c->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
          length > 0 && static_cast<curl_off_t>(c->maxBody) >= length) {
        c->body->reserve(static_cast<size_t>(length));
      }
    }
    c->body->append(data, n);
  });
}

bool GlobalInit() {
  static std::once_flag once;
  static CURLcode result = CURLE_FAILED_INIT;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result == CURLE_OK;
}

bool StartsWithName(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' &&
         EqualsIgnoreCase(line.substr(0, name.size()), name);
}

// libcurl reads "Name:" with nothing after the colon as "do not send Name"; "Name;" is its
// spelling of a header with an empty value, which is what the line means.
std::string CurlHeaderLine(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::string(line);
  const std::string_view value = line.substr(colon + 1);
  if (value.find_first_not_of(" \t") != std::string_view::npos) return std::string(line);
  return std::string(line.substr(0, colon)) + ";";
}

// Our header lines in order, then "Name:" entries that stop libcurl from adding headers of
// its own that the block does not carry.
bool BuildHeaderList(std::string_view block, Slist& list) {
  bool hasAccept = false, hasContentType = false;
  auto append = [&list](const std::string& line) {
    // curl_slist_append returns the head of the list it extended (the new node when the list
    // was empty), or null leaving the list as it was.
    curl_slist* head = curl_slist_append(list.get(), line.c_str());
    if (head == nullptr) return false;
    if (!list) list.reset(head);
    return true;
  };
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find("\r\n", start);
    if (end == std::string_view::npos) end = block.size();
    const std::string_view line = block.substr(start, end - start);
    start = end + 2;
    if (line.empty()) continue;
    hasAccept = hasAccept || StartsWithName(line, "Accept");
    hasContentType = hasContentType || StartsWithName(line, "Content-Type");
    if (!append(CurlHeaderLine(line))) return false;
  }
  if (!append("Expect:") || !append("Proxy-Connection:")) return false;
  if (!hasAccept && !append("Accept:")) return false;
  if (!hasContentType && !append("Content-Type:")) return false;
  return true;
}

std::string UrlOf(const HttpTransportRequest& r) {
  const std::string host = r.host.find(':') != std::string::npos ? "[" + r.host + "]" : r.host;
  return std::string(r.secure ? "https://" : "http://") + host + ":" + std::to_string(r.port) +
         r.path;
}

// The host of the URL that libcurl is connecting to (the request's own, or a redirect's),
// without the brackets of an IPv6 address; empty when it cannot be told.
std::string ConnectingHost(CURL* easy) {
  char* url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) {
    return "";
  }
  std::unique_ptr<CURLU, UrlDeleter> parts(curl_url());
  char* host = nullptr;
  if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url, 0) != CURLUE_OK ||
      curl_url_get(parts.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
    return "";
  }
  const std::unique_ptr<char, CurlTextDeleter> owned(host);
  std::string name = host;
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  return name;
}

// Called by libcurl before each TLS connection that verifies the server. OpenSSL checks the
// server's name during the chain's verification, the way browsers do: only the
// subjectAltName entries count (a certificate naming its host in the common name alone is
// refused), an address only matches an IP entry, and a wildcard never stands for a whole
// top-level domain (libcurl checks the name as well; both must agree). Without a name to
// check, the connection fails.
CURLcode OnSslContext(CURL* easy, void* sslContext, void*) {
  SSL_CTX* context = static_cast<SSL_CTX*>(sslContext);
  const std::string host = ConnectingHost(easy);
  if (host.empty()) return CURLE_SSL_CERTPROBLEM;
  X509_VERIFY_PARAM* param = SSL_CTX_get0_param(context);
  X509_VERIFY_PARAM_set_hostflags(
      param, X509_CHECK_FLAG_NEVER_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  // An address as text sets the IP to match; anything else is a DNS name.
  if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1) return CURLE_OK;
  return X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size()) == 1 ? CURLE_OK
                                                                            : CURLE_SSL_CERTPROBLEM;
}

bool ApplyTls(CURL* easy, const TlsOptions& tls) {
  if (!tls.verify) {
    // The shop switched verification off explicitly (tls_verify=0); the caller logs it.
    return curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L) == CURLE_OK;
  }
  // Do not switch either check off here: a man-in-the-middle could feed the service print
  // tasks. The system's bundle of roots is libcurl's default; it is read again after an hour,
  // so roots the system adds or withdraws count without a restart.
  if (curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) != CURLE_OK ||
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) != CURLE_OK ||
      curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, OnSslContext) != CURLE_OK ||
      curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 3600L) != CURLE_OK) {
    return false;
  }
  if (tls.caFile.empty()) return true;
  // The file adds roots: the system's store stays trusted beside it, looked up by name in its
  // hashed directory, so both are cheap to read afresh for every new connection (an edited
  // ca_file counts at once).
  return curl_easy_setopt(easy, CURLOPT_CAINFO, tls.caFile.c_str()) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_CAPATH, "/etc/ssl/certs") == CURLE_OK;
}

bool ApplyTimeouts(CURL* easy, int timeoutMs, int totalTimeoutMs) {
  // Resolving, connecting and the TLS handshake share the connect timeout; sending and
  // receiving fail when no byte moves for the timeout (an idle limit, like a socket
  // timeout). A peer that sends a byte now and then never trips that, so the whole
  // transfer has a limit of its own.
  const long seconds = (timeoutMs + 999) / 1000;
  return curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs)) ==
             CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeoutMs)) == CURLE_OK;
}

// The protocols the exchange may use, redirects included: an https exchange never goes on in
// plain text (the headers carry the store's identity and token, and an answer from the plain
// hop could feed the service print tasks); from plain http the exchange was never private,
// so both may follow there. Nothing else (file, ftp, ...) is ever spoken.
bool ApplyProtocols(CURL* easy, const HttpTransportRequest& r) {
  const char* allowed = r.secure ? "https" : "http,https";
  return curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, allowed) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, allowed) == CURLE_OK;
}

bool ApplyRedirects(CURL* easy, const HttpTransportRequest& r) {
  // libcurl sends the server's credentials, and the Authorization and Cookie lines of our
  // block, only to the first origin: another host, port or scheme gets none of them.
  return curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, r.followRedirects ? 1L : 0L) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_UNRESTRICTED_AUTH, 0L) == CURLE_OK;
}

bool ApplyCredentials(CURL* easy, const HttpTransportRequest& r) {
  if (!r.user.empty() && !r.password.empty()) {
    if (curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_USERNAME, r.user.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PASSWORD, r.password.c_str()) != CURLE_OK) {
      return false;
    }
  }
  if (!r.proxyUser.empty() && !r.proxyPassword.empty()) {
    if (curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_BASIC) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, r.proxyUser.c_str()) != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, r.proxyPassword.c_str()) != CURLE_OK) {
      return false;
    }
  }
  return true;
}

// Verb and body: the body goes out with every verb; HEAD is the one verb whose answer has
// no body to wait for.
bool ApplyVerb(CURL* easy, const HttpTransportRequest& r) {
  if (r.verb == "HEAD") return curl_easy_setopt(easy, CURLOPT_NOBODY, 1L) == CURLE_OK;
  if (r.verb == "GET" && r.body.empty()) {
    return curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  }
  if (curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size())) !=
          CURLE_OK ||
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.body.data()) != CURLE_OK) {
    return false;
  }
  // POST stays a plain POST so that a 301/302/303 turns it into a GET as browsers do.
  if (r.verb == "POST") return true;
  return curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.verb.c_str()) == CURLE_OK;
}

bool IsConnectFailure(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SEND_ERROR:
      return true;
    default:
      return false;
  }
}

// Where a failed transfer stopped: in the body of the final answer, after the request went
// out, or before.
HttpFailure FailureOf(CURL* easy, CURLcode code, const Collected& c, bool followRedirects) {
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  const bool redirecting = followRedirects && status >= 300 && status < 400;
  if (c.headersDone && status >= 200 && !redirecting) return HttpFailure::Read;
  // A proxy that refused the tunnel: the request itself never went out.
  long tunnelStatus = 0;
  curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
  if (tunnelStatus >= 300) return HttpFailure::Send;
  long requestBytes = 0;
  curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestBytes);
  if (requestBytes > 0 && !IsConnectFailure(code)) return HttpFailure::NoResponse;
  if (code == CURLE_OPERATION_TIMEDOUT && requestBytes > 0) return HttpFailure::NoResponse;
  return HttpFailure::Send;
}

// The one place that turns a failed transfer into our failure kind, with the words the run
// log shows: ours for the limits this transport sets and for the certificate, timeout and
// redirect cases the shop's support looks for, libcurl's own for the rest.
HttpFailure Classify(CURL* easy, CURLcode code, const Collected& c, const HttpTransportRequest& r,
                     const char* errors, std::chrono::milliseconds took, std::string& reason) {
  if (c.outOfMemory) {
    reason = "内存不足，无法接收应答";
    return HttpFailure::TooLarge;
  }
  if (c.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    reason = "应答长度超过上限 " + std::to_string(r.maxBodyBytes) + " 字节";
    return HttpFailure::TooLarge;
  }
  if (c.lengthConflict) {
    reason = "应答的 Content-Length 前后不一致";
    return HttpFailure::NoResponse;
  }
  // An unreadable CA file is a configuration fault worth its own message, not a TLS failure.
  // It is looked at only when libcurl could not load it: a kept connection reads no file,
  // and opening it before every exchange cost each poll two system calls.
  if (code == CURLE_SSL_CACERT_BADFILE && !r.tls.caFile.empty()) {
    if (std::FILE* f = std::fopen(r.tls.caFile.c_str(), "rb")) {
      std::fclose(f);
    } else {
      reason = "ca_file " + r.tls.caFile + ": " + ErrnoText(errno);
      return HttpFailure::Certificate;
    }
  }
  const std::string words = *errors != '\0' ? errors : curl_easy_strerror(code);
  reason = words;
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
      if (r.secure && !c.location.empty()) {
        reason = "拒绝从 HTTPS 重定向到明文 HTTP：" + c.location;
        return HttpFailure::Redirect;
      }
      break;
    case CURLE_TOO_MANY_REDIRECTS:
      reason = "重定向超过 " + std::to_string(kMaxRedirects) + " 次";
      return HttpFailure::NoResponse;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
      reason = "证书验证失败：" + words;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      reason = took.count() >= r.totalTimeoutMs
                   ? std::string("超时（整个请求的时限已到）")
                   : "超时（" + std::to_string(r.timeoutMs) + " 毫秒内没有进展）";
      reason += "：" + words;
      break;
    default:
      break;
  }
  return FailureOf(easy, code, c, r.followRedirects);
}

// Used on one thread at a time; the handle's state (kept connection, TLS session) is its own.
class CurlTransport final : public HttpTransport {
 public:
  HttpFailure Exchange(const HttpTransportRequest& r, HttpTransportResponse& response) override {
    response = HttpTransportResponse();
    if (!GlobalInit()) return HttpFailure::Platform;
    // One handle for every exchange, reset to no options each time: libcurl keeps its kept
    // connection, its TLS session and its name cache in the handle, so a poll goes out on the
    // kept connection, or resumes the TLS session on a new one, without a new transfer engine.
    if (easy_) {
      curl_easy_reset(easy_.get());
    } else {
      easy_.reset(curl_easy_init());
      if (!easy_) return HttpFailure::Session;
    }
    CURL* e = easy_.get();
    Collected collected;
    collected.easy = e;
    collected.body = &response.body;
    collected.maxBody = r.maxBodyBytes;
    const std::string url = UrlOf(r);
    const std::string proxy = r.proxy.empty() ? "" : "http://" + r.proxy;
    // Empty proxy: none at all, not even one named by the environment.
    if (curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str()) != CURLE_OK) {
      return HttpFailure::Session;
    }
    char errors[CURL_ERROR_SIZE] = "";
    if (curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errors) != CURLE_OK) return HttpFailure::Session;
    if (!ApplyTimeouts(e, r.timeoutMs, r.totalTimeoutMs)) return HttpFailure::Timeouts;
    if (curl_easy_setopt(e, CURLOPT_URL, url.c_str()) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) != CURLE_OK ||
        !ApplyProtocols(e, r) || !ApplyVerb(e, r)) {
      return HttpFailure::Request;
    }
    if (!ApplyCredentials(e, r)) return HttpFailure::Credentials;
    if (!ApplyTls(e, r.tls)) return HttpFailure::Certificate;
    if (!ApplyRedirects(e, r)) return HttpFailure::Redirects;
    Slist headers;
    if (!BuildHeaderList(r.headers, headers) ||
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get()) != CURLE_OK) {
      return HttpFailure::Headers;
    }
    if (curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &collected) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &collected) != CURLE_OK ||
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(r.maxBodyBytes)) !=
            CURLE_OK) {
      return HttpFailure::Request;
    }

    const auto start = std::chrono::steady_clock::now();
    const CURLcode code = curl_easy_perform(e);
    HttpFailure failure = HttpFailure::None;
    if (code != CURLE_OK) {
      const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      failure = Classify(e, code, collected, r, errors, took, response.reason);
    }
    if (failure != HttpFailure::None && failure != HttpFailure::Read) {
      response.body = std::string();
      return failure;
    }
    response.headersRead = collected.headersDone;
    response.rawHeaders = std::move(collected.headers);
    return failure;
  }

 private:
  Easy easy_;
};

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::Create() { return std::make_unique<CurlTransport>(); }

// OpenSSL under libcurl offers TLS 1.2 and 1.3 by itself: nothing to ask for, nothing to note.
std::string TlsVersionNote() { return {}; }

}  // namespace qv::platform
