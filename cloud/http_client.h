// HttpRequest: the program's only way to talk HTTP. One call is one complete synchronous
// exchange; it never throws. Failures come back as a message text in `Status` (the numbered
// texts below) with an empty result.
//
// Texts are UTF-8 inside the program. On the wire the body text and the header block go out
// as GBK bytes, the encoding the cloud has always received; BodyBytes go out untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/http_transport.h"

namespace qv {

inline constexpr size_t kHttpMaxBodyBytes = 32u << 20;

// Inputs; every member but Url may be left at its default.
struct HttpRequestInput {
  std::string Url;             // absolute http:// or https:// URL
  int32_t Method = 0;          // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE,
                               // 7 CONNECT; any other value is GET
  std::string BodyText;        // body as text, sent as GBK bytes
  std::string SendCookies;     // "a=1; b=2", bare or as a whole "Cookie: ..." line
  std::string Headers;         // extra header lines, CR LF separated
  bool NoRedirect = false;     // true: redirects are not followed
  std::string User, Password;  // HTTP Basic for the server
  std::string Proxy;           // "host:port"; empty: no proxy at all
  std::string ProxyUser, ProxyPassword;  // HTTP Basic for the proxy
  int32_t TimeoutSeconds = 0;            // per phase; 0 or less means 30 s; the whole
                                         // exchange gets four times that (all phases)
  bool MergeCookies = true;              // merge SendCookies into the received cookies
  bool CompleteHeaders = true;           // add the default lines Headers lacks
  std::string BodyBytes;                 // when not empty, sent instead of BodyText
  bool NormaliseHeaderNames = true;      // "x-token" -> "X-Token"
  platform::TlsOptions Tls;              // certificate verification and extra roots
  // A longer answer body fails the exchange (713) instead of being held in memory: above
  // the largest cloud answer (a batch of tickets with images runs to about 10 MB), far below
  // what a 32-bit process can hold with room to parse it.
  size_t MaxBodyBytes = kHttpMaxBodyBytes;
  // false: the body is wanted as bytes only (Body), so no decoded text copy of it is made
  // and the function returns an empty text.
  bool DecodeBody = true;
};

// Outputs. Location is only written when the answer has a Location header, so a caller may
// preset it.
struct HttpRequestOutput {
  std::string ReceivedCookies;  // "a=1; b=2", merged with SendCookies when asked
  std::string ResponseHeaders;  // raw response headers, status line first, CR LF separated
  std::string Location;         // last "Location: " header of the answer
  std::string Status;           // "200 OK", or one of the failure messages
  std::string Body;             // raw body bytes
  std::string SendCookies;      // SendCookies as sent, or the merged text when merged
  bool Failed = false;          // a failure message was raised, 713 included (even when the
                                // status line later replaced it in Status)
  std::string Reason;           // with Failed: what went wrong in the transport's own words
                                // (libcurl's or WinHTTP's text), or why the request was
                                // refused; may be empty
};

// Status texts of the failures.
inline constexpr const char* kHttpNoPlatform = "700 当前系统不支持WinHttp服务!";
inline constexpr const char* kHttpBadUrl = "701 解析URL地址失败!";
inline constexpr const char* kHttpNoSession = "702 创建WinHttp会话失败!";
inline constexpr const char* kHttpNoConnection = "703 创建WinHttp连接失败!";
inline constexpr const char* kHttpNoRequest = "704 创建WinHttp请求失败!";
inline constexpr const char* kHttpTimeouts = "705 设置超时时间失败!";
inline constexpr const char* kHttpCredentials = "707 设置代理凭证失败!";
inline constexpr const char* kHttpCookies = "708 禁止自动设置Cookies失败!";
inline constexpr const char* kHttpRedirects = "709 重定向设置失败!";
inline constexpr const char* kHttpHeaders = "710 设置协议头失败!";
inline constexpr const char* kHttpSend = "711 发送请求失败!";
inline constexpr const char* kHttpNoResponse = "712 服务器未响应!";
inline constexpr const char* kHttpRead = "713 读取数据失败!";
inline constexpr const char* kHttpCertificate = "忽略错误/证书错误  失败！";

// Performs the exchange through `transport`. Returns the body as UTF-8 text (decoded from
// the charset the page declares, else from GBK; empty with DecodeBody false); empty after
// any failure that ends the exchange. `out` is filled as described with each member.
std::string HttpRequest(const HttpRequestInput& in, HttpRequestOutput& out,
                        platform::HttpTransport& transport);

}  // namespace qv
