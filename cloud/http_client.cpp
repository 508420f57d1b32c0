#include "cloud/http_client.h"

#include "cloud/http_text.h"
#include "platform/gbk.h"

namespace qv {
namespace {

// The one place that turns a transport failure into the message the caller sees.
const char* FailureMessage(platform::HttpFailure failure) {
  using F = platform::HttpFailure;
  switch (failure) {
    case F::None:
      return "";
    case F::Platform:
      return kHttpNoPlatform;
    case F::Session:
      return kHttpNoSession;
    case F::Timeouts:
      return kHttpTimeouts;
    case F::Connection:
      return kHttpNoConnection;
    case F::Request:
      return kHttpNoRequest;
    case F::Credentials:
      return kHttpCredentials;
    case F::Certificate:
      return kHttpCertificate;
    case F::Cookies:
      return kHttpCookies;
    case F::Redirects:
      return kHttpRedirects;
    case F::Headers:
      return kHttpHeaders;
    case F::Send:
      return kHttpSend;
    case F::NoResponse:
      return kHttpNoResponse;
    case F::Read:
      return kHttpRead;
  }
  return kHttpNoResponse;
}

// The wire form of a request: texts as GBK bytes, as the cloud has always received them.
platform::HttpTransportRequest TransportRequest(const HttpRequestInput& in, const UrlParts& url) {
  platform::HttpTransportRequest r;
  r.secure = url.secure;
  r.host = FromUtf8(url.host);
  r.port = url.port;
  r.path = FromUtf8(url.path);
  r.verb = VerbFor(in.Method);
  r.headers = FromUtf8(BuildHeaderBlock(in.Headers, in.SendCookies,
                                        {.method = in.Method,
                                         .completeHeaders = in.CompleteHeaders,
                                         .normaliseNames = in.NormaliseHeaderNames}));
  r.body = in.BodyBytes.empty() ? FromUtf8(in.BodyText) : in.BodyBytes;
  r.followRedirects = !in.NoRedirect;
  if (!in.User.empty() && !in.Password.empty()) {
    r.user = FromUtf8(in.User);
    r.password = FromUtf8(in.Password);
  }
  r.proxy = FromUtf8(in.Proxy);
  if (!in.ProxyUser.empty() && !in.ProxyPassword.empty()) {
    r.proxyUser = FromUtf8(in.ProxyUser);
    r.proxyPassword = FromUtf8(in.ProxyPassword);
  }
  r.timeoutMs = in.TimeoutSeconds > 0 ? in.TimeoutSeconds * 1000 : 30000;
  r.tls = in.Tls;
  return r;
}

}  // namespace

std::string HttpRequest(const HttpRequestInput& in, HttpRequestOutput& out,
                        platform::HttpTransport& transport) {
  out.SendCookies = in.SendCookies;
  UrlParts url;
  if (!SplitUrl(in.Url, url)) {
    out.Status = kHttpBadUrl;
    out.Failed = true;
    return "";
  }
  platform::HttpTransportResponse response;
  platform::HttpFailure failure = transport.exchange(TransportRequest(in, url), response);
  if (failure != platform::HttpFailure::None) {
    out.Status = FailureMessage(failure);
    out.Failed = true;
    // A failed body read still delivers what arrived; every other failure ends here.
    if (failure != platform::HttpFailure::Read) return "";
  }
  if (!response.headersRead) {
    out.Failed = true;
    return "";
  }

  out.ResponseHeaders = ToUtf8(response.rawHeaders);
  out.Status = StatusText(out.ResponseHeaders);
  ResponseCookies scanned = ScanResponseHeaders(out.ResponseHeaders);
  out.ReceivedCookies = scanned.cookies;
  if (scanned.hasLocation) out.Location = scanned.location;
  if (in.MergeCookies && !in.SendCookies.empty()) {
    out.ReceivedCookies = MergeCookies(in.SendCookies, out.ReceivedCookies);
    out.SendCookies = out.ReceivedCookies;
  }
  std::string text = BodyText(response.body);
  out.Body = std::move(response.body);
  return text;
}

}  // namespace qv
