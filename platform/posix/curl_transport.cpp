// HttpTransport over libcurl. libcurl is told to behave like the platform HTTP stack the cloud
// was built against: HTTP/1.1, our header block in our order (no Expect, no default Accept or
// Content-Type of its own), no cookie engine, per-phase timeouts, and a total one on top.
#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

#include "platform/http_transport.h"

namespace qv::platform {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// What the callbacks collected during one exchange.
struct Collected {
  std::string headers;       // lines of the latest response, status line first
  bool headersDone = false;  // the blank line ending the latest response's headers was seen
  std::string body;
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

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* c = static_cast<Collected*>(user);
  std::string_view line(data, size * count);
  // A new status line starts a new response (interim 100, a followed redirect, a proxy's
  // CONNECT answer): only the final response's headers are delivered.
  if (line.substr(0, 5) == "HTTP/") {
    c->headers.clear();
    c->headersDone = false;
  }
  if (line == "\r\n" || line == "\n") c->headersDone = true;
  return Collect(c, line.size(), [&] { c->headers += line; });
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* c = static_cast<Collected*>(user);
  const size_t n = size * count;
  // An answer without a length can still be endless; stop before it is held in memory.
  if (n > c->maxBody - c->body.size()) {
    c->tooLarge = true;
    return 0;
  }
  return Collect(c, n, [&] { c->body.append(data, n); });
}

bool GlobalInit() {
  static std::once_flag once;
  static CURLcode result = CURLE_FAILED_INIT;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result == CURLE_OK;
}

bool StartsWithName(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) !=
        std::tolower(static_cast<unsigned char>(name[i]))) {
      return false;
    }
  }
  return true;
}

// libcurl reads "Name:" with nothing after the colon as "do not send Name"; "Name;" is its
// spelling of a header with an empty value, which is what the line means.
std::string CurlHeaderLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::string(line);
  std::string_view value = line.substr(colon + 1);
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
    std::string_view line = block.substr(start, end - start);
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
  std::string host = r.host.find(':') != std::string::npos ? "[" + r.host + "]" : r.host;
  return std::string(r.secure ? "https://" : "http://") + host + ":" + std::to_string(r.port) +
         r.path;
}

bool ApplyTls(CURL* easy, const TlsOptions& tls, std::string& reason) {
  if (!tls.verify) {
    // The shop switched verification off explicitly (tls_verify=0); the caller logs it.
    return curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L) == CURLE_OK;
  }
  if (curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) != CURLE_OK ||
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) != CURLE_OK) {
    return false;
  }
  if (tls.caFile.empty()) return true;
  // An unreadable CA file is a configuration fault worth its own message, not a TLS failure.
  std::FILE* f = std::fopen(tls.caFile.c_str(), "rb");
  if (f == nullptr) {
    reason = "ca_file " + tls.caFile + ": " + std::strerror(errno);
    return false;
  }
  std::fclose(f);
  // The file adds roots: the system's directory of roots stays trusted beside it.
  return curl_easy_setopt(easy, CURLOPT_CAINFO, tls.caFile.c_str()) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_CAPATH, "/etc/ssl/certs") == CURLE_OK;
}

bool ApplyTimeouts(CURL* easy, int timeoutMs, int totalTimeoutMs) {
  // Resolving, connecting and the TLS handshake share the connect timeout; sending and
  // receiving fail when no byte moves for the timeout (an idle limit, like a socket
  // timeout). A peer that sends a byte now and then never trips that, so the whole
  // transfer has a limit of its own.
  long seconds = (timeoutMs + 999) / 1000;
  return curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs)) ==
             CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, seconds) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeoutMs)) == CURLE_OK;
}

// Redirects are followed as the platform stack does, but an https exchange never goes on in
// plain text: the headers carry the store's identity and token, and an answer from the
// plain hop could feed the service print tasks. (From plain http the exchange was never
// private, so both schemes may follow there.)
bool ApplyRedirects(CURL* easy, const HttpTransportRequest& r) {
  return curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, r.followRedirects ? 1L : 0L) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L) == CURLE_OK &&
         curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, r.secure ? "https" : "http,https") ==
             CURLE_OK;
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
    case CURLE_SEND_ERROR:
      return true;
    default:
      return false;
  }
}

// The one place that turns a failed transfer into our failure kinds.
HttpFailure FailureOf(CURL* easy, CURLcode code, const Collected& c, bool followRedirects) {
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  bool redirecting = followRedirects && status >= 300 && status < 400;
  if (c.headersDone && status >= 200 && !redirecting) return HttpFailure::Read;
  long requestBytes = 0;
  curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestBytes);
  if (requestBytes > 0 && !IsConnectFailure(code)) return HttpFailure::NoResponse;
  if (code == CURLE_OPERATION_TIMEDOUT && requestBytes > 0) return HttpFailure::NoResponse;
  return HttpFailure::Send;
}

// A failed transfer as our failure kind, with libcurl's own words for it (or ours, for the
// limits this transport sets).
HttpFailure Classify(CURL* easy, CURLcode code, const Collected& c, const HttpTransportRequest& r,
                     const char* errors, std::string& reason) {
  if (c.outOfMemory) {
    reason = "内存不足，无法接收应答";
    return HttpFailure::TooLarge;
  }
  if (c.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    reason = "应答长度超过上限 " + std::to_string(r.maxBodyBytes) + " 字节";
    return HttpFailure::TooLarge;
  }
  reason = *errors != '\0' ? errors : curl_easy_strerror(code);
  if (code == CURLE_UNSUPPORTED_PROTOCOL && r.secure && r.followRedirects) {
    const char* target = nullptr;
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &target);
    reason = std::string("拒绝从 HTTPS 重定向到明文 HTTP：") + (target ? target : "");
    return HttpFailure::Redirect;
  }
  return FailureOf(easy, code, c, r.followRedirects);
}

// Connections and TLS sessions kept between the exchanges of one transport. The service
// talks to one cloud host every few seconds; a fresh TLS handshake for every poll and every
// report cost several milliseconds of CPU each. libcurl reuses a connection only when host,
// port, proxy and TLS settings all match, and retries a request once when a kept connection
// turns out to be closed. The transport is used on one thread, so the share needs no locks.
class CurlShare {
 public:
  CurlShare() : share_(curl_share_init()) {
    if (share_ == nullptr) return;
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  ~CurlShare() {
    if (share_ != nullptr) curl_share_cleanup(share_);
  }
  CurlShare(const CurlShare&) = delete;
  CurlShare& operator=(const CurlShare&) = delete;
  // Attaches the share to a request; nothing when it could not be created.
  void attach(CURL* easy) const {
    if (share_ != nullptr) curl_easy_setopt(easy, CURLOPT_SHARE, share_);
  }

 private:
  CURLSH* share_;
};

class CurlTransport final : public HttpTransport {
 public:
  HttpFailure exchange(const HttpTransportRequest& r, HttpTransportResponse& response) override {
    response = HttpTransportResponse();
    if (!GlobalInit()) return HttpFailure::Platform;
    if (!share_) share_ = std::make_unique<CurlShare>();
    // One handle for every exchange, reset to no options each time: libcurl keeps its
    // connection cache and its name cache in the handle, so a poll on a kept connection does
    // not set up a new transfer engine (a fresh handle costs a socket pair and a few
    // kilobytes of set-up each time).
    if (easy_) {
      curl_easy_reset(easy_.get());
    } else {
      easy_.reset(curl_easy_init());
      if (!easy_) return HttpFailure::Session;
    }
    CURL* e = easy_.get();
    share_->attach(e);
    Collected collected;
    collected.maxBody = r.maxBodyBytes;
    std::string url = UrlOf(r);
    std::string proxy = r.proxy.empty() ? "" : "http://" + r.proxy;
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
        !ApplyVerb(e, r)) {
      return HttpFailure::Request;
    }
    if (!ApplyCredentials(e, r)) return HttpFailure::Credentials;
    if (!ApplyTls(e, r.tls, response.reason)) return HttpFailure::Certificate;
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

    CURLcode code = curl_easy_perform(e);
    HttpFailure failure = HttpFailure::None;
    if (code != CURLE_OK) {
      failure = Classify(e, code, collected, r, errors, response.reason);
    }
    if (failure != HttpFailure::None && failure != HttpFailure::Read) return failure;
    response.headersRead = collected.headersDone;
    response.rawHeaders = std::move(collected.headers);
    response.body = std::move(collected.body);
    return failure;
  }

 private:
  // The share outlives the handle that uses it (members are destroyed in reverse order).
  std::unique_ptr<CurlShare> share_;
  Easy easy_;
};

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::create() { return std::make_unique<CurlTransport>(); }

}  // namespace qv::platform
