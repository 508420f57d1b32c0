#include "cloud/http_client.h"

#include <algorithm>
#include <string_view>

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
    case F::TooLarge:
      return kHttpRead;
    case F::Redirect:
      return kHttpSend;
  }
  return kHttpNoResponse;
}

// A CR or LF that is not the end of a header line would start a line of its own on the wire
// (a header the caller never meant to send); a NUL would cut the line short.
bool HasStrayLineBreak(std::string_view block) {
  // Each request's block passes here; the library searches skip the other bytes quickly.
  if (block.find('\0') != std::string_view::npos) return true;
  for (size_t at = block.find('\n'); at != std::string_view::npos; at = block.find('\n', at + 1)) {
    if (at == 0 || block[at - 1] != '\r') return true;
  }
  // Every LF has its CR: a CR without its LF is the only stray one left.
  for (size_t at = block.find('\r'); at != std::string_view::npos; at = block.find('\r', at + 1)) {
    if (at + 1 == block.size() || block[at + 1] != '\n') return true;
  }
  return false;
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

// The wire form of a request: texts as GBK bytes, as the cloud has always received them.
platform::HttpTransportRequest TransportRequest(const HttpRequestInput& in, const UrlParts& url,
                                                const std::string& headerBlock) {
  platform::HttpTransportRequest r;
  r.secure = url.secure;
  r.host = FromUtf8(url.host);
  r.port = url.port;
  r.path = FromUtf8(url.path);
  r.verb = VerbFor(in.Method);
  r.headers = FromUtf8(headerBlock);
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
  // A day per phase is more than any caller means, and keeps the sums within range.
  constexpr int32_t kLongestPhaseSeconds = 24 * 60 * 60;
  r.timeoutMs =
      in.TimeoutSeconds > 0 ? std::min(in.TimeoutSeconds, kLongestPhaseSeconds) * 1000 : 30000;
  // Resolving, connecting, sending and receiving each have the phase's limit; the whole
  // exchange has their sum, so an answer trickled byte by byte cannot hold the caller.
  r.totalTimeoutMs = 4 * r.timeoutMs;
  r.maxBodyBytes = in.MaxBodyBytes;
  r.tls = in.Tls;
  return r;
}

}  // namespace

std::string HttpRequest(const HttpRequestInput& in, HttpRequestOutput& out,
                        platform::HttpTransport& transport) {
  out.SendCookies = in.SendCookies;
  auto refuse = [&out](const char* status, std::string reason) {
    out.Status = status;
    out.Reason = std::move(reason);
    out.Failed = true;
    return std::string();
  };
  UrlParts url;
  if (HasControlCharacter(in.Url)) return refuse(kHttpBadUrl, "URL 含控制字符，请求未发送");
  if (!SplitUrl(in.Url, url)) return refuse(kHttpBadUrl, "");
  const std::string headerBlock = BuildHeaderBlock(in.Headers, in.SendCookies,
                                                   {.method = in.Method,
                                                    .completeHeaders = in.CompleteHeaders,
                                                    .normaliseNames = in.NormaliseHeaderNames});
  if (HasStrayLineBreak(headerBlock)) {
    return refuse(kHttpHeaders, "请求头含不成对的回车、换行或空字符，请求未发送");
  }
  platform::HttpTransportResponse response;
  platform::HttpFailure failure =
      transport.Exchange(TransportRequest(in, url, headerBlock), response);
  if (failure != platform::HttpFailure::None) {
    out.Status = FailureMessage(failure);
    out.Reason = std::move(response.reason);
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
  std::string text = in.DecodeBody ? BodyText(response.body) : std::string();
  out.Body = std::move(response.body);
  return text;
}

}  // namespace qv
