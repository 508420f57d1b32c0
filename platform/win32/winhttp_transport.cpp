// HttpTransport over WinHTTP, the W entry points throughout. Texts arrive as GBK bytes and
// are widened with code page 936; the raw response headers go back the same way.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/http_transport.h"
#include "platform/win32/wide.h"
#include "platform/win32/winhttp_errors.h"
#include "platform/win32/winhttp_tls.h"
#include "platform/win32/winhttp_trust.h"

namespace qv::platform {
namespace {

constexpr UINT kGbk = 936;

std::wstring FromGbk(const std::string& bytes) {
  if (bytes.empty()) return L"";
  int n = MultiByteToWideChar(kGbk, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kGbk, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

std::string ToGbk(const std::wstring& wide) {
  if (wide.empty()) return "";
  int n = WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kGbk, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, nullptr,
                      nullptr);
  return bytes;
}

// Closes a WinHTTP handle when it goes out of scope. Declared session, connection, request,
// they close in the order request, connection, session.
class Internet {
 public:
  Internet() = default;
  ~Internet() {
    if (h_ != nullptr) WinHttpCloseHandle(h_);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
  void Reset(HINTERNET h) { h_ = h; }
  HINTERNET Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_ = nullptr;
};

bool SetDword(HINTERNET h, DWORD option, DWORD value) {
  return WinHttpSetOption(h, option, &value, sizeof value);
}

bool SetCredentials(HINTERNET request, DWORD target, const std::string& user,
                    const std::string& password) {
  if (user.empty() || password.empty()) return true;
  std::wstring u = FromGbk(user), p = FromGbk(password);
  return WinHttpSetCredentials(request, target, WINHTTP_AUTH_SCHEME_BASIC, u.c_str(), p.c_str(),
                               nullptr);
}

// The URL the request is at now (a redirect may have moved it); empty when unknown.
std::wstring CurrentUrl(HINTERNET request) {
  DWORD size = 0;
  WinHttpQueryOption(request, WINHTTP_OPTION_URL, nullptr, &size);
  if (size == 0) return L"";
  std::wstring url(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_URL, url.data(), &size)) return L"";
  url.resize(size / sizeof(wchar_t));
  return url;
}

// The host of the connection the request is on now.
std::wstring CurrentHost(HINTERNET request, const std::wstring& fallback) {
  const std::wstring url = CurrentUrl(request);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts) || parts.lpszHostName == nullptr) {
    return fallback;
  }
  return std::wstring(parts.lpszHostName, parts.dwHostNameLength);
}

// With extra roots WinHTTP is told to accept an unknown root, so the chain must be checked
// here, before any answer is read: otherwise anyone in the middle could feed us print tasks.
bool PeerTrusted(HINTERNET request, const std::wstring& host, const win32::CertStore& roots,
                 std::string& reason) {
  PCCERT_CONTEXT cert = nullptr;
  DWORD size = sizeof cert;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) ||
      cert == nullptr) {
    reason = "服务器未出示证书";
    return false;
  }
  bool trusted = win32::ServerTrusted(cert, CurrentHost(request, host), roots, reason);
  CertFreeCertificateContext(cert);
  return trusted;
}

bool StartsWithHttp(const std::wstring& url) {
  return url.size() >= 5 && CompareStringOrdinal(url.c_str(), 5, L"http:", 5, TRUE) == CSTR_EQUAL;
}

// An https exchange must never go on in plain text: the request carries the store's identity
// and token, and a plain answer could feed us print tasks. WinHTTP's default policy refuses
// such a redirect and hands back the redirect answer itself; that is no answer either.
std::string PlainRedirect(HINTERNET request) {
  if (StartsWithHttp(CurrentUrl(request))) return win32::Narrow(CurrentUrl(request));
  DWORD status = 0, size = sizeof status;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX) ||
      status < 300 || status > 399) {
    return "";
  }
  wchar_t location[2048];
  size = sizeof location;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location,
                           &size, WINHTTP_NO_HEADER_INDEX)) {
    return "";
  }
  const std::wstring target(location, size / sizeof(wchar_t));
  return StartsWithHttp(target) ? win32::Narrow(target) : "";
}

// Records the certificate problems WinHTTP reports while it sends, for the failure's reason.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD size) {
  if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context != 0 && info != nullptr &&
      size >= sizeof(DWORD)) {
    *reinterpret_cast<DWORD*>(context) |= *static_cast<DWORD*>(info);
  }
}

// The limit of the whole exchange, from its start.
class ExchangeDeadline {
 public:
  explicit ExchangeDeadline(int totalMs)
      : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(totalMs)) {}
  // Milliseconds left, at least 1 while any are left; 0 once passed.
  DWORD RemainingMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end_ - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
  }

 private:
  std::chrono::steady_clock::time_point end_;
};

std::string RawHeaders(HINTERNET request, bool& ok) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                      WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  ok = size > 0 &&
       WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                           buffer.data(), &size, WINHTTP_NO_HEADER_INDEX);
  if (!ok) return "";
  buffer.resize(size / sizeof(wchar_t));
  return ToGbk(buffer);
}

enum class BodyEnd { Complete, Failed, TooLarge, TimedOut };

// Reads the body in the pieces WinHTTP reports available, up to maxBytes and within the
// deadline: each wait for data gets the phase's limit or what is left of the whole, whichever
// is shorter, so a peer trickling its answer is cut off in time.
BodyEnd ReadBody(HINTERNET request, std::string& body, size_t maxBytes, DWORD phaseMs,
                 const ExchangeDeadline& deadline) {
  for (;;) {
    const DWORD left = deadline.RemainingMs();
    if (left == 0) return BodyEnd::TimedOut;
    SetDword(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, std::min(phaseMs, left));
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      return deadline.RemainingMs() == 0 ? BodyEnd::TimedOut : BodyEnd::Failed;
    }
    if (available < 1) return BodyEnd::Complete;
    if (available > maxBytes - body.size()) return BodyEnd::TooLarge;
    std::vector<char> piece(available);
    DWORD read = 0;
    if (!WinHttpReadData(request, piece.data(), available, &read)) return BodyEnd::Failed;
    body.append(piece.data(), read);
  }
}

// The length the answer announces, when it announces one.
bool ContentLength(HINTERNET request, DWORD& length) {
  DWORD size = sizeof length;
  return WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &length, &size,
                             WINHTTP_NO_HEADER_INDEX) != 0;
}

// A body shorter than its Content-Length was cut off by the peer; not every WinHTTP reports
// that as a failed read.
bool BodyCutShort(HINTERNET request, const std::string& verb, const std::string& body) {
  DWORD length = 0;
  return verb != "HEAD" && ContentLength(request, length) && body.size() < length;
}

// A failure of the WinHTTP call just made, with its error in words.
HttpFailure Failed(HttpFailure failure, HttpTransportResponse& response) {
  response.reason = win32::WinHttpErrorText(GetLastError());
  return failure;
}

// One exchange, step by step; each step returns None or the failure that ends the exchange,
// with its reason in the response.
class WinHttpExchange {
 public:
  WinHttpExchange(const HttpTransportRequest& r, HttpTransportResponse& response)
      : r_(r), response_(response), deadline_(r.totalTimeoutMs), host_(FromGbk(r.host)) {}

  HttpFailure Run() {
    HttpFailure failure = open();
    if (failure == HttpFailure::None) failure = Configure();
    if (failure == HttpFailure::None) failure = Send();
    if (failure == HttpFailure::None) failure = Receive();
    if (failure == HttpFailure::None) failure = Read();
    return failure;
  }

 private:
  HttpFailure open() {
    // The session carries one request, so a proxy for every scheme is the same as one for the
    // request's scheme; the "http=" form is also not understood everywhere (Wine).
    std::wstring proxy = FromGbk(r_.proxy);
    session_.Reset(r_.proxy.empty() ? WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)
                                    : WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                                  proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session_) return Failed(HttpFailure::Session, response_);
    // Where the system refuses, the exchange goes on with its defaults; the run log said so
    // once at the start (TlsVersionNote).
    win32::RequestModernTls(session_.Get());
    const int t = r_.timeoutMs;
    if (!WinHttpSetTimeouts(session_.Get(), t, t, t, t)) {
      return Failed(HttpFailure::Timeouts, response_);
    }
    connection_.Reset(
        WinHttpConnect(session_.Get(), host_.c_str(), static_cast<INTERNET_PORT>(r_.port), 0));
    if (!connection_) return Failed(HttpFailure::Connection, response_);
    std::wstring verb = FromGbk(r_.verb), path = FromGbk(r_.path);
    request_.Reset(WinHttpOpenRequest(connection_.Get(), verb.c_str(), path.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      r_.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request_) return Failed(HttpFailure::Request, response_);
    return HttpFailure::None;
  }

  HttpFailure Configure() {
    HINTERNET req = request_.Get();
    if (!SetCredentials(req, WINHTTP_AUTH_TARGET_SERVER, r_.user, r_.password) ||
        !SetCredentials(req, WINHTTP_AUTH_TARGET_PROXY, r_.proxyUser, r_.proxyPassword)) {
      return Failed(HttpFailure::Credentials, response_);
    }
    if (r_.secure && !ApplyTls()) return HttpFailure::Certificate;
    // Cookies travel only in our own header block.
    if (!SetDword(req, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES)) {
      return Failed(HttpFailure::Cookies, response_);
    }
    // The default policy already refuses https to http; it is set so no other default can
    // creep in. PlainRedirect() checks the outcome either way.
    SetDword(req, WINHTTP_OPTION_REDIRECT_POLICY,
             WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP);
    if (!r_.followRedirects &&
        !SetDword(req, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS)) {
      return Failed(HttpFailure::Redirects, response_);
    }
    std::wstring headers = FromGbk(r_.headers);
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(req, headers.c_str(), static_cast<DWORD>(headers.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD)) {
      return Failed(HttpFailure::Headers, response_);
    }
    WinHttpSetStatusCallback(req, OnStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
    return HttpFailure::None;
  }

  HttpFailure Send() {
    HINTERNET req = request_.Get();
    // The wait for the answer's headers is bounded by the phase's limit, or what is left of
    // the whole exchange when that is less (Wine does not apply the receive timeout to it,
    // and takes this option only before the request is sent).
    SetDword(
        req, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
        std::min(static_cast<DWORD>(r_.timeoutMs), std::max<DWORD>(deadline_.RemainingMs(), 1)));
    DWORD length = static_cast<DWORD>(r_.body.size());
    void* body = length > 0 ? const_cast<char*>(r_.body.data()) : WINHTTP_NO_REQUEST_DATA;
    if (!WinHttpSendRequest(req, WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, length, length,
                            reinterpret_cast<DWORD_PTR>(&secureFailures_))) {
      return SecureFailed(HttpFailure::Send);
    }
    if (checkRoots_ && !PeerTrusted(req, host_, roots_, response_.reason)) return HttpFailure::Send;
    return HttpFailure::None;
  }

  HttpFailure Receive() {
    HINTERNET req = request_.Get();
    if (!WinHttpReceiveResponse(req, nullptr)) {
      // The error WinHTTP gives when a redirect would change the scheme (Wine raises it for
      // the policy above).
      if (r_.secure && GetLastError() == ERROR_WINHTTP_REDIRECT_FAILED) {
        response_.reason = "拒绝从 HTTPS 重定向到明文 HTTP（" +
                           win32::WinHttpErrorText(ERROR_WINHTTP_REDIRECT_FAILED) + "）";
        return HttpFailure::Redirect;
      }
      return SecureFailed(HttpFailure::NoResponse);
    }
    if (checkRoots_ && !PeerTrusted(req, host_, roots_, response_.reason)) {
      return HttpFailure::NoResponse;
    }
    if (r_.secure && r_.followRedirects) {
      if (const std::string target = PlainRedirect(req); !target.empty()) {
        response_.reason = "拒绝从 HTTPS 重定向到明文 HTTP：" + target;
        return HttpFailure::Redirect;
      }
    }
    DWORD length = 0;
    if (ContentLength(req, length) && length > r_.maxBodyBytes) return TooLarge();
    return HttpFailure::None;
  }

  HttpFailure Read() {
    HINTERNET req = request_.Get();
    const BodyEnd end =
        ReadBody(req, response_.body, r_.maxBodyBytes, static_cast<DWORD>(r_.timeoutMs), deadline_);
    if (end == BodyEnd::TooLarge) return TooLarge();
    const bool complete = end == BodyEnd::Complete && !BodyCutShort(req, r_.verb, response_.body);
    if (end == BodyEnd::TimedOut) {
      response_.reason = "整个交换超过 " + std::to_string(r_.totalTimeoutMs / 1000) + " 秒仍未完成";
    } else if (end == BodyEnd::Failed) {
      response_.reason = win32::WinHttpErrorText(GetLastError());
    } else if (!complete) {
      response_.reason = "应答体短于 Content-Length";
    }
    response_.rawHeaders = RawHeaders(req, response_.headersRead);
    return complete ? HttpFailure::None : HttpFailure::Read;
  }

  HttpFailure TooLarge() {
    response_.body.clear();
    response_.reason = "应答长度超过上限 " + std::to_string(r_.maxBodyBytes) + " 字节";
    return HttpFailure::TooLarge;
  }

  // A failed send or receive, with the certificate problems WinHTTP reported on the way.
  HttpFailure SecureFailed(HttpFailure failure) {
    Failed(failure, response_);
    const std::string certificate = win32::SecureFailureText(secureFailures_);
    if (!certificate.empty()) response_.reason += "：" + certificate;
    return failure;
  }

  // Verification stays on unless the shop turned it off. Extra roots: WinHTTP cannot be given
  // them, so it accepts an unknown root and PeerTrusted checks the chain against the system's
  // roots and them.
  bool ApplyTls() {
    HINTERNET req = request_.Get();
    if (!r_.tls.verify) {
      if (SetDword(req, WINHTTP_OPTION_SECURITY_FLAGS,
                   SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                       SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_DATE_INVALID)) {
        return true;
      }
      Failed(HttpFailure::Certificate, response_);
      return false;
    }
    // The peer is checked here on every request, not only with extra roots: WinHTTP may reuse
    // a pooled connection that an earlier request accepted under other settings (Wine pools
    // connections across sessions).
    checkRoots_ = true;
    if (r_.tls.caFile.empty()) return true;
    if (!win32::LoadPemCertificates(r_.tls.caFile, roots_)) {
      response_.reason = "ca_file " + r_.tls.caFile + " 无法读取或不含证书";
      return false;
    }
    if (SetDword(req, WINHTTP_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA)) return true;
    Failed(HttpFailure::Certificate, response_);
    return false;
  }

  const HttpTransportRequest& r_;
  HttpTransportResponse& response_;
  const ExchangeDeadline deadline_;
  const std::wstring host_;
  // Declared session, connection, request: they close in the order request, connection,
  // session.
  Internet session_, connection_, request_;
  win32::CertStore roots_;
  bool checkRoots_ = false;
  DWORD secureFailures_ = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* seen while sending
};

class WinHttpTransport final : public HttpTransport {
 public:
  HttpFailure Exchange(const HttpTransportRequest& r, HttpTransportResponse& response) override {
    response = HttpTransportResponse();
    if (!WinHttpCheckPlatform()) return HttpFailure::Platform;
    return WinHttpExchange(r, response).Run();
  }
};

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::Create() {
  return std::make_unique<WinHttpTransport>();
}

}  // namespace qv::platform
