// HTTP/1.1 on the wire for the transport: the request head it sends, and the answer it reads
// back (status line, header lines, and the body in whichever framing the answer chose).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/posix/http_stream.h"

namespace qv::platform::posix {

// Reads a connection's bytes through a buffer of its own, as lines or as runs of bytes.
class HttpReader {
 public:
  explicit HttpReader(HttpStream& stream);
  // One line without its end (CR LF, or a bare LF); Failed past `maxLength` bytes.
  Io Line(std::string& out, size_t maxLength, const Wait& wait, std::string& reason);
  // Appends between one and `most` bytes to `out`.
  Io Some(std::string& out, size_t most, const Wait& wait, std::string& reason);
  // True when bytes were received that nobody has read yet.
  bool Buffered() const { return begin_ < end_; }
  // Bytes received since the last ResetCount().
  size_t Received() const { return received_; }
  void ResetCount() { received_ = 0; }

 private:
  Io Fill(const Wait& wait, std::string& reason);

  static constexpr size_t kBufferSize = 16 * 1024;
  HttpStream& stream_;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0, end_ = 0;
  size_t received_ = 0;
};

// The parts of a request head this transport writes; `headers` is the caller's block of
// complete lines. Lines the block already has (Host, Authorization, Content-Length) are not
// written a second time.
struct RequestHead {
  std::string_view verb;
  std::string_view target;  // origin form ("/path?q"), or the absolute URL for a proxy
  std::string_view host;    // the Host header's value
  std::string_view headers;
  std::string_view authorization;       // "Basic ..." or empty
  std::string_view proxyAuthorization;  // "Basic ..." or empty
  std::string_view body;
};
std::string RequestBytes(const RequestHead& head);

// "Basic " and the Base64 of "user:password".
std::string BasicCredentials(const std::string& user, const std::string& password);

// True when the header block holds a header of that name (any case).
bool HasHeader(std::string_view block, std::string_view name);
// The block without the lines of those header names (any case).
std::string WithoutHeaders(std::string_view block, std::initializer_list<std::string_view> names);
// True when the block asks the server to close the connection after its answer.
bool AsksToClose(std::string_view block);

struct ResponseHead {
  int status = 0;
  bool http10 = false;
  std::string raw;  // status line and header lines, CR LF each, and the blank line
  bool chunked = false;
  bool hasLength = false;
  uint64_t length = 0;
  bool close = false;      // "Connection: close"
  bool keepAlive = false;  // "Connection: keep-alive" (what keeps an HTTP/1.0 one open)
  std::string location;    // the last Location header's value
};

// Reads the head of the final answer (interim 1xx answers are skipped). Closed when the peer
// ended the connection before a complete head; Failed for a head that is not HTTP/1.x.
Io ReadResponseHead(HttpReader& reader, const Wait& wait, ResponseHead& head, std::string& reason);

enum class Framing { None, Length, Chunked, UntilClose };
Framing FramingOf(const ResponseHead& head, bool headRequest);

enum class BodyRead { Ok, Failed, TooLarge };
// Reads the body in its framing, keeping what arrived in `body` when it fails. TooLarge when
// it is longer than `maxBytes` (then `body` holds nothing worth keeping).
BodyRead ReadBody(HttpReader& reader, const ResponseHead& head, Framing framing, size_t maxBytes,
                  const Wait& wait, std::string& body, std::string& reason);

}  // namespace qv::platform::posix
