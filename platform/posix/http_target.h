// Where one request of the transport goes, and where a redirect's Location sends the next.
#pragma once

#include <string>

namespace qv::platform::posix {

struct HttpTarget {
  bool secure = false;  // https
  std::string host;     // name or address, without brackets
  int port = 80;
  std::string path = "/";  // path and query

  // host:port as an authority: brackets around an IPv6 address.
  std::string Authority() const;
  // The Host header's value: the port only when it is not the scheme's own.
  std::string HostHeader() const;
  // The absolute URL, as a request through a proxy names it.
  std::string Url() const;
  // Same scheme, host (any case) and port.
  bool SameOrigin(const HttpTarget& other) const;
};

enum class LocationKind { Http, OtherScheme, Invalid };

// Resolves a Location value against the target that answered with it (absolute, scheme-
// relative, absolute-path and relative references; the fragment is dropped, bytes a URL may
// not carry are percent-encoded). Only http and https give a target.
LocationKind ResolveLocation(const HttpTarget& base, const std::string& location, HttpTarget& next);

}  // namespace qv::platform::posix
