// HttpTransport over WinHTTP, the W entry points throughout. Texts arrive as GBK bytes and
// are widened with code page 936; the raw response headers go back the same way.
#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/http_transport.h"
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
  void reset(HINTERNET h) { h_ = h; }
  HINTERNET get() const { return h_; }
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

// The host of the connection the request is on now (a redirect may have moved it).
std::wstring CurrentHost(HINTERNET request, const std::wstring& fallback) {
  DWORD size = 0;
  WinHttpQueryOption(request, WINHTTP_OPTION_URL, nullptr, &size);
  if (size == 0) return fallback;
  std::wstring url(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_URL, url.data(), &size)) return fallback;
  url.resize(size / sizeof(wchar_t));
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
bool PeerTrusted(HINTERNET request, const std::wstring& host, const win32::CertStore& roots) {
  PCCERT_CONTEXT cert = nullptr;
  DWORD size = sizeof cert;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) ||
      cert == nullptr) {
    return false;
  }
  bool trusted = win32::ServerTrusted(cert, CurrentHost(request, host), roots);
  CertFreeCertificateContext(cert);
  return trusted;
}

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

// Reads the body in the pieces WinHTTP reports available; false when a read fails.
bool ReadBody(HINTERNET request, std::string& body) {
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available) || available < 1) return true;
    std::vector<char> piece(available);
    DWORD read = 0;
    if (!WinHttpReadData(request, piece.data(), available, &read)) return false;
    body.append(piece.data(), read);
  }
}

// A body shorter than its Content-Length was cut off by the peer; not every WinHTTP reports
// that as a failed read.
bool BodyCutShort(HINTERNET request, const std::string& verb, const std::string& body) {
  if (verb == "HEAD") return false;
  DWORD length = 0, size = sizeof length;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  return body.size() < length;
}

class WinHttpTransport final : public HttpTransport {
 public:
  HttpFailure exchange(const HttpTransportRequest& r, HttpTransportResponse& response) override {
    response = HttpTransportResponse();
    if (!WinHttpCheckPlatform()) return HttpFailure::Platform;
    std::wstring host = FromGbk(r.host);

    Internet session, connection, request;
    // The session carries one request, so a proxy for every scheme is the same as one for the
    // request's scheme; the "http=" form is also not understood everywhere (Wine).
    std::wstring proxy = FromGbk(r.proxy);
    session.reset(r.proxy.empty() ? WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)
                                  : WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                                proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return HttpFailure::Session;
    int t = r.timeoutMs;
    if (!WinHttpSetTimeouts(session.get(), t, t, t, t)) return HttpFailure::Timeouts;
    connection.reset(
        WinHttpConnect(session.get(), host.c_str(), static_cast<INTERNET_PORT>(r.port), 0));
    if (!connection) return HttpFailure::Connection;
    std::wstring verb = FromGbk(r.verb), path = FromGbk(r.path);
    request.reset(WinHttpOpenRequest(connection.get(), verb.c_str(), path.c_str(), nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                     r.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return HttpFailure::Request;
    HINTERNET req = request.get();
    // The wait for the answer's headers is bounded by the same timeout (Wine does not apply
    // the receive timeout to it).
    if (!SetDword(req, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, static_cast<DWORD>(t))) {
      return HttpFailure::Timeouts;
    }
    if (!SetCredentials(req, WINHTTP_AUTH_TARGET_SERVER, r.user, r.password) ||
        !SetCredentials(req, WINHTTP_AUTH_TARGET_PROXY, r.proxyUser, r.proxyPassword)) {
      return HttpFailure::Credentials;
    }
    win32::CertStore roots;
    bool checkRoots = false;
    if (r.secure && !applyTls(req, r.tls, roots, checkRoots)) return HttpFailure::Certificate;
    // Cookies travel only in our own header block.
    if (!SetDword(req, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES)) {
      return HttpFailure::Cookies;
    }
    if (!r.followRedirects &&
        !SetDword(req, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS)) {
      return HttpFailure::Redirects;
    }
    std::wstring headers = FromGbk(r.headers);
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(req, headers.c_str(), static_cast<DWORD>(headers.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD)) {
      return HttpFailure::Headers;
    }
    DWORD length = static_cast<DWORD>(r.body.size());
    void* body = length > 0 ? const_cast<char*>(r.body.data()) : WINHTTP_NO_REQUEST_DATA;
    if (!WinHttpSendRequest(req, WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, length, length, 0)) {
      return HttpFailure::Send;
    }
    if (checkRoots && !PeerTrusted(req, host, roots)) return HttpFailure::Send;
    if (!WinHttpReceiveResponse(req, nullptr)) return HttpFailure::NoResponse;
    if (checkRoots && !PeerTrusted(req, host, roots)) return HttpFailure::NoResponse;

    bool complete = ReadBody(req, response.body) && !BodyCutShort(req, r.verb, response.body);
    response.rawHeaders = RawHeaders(req, response.headersRead);
    return complete ? HttpFailure::None : HttpFailure::Read;
  }

 private:
  // Verification stays on unless the shop turned it off. Extra roots: WinHTTP cannot be given
  // them, so it accepts an unknown root and PeerTrusted checks the chain against the system's
  // roots and them.
  static bool applyTls(HINTERNET req, const TlsOptions& tls, win32::CertStore& roots,
                       bool& checkRoots) {
    if (!tls.verify) {
      return SetDword(req, WINHTTP_OPTION_SECURITY_FLAGS,
                      SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                          SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                          SECURITY_FLAG_IGNORE_CERT_DATE_INVALID);
    }
    // The peer is checked here on every request, not only with extra roots: WinHTTP may reuse
    // a pooled connection that an earlier request accepted under other settings (Wine pools
    // connections across sessions).
    checkRoots = true;
    if (tls.caFile.empty()) return true;
    if (!win32::LoadPemCertificates(tls.caFile, roots)) return false;
    return SetDword(req, WINHTTP_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA);
  }
};

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::create() {
  return std::make_unique<WinHttpTransport>();
}

}  // namespace qv::platform
