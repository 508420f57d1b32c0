// The text rules of an HTTP exchange, free of any transport: how a URL is split, which verb a
// method code means, how the request header block is completed and normalised, and how the
// answer's status, cookies, redirect target and charset are read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

struct UrlParts {
  bool secure = false;  // https
  std::string host;     // without brackets
  int port = 0;         // the URL's port, else the scheme's default
  std::string path;     // path ("/" when the URL has none) followed by query and fragment
};

// Splits an absolute http:// or https:// URL (scheme case-insensitive); user info is
// dropped. False for any other scheme, no host, or a port outside 1..65535.
bool SplitUrl(std::string_view url, UrlParts& parts);

// "GET", "POST", ... for the method codes 0..7; any other code is "GET".
std::string VerbFor(int32_t method);

struct HeaderOptions {
  int32_t method = 0;
  bool completeHeaders = true;
  bool normaliseNames = true;
};

// The request header block: `headers` completed with the default lines it lacks,
// names normalised, "Connection: keep-alive" removed and the cookies appended. Each line of
// the result ends with CR LF.
std::string BuildHeaderBlock(std::string_view headers, std::string_view sendCookies,
                             const HeaderOptions& options);

// "x-token" -> "X-Token": each "-"-separated piece of the name gets an upper-case first
// letter; the rest is left as it is.
std::string NormaliseHeaderName(std::string_view name);

// The status text of the raw headers' first line: what follows the protocol word
// ("200 OK" for "HTTP/1.1 200 OK", "200" for "HTTP/2 200"); empty when there is none.
std::string StatusText(std::string_view rawHeaders);

struct ResponseCookies {
  std::string cookies;   // "a=1; b=2" in the order of the answer
  std::string location;  // value of the last Location header
  bool hasLocation = false;
};

// Reads the Set-Cookie (name case-sensitive) and Location (case-insensitive) lines.
ResponseCookies ScanResponseHeaders(std::string_view rawHeaders);

// Merges an old cookie text into a new one: new values win, old cookies the answer did not
// mention follow, "=deleted" cookies and exact duplicates go.
std::string MergeCookies(std::string_view oldCookies, std::string_view newCookies);

// The charset a page declares in a meta tag within its first 1024 bytes; empty when none.
std::string DeclaredCharset(std::string_view body);

// The body as UTF-8 text: decoded from the declared charset when there is one the platform
// knows, else from GBK, the code page the cloud's pages were written in. The GBK reading
// stops at the first zero byte.
std::string BodyText(std::string_view body);

}  // namespace qv
