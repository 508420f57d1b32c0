#include "platform/posix/http_target.h"

#include <cctype>
#include <string_view>
#include <vector>

namespace qv::platform::posix {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Spaces, control bytes and bytes above ASCII are not allowed in a request line; servers that
// put them in a Location mean their percent-encoded form.
std::string Encoded(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// The path with "." and ".." segments worked out; the query is left as it is.
std::string WithoutDotSegments(std::string_view pathAndQuery) {
  const size_t queryAt = pathAndQuery.find('?');
  std::string_view path = pathAndQuery.substr(0, queryAt);
  std::vector<std::string_view> segments;
  size_t start = 1;  // the path starts with "/"
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string_view segment = path.substr(start, slash - start);
    const bool last = slash == std::string_view::npos;
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      if (last) segments.push_back("");
    } else if (segment == ".") {
      if (last) segments.push_back("");
    } else {
      segments.push_back(segment);
    }
    if (last) break;
    start = slash + 1;
  }
  std::string out;
  for (std::string_view segment : segments) {
    out += '/';
    out += segment;
  }
  if (out.empty()) out.push_back('/');
  if (queryAt != std::string_view::npos) out.append(pathAndQuery.substr(queryAt));
  return out;
}

// "host", "host:port", "[v6]:port", with an optional "user@" in front (not used).
bool ParseAuthority(std::string_view authority, bool secure, HttpTarget& target) {
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority, port;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(1, close - 1);
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return false;
    if (!rest.empty()) port = rest.substr(1);
  } else if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return false;
  int number = secure ? 443 : 80;
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) {
      return false;
    }
    number = std::stoi(std::string(port));
    if (number < 1 || number > 65535) return false;
  }
  target.secure = secure;
  target.host = std::string(host);
  target.port = number;
  return true;
}

}  // namespace

std::string HttpTarget::Authority() const {
  const std::string name = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return name + ":" + std::to_string(port);
}

std::string HttpTarget::HostHeader() const {
  if (port == (secure ? 443 : 80)) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
  }
  return Authority();
}

std::string HttpTarget::Url() const {
  return std::string(secure ? "https://" : "http://") + HostHeader() + path;
}

bool HttpTarget::SameOrigin(const HttpTarget& other) const {
  return secure == other.secure && port == other.port && EqualsNoCase(host, other.host);
}

LocationKind ResolveLocation(const HttpTarget& base, const std::string& location,
                             HttpTarget& next) {
  std::string_view reference = location;
  while (!reference.empty() && (reference.front() == ' ' || reference.front() == '\t')) {
    reference.remove_prefix(1);
  }
  while (!reference.empty() && (reference.back() == ' ' || reference.back() == '\t')) {
    reference.remove_suffix(1);
  }
  reference = reference.substr(0, reference.find('#'));
  if (reference.empty()) return LocationKind::Invalid;

  next = base;
  std::string_view rest = reference;
  const size_t colon = reference.find(':');
  const size_t delimiter = reference.find_first_of("/?");
  const bool hasScheme = colon != std::string_view::npos && colon > 0 &&
                         (delimiter == std::string_view::npos || colon < delimiter) &&
                         std::isalpha(static_cast<unsigned char>(reference[0]));
  bool secure = base.secure;
  if (hasScheme) {
    const std::string_view scheme = reference.substr(0, colon);
    if (EqualsNoCase(scheme, "https")) {
      secure = true;
    } else if (EqualsNoCase(scheme, "http")) {
      secure = false;
    } else {
      return LocationKind::OtherScheme;
    }
    rest = reference.substr(colon + 1);
    if (rest.substr(0, 2) != "//") return LocationKind::Invalid;
  }
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const size_t end = rest.find_first_of("/?");
    if (!ParseAuthority(rest.substr(0, end), secure, next)) return LocationKind::Invalid;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    next.path.clear();
    if (rest.empty() || rest.front() == '?') next.path += '/';
    next.path += rest;
  } else if (rest.front() == '/') {
    next.path = std::string(rest);
  } else {
    const std::string_view basePath = std::string_view(base.path).substr(0, base.path.find('?'));
    if (rest.front() == '?') {
      next.path = std::string(basePath) + std::string(rest);
    } else {
      next.path = std::string(basePath.substr(0, basePath.rfind('/') + 1)) + std::string(rest);
    }
  }
  next.path = Encoded(WithoutDotSegments(next.path));
  return LocationKind::Http;
}

}  // namespace qv::platform::posix
