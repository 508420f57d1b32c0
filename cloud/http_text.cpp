#include "cloud/http_text.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/gbk.h"
#include "platform/text_codec.h"
#include "util/regex.h"
#include "util/text.h"

namespace qv {
namespace {

constexpr std::string_view kCrlf = "\r\n";

// Splits at every occurrence of `separator`; an empty text gives one empty piece.
std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, start)) {
    pieces.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// Takes the text up to the next CR LF, or to the end, off the front of `text`.
std::string_view TakeLine(std::string_view& text) {
  const size_t end = text.find(kCrlf);
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + kCrlf.size());
  return line;
}

bool ParsePort(std::string_view digits, int& port) {
  if (digits.empty() || digits.size() > 5) return false;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = value;
  return true;
}

struct DefaultLine {
  std::string_view name;  // lower case
  bool blankAfterColon;   // part of the key, so "accept:text/plain" is no Accept line
  std::string_view line;
  bool postOnly;
};

// The lines a request gets when the caller's headers lack them, in the order they are added.
// A line counts as present when its key (name, colon and, with most, a blank) occurs anywhere
// in the block, case ignored. Content-Type has no blank in its key, so
// "content-type:text/plain" counts.
constexpr DefaultLine kDefaultLines[] = {
    {"user-agent", true,
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)", false},
    {"accept", true, "Accept: text/html, application/xhtml+xml, */*", false},
    {"accept-encoding", true, "Accept-Encoding: identity", false},
    {"accept-language", true, "Accept-Language: zh-cn", false},
    {"content-type", false, "Content-Type: application/x-www-form-urlencoded", true},
    {"cache-control", true, "Cache-Control: no-cache", false},
};

// Room for all the default lines, so that completing a block needs no second allocation.
constexpr size_t kDefaultLinesRoom = 320;

// "x-token" -> "X-Token", in place.
void CapitalisePieces(char* name, size_t size) {
  bool pieceStart = true;
  for (char* c = name; c != name + size; ++c) {
    if (pieceStart && *c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    pieceStart = *c == '-';
  }
}

// Appends the CR LF separated lines of `headers`, names normalised, each ending with CR LF.
void AppendNormalisedLines(std::string& block, std::string_view headers) {
  while (!headers.empty()) {
    const std::string_view line = TakeLine(headers);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;  // not a header line: dropped
    const size_t nameAt = block.size();
    block += line;
    block += kCrlf;
    CapitalisePieces(block.data() + nameAt, colon);
  }
}

// True when the key of `d` occurs in `block` with its colon at `colon`, case ignored.
bool KeyAt(std::string_view block, size_t colon, const DefaultLine& d) {
  if (d.blankAfterColon && (colon + 1 == block.size() || block[colon + 1] != ' ')) return false;
  return colon >= d.name.size() &&
         EqualsIgnoreCase(block.substr(colon - d.name.size(), d.name.size()), d.name);
}

// Appends the default lines whose key occurs nowhere in the block. Every occurrence of a key
// has its colon, so one walk over the colons decides all the lines; no default line holds
// another one's key, so the lines appended cannot change the outcome for the rest.
void AppendMissingDefaults(std::string& block, int32_t method) {
  bool present[std::size(kDefaultLines)] = {};
  for (size_t colon = block.find(':'); colon != std::string::npos;
       colon = block.find(':', colon + 1)) {
    for (size_t i = 0; i < std::size(kDefaultLines); ++i) {
      present[i] = present[i] || KeyAt(block, colon, kDefaultLines[i]);
    }
  }
  for (size_t i = 0; i < std::size(kDefaultLines); ++i) {
    const DefaultLine& d = kDefaultLines[i];
    if (present[i] || (d.postOnly && method != 1)) continue;
    block += d.line;
    block += kCrlf;
  }
}

// The platform keeps connections alive by itself; an explicit keep-alive line is dropped.
void RemoveKeepAlive(std::string& block) {
  // Only the first line that starts with the name counts.
  std::string_view lines = block;
  std::string_view value;
  while (!lines.empty()) {
    const std::string_view line = TakeLine(lines);
    if (!line.starts_with("Connection")) continue;
    if (line.starts_with("Connection: ")) value = line.substr(12);
    break;
  }
  if (value != "keep-alive") return;
  const std::string line = "Connection: keep-alive\r\n";
  for (size_t at = block.find(line); at != std::string::npos; at = block.find(line, at)) {
    block.erase(at, line.size());
  }
}

void AppendCookies(std::string& block, std::string_view sendCookies) {
  if (sendCookies.empty() || ContainsIgnoreCase(block, "Cookie:")) return;
  // Every line already ends with CR LF; a blank line would end the header block early.
  if (!ContainsIgnoreCase(sendCookies, "Cookie:")) block += "Cookie: ";
  block += sendCookies;
  block += kCrlf;
}

std::string CookieName(std::string_view item) {
  size_t eq = item.find('=');
  return std::string(TrimBlanks(eq == std::string_view::npos ? item : item.substr(0, eq)));
}

std::vector<std::string> CookieItems(std::string_view text) {
  std::string trimmed(TrimBlanks(text));
  if (!trimmed.empty() && trimmed.back() == ';') trimmed += ' ';
  std::vector<std::string> items;
  for (std::string_view item : Split(trimmed, "; ")) {
    // An empty item (from "a=1; ; b=2" or an empty text) is no cookie.
    if (!TrimBlanks(item).empty()) items.emplace_back(item);
  }
  return items;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

}  // namespace

bool SplitUrl(std::string_view url, UrlParts& parts) {
  size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return false;
  const std::string_view scheme = url.substr(0, schemeEnd);
  const bool secure = EqualsIgnoreCase(scheme, "https");
  if (!secure && !EqualsIgnoreCase(scheme, "http")) return false;
  UrlParts result;
  result.secure = secure;
  result.port = result.secure ? 443 : 80;

  std::string_view rest = url.substr(schemeEnd + 3);
  const size_t authorityEnd =
      static_cast<size_t>(std::find_if(rest.begin(), rest.end(),
                                       [](char c) { return c == '/' || c == '?' || c == '#'; }) -
                          rest.begin());
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view path = rest.substr(authorityEnd);
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);

  std::string_view host = authority;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      port = after.substr(1);
    }
  } else if (size_t colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return false;
  if (!port.empty() && !ParsePort(port, result.port)) return false;
  result.host = std::string(host);
  // A query right after the host keeps its place behind the root path.
  bool rooted = !path.empty() && path.front() == '/';
  result.path.reserve(path.size() + 1);
  if (!rooted) result.path.push_back('/');
  result.path.append(path.data(), path.size());
  parts = std::move(result);
  return true;
}

std::string VerbFor(int32_t method) {
  static constexpr const char* kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                           "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  if (method < 0 || method > 7) return "GET";
  return kVerbs[method];
}

std::string NormaliseHeaderName(std::string_view name) {
  std::string out(name);
  CapitalisePieces(out.data(), out.size());
  return out;
}

std::string BuildHeaderBlock(std::string_view headers, std::string_view sendCookies,
                             const HeaderOptions& options) {
  // Every request passes here. Normalising before completing finds the same keys as the
  // other way round (a line without a colon holds no key, and case is ignored), and the
  // default lines are in normal form already, so one pass over the caller's lines will do.
  std::string block;
  block.reserve(headers.size() + kCrlf.size() + kDefaultLinesRoom);
  if (options.normaliseNames) {
    AppendNormalisedLines(block, headers);
  } else if (!headers.empty()) {
    block.append(headers).append(kCrlf);
  }
  if (options.completeHeaders) AppendMissingDefaults(block, options.method);
  RemoveKeepAlive(block);
  AppendCookies(block, sendCookies);
  return block;
}

std::string StatusText(std::string_view rawHeaders) {
  std::string_view line = rawHeaders.substr(0, rawHeaders.find(kCrlf));
  // The protocol word varies in length ("HTTP/1.1", "HTTP/2"); the status follows its blank.
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return "";
  return std::string(line.substr(blank + 1));
}

ResponseCookies ScanResponseHeaders(std::string_view rawHeaders) {
  ResponseCookies result;
  while (!rawHeaders.empty()) {
    const std::string_view line = TakeLine(rawHeaders);
    size_t sep = line.find(": ");
    if (sep != std::string_view::npos && line.substr(0, sep) == "Set-Cookie") {
      // Only the name=value part counts; Path, Expires and the other attributes are dropped.
      std::string_view cookie = line.substr(std::string_view("Set-Cookie:").size());
      cookie = cookie.substr(0, cookie.find(';'));
      result.cookies += TrimBlanks(cookie);
      result.cookies += "; ";
    }
    if (line.size() >= 10 && EqualsIgnoreCase(line.substr(0, 10), "Location: ")) {
      result.location = std::string(line.substr(10));
      result.hasLocation = true;
    }
  }
  if (result.cookies.size() >= 2) result.cookies.resize(result.cookies.size() - 2);
  return result;
}

std::string MergeCookies(std::string_view oldCookies, std::string_view newCookies) {
  std::vector<std::string> merged = CookieItems(newCookies);
  for (const std::string& old : CookieItems(oldCookies)) {
    std::string name = CookieName(old);
    bool known = std::any_of(merged.begin(), merged.end(),
                             [&](const std::string& n) { return CookieName(n) == name; });
    if (!known) merged.push_back(old);
  }
  std::vector<std::string> kept;
  for (const std::string& item : merged) {
    bool deleted = item.size() >= 8 && item.compare(item.size() - 8, 8, "=deleted") == 0;
    if (deleted || std::find(kept.begin(), kept.end(), item) != kept.end()) continue;
    kept.push_back(item);
  }
  return Join(kept, "; ");
}

std::string DeclaredCharset(std::string_view body) {
  std::string_view head = body.substr(0, body.find('\0')).substr(0, 1024);
  // Every cloud answer passes here, and almost none is an HTML page: an answer without the
  // tag the pattern starts with cannot match, and skips compiling it.
  if (!ContainsIgnoreCase(head, "<meta")) return "";
  RegexSearch re;
  if (!re.Search("<meta.+?charset=[^\\w]?([-\\w]+)", head) || re.MatchCount() < 1) return "";
  return re.GroupText(1, 1);
}

std::string BodyText(std::string_view body) {
  std::string charset = DeclaredCharset(body);
  if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
    std::string text;
    if (platform::DecodeCharset(body, charset, text)) return text;
  }
  return ToUtf8(body);
}

}  // namespace qv
