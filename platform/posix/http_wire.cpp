#include "platform/posix/http_wire.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "util/text.h"

namespace qv::platform::posix {
namespace {

constexpr size_t kMaxLine = 16 * 1024;
constexpr size_t kMaxHead = 256 * 1024;

// Calls `each` with every comma-separated token of a header value, trimmed.
template <typename Each>
void ForEachToken(std::string_view value, Each each) {
  while (!value.empty()) {
    const size_t comma = value.find(',');
    each(TrimBlanks(value.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
}

// Calls `each(name, value)` for every line of a header block; the value is not trimmed.
template <typename Each>
void ForEachHeader(std::string_view block, Each each) {
  while (!block.empty()) {
    size_t end = block.find('\n');
    std::string_view line = block.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos) each(line.substr(0, colon), line.substr(colon + 1));
    if (end == std::string_view::npos) break;
    block.remove_prefix(end + 1);
  }
}

bool ParseDecimal(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// "HTTP/1.1 200 OK": the version and the status; false for anything else.
bool ParseStatusLine(std::string_view line, ResponseHead& head) {
  if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || line[8] != ' ') return false;
  if (line[7] != '0' && line[7] != '1') return false;
  uint64_t status = 0;
  if (!ParseDecimal(line.substr(9, 3), status) || status < 100) return false;
  if (line.size() > 12 && line[12] != ' ') return false;
  head.status = static_cast<int>(status);
  head.http10 = line[7] == '0';
  return true;
}

// Takes note of the headers that decide the framing and the connection's future.
bool NoteHeader(std::string_view name, std::string_view value, ResponseHead& head,
                std::string& reason) {
  if (EqualsIgnoreCase(name, "Content-Length")) {
    uint64_t length = 0;
    if (!ParseDecimal(value, length) || (head.hasLength && length != head.length)) {
      reason = "应答的 Content-Length 无效：" + std::string(value.substr(0, 40));
      return false;
    }
    head.hasLength = true;
    head.length = length;
  } else if (EqualsIgnoreCase(name, "Transfer-Encoding")) {
    // Only a body whose last coding is chunked ends by itself; any other coding list runs to
    // the end of the connection.
    head.chunked = false;
    ForEachToken(value, [&](std::string_view coding) {
      head.chunked = EqualsIgnoreCase(coding, "chunked");
    });
  } else if (EqualsIgnoreCase(name, "Connection")) {
    ForEachToken(value, [&](std::string_view option) {
      head.close = head.close || EqualsIgnoreCase(option, "close");
      head.keepAlive = head.keepAlive || EqualsIgnoreCase(option, "keep-alive");
    });
  } else if (EqualsIgnoreCase(name, "Location")) {
    head.location = std::string(value);
  }
  return true;
}

// One head, interim or final.
Io ReadOneHead(HttpReader& reader, const Wait& wait, ResponseHead& head, std::string& reason) {
  head = ResponseHead();
  std::string line;
  Io io = reader.Line(line, kMaxLine, wait, reason);
  if (io != Io::Ok) return io;
  if (!ParseStatusLine(line, head)) {
    std::string shown = line.substr(0, 40);
    for (char& c : shown) c = std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    reason = "应答不是 HTTP/1.x：" + shown;
    return Io::Failed;
  }
  // Room for a usual head, so that it is not copied as it grows.
  head.raw.reserve(512);
  head.raw.append(line).append("\r\n");
  for (;;) {
    io = reader.Line(line, kMaxLine, wait, reason);
    if (io == Io::Closed) reason = "应答头没有收完连接就断开了";
    if (io != Io::Ok) return io == Io::Closed ? Io::Failed : io;
    head.raw += line;
    head.raw += "\r\n";
    if (line.empty()) return Io::Ok;
    if (head.raw.size() > kMaxHead) {
      reason = "应答头超过 " + std::to_string(kMaxHead / 1024) + " KB";
      return Io::Failed;
    }
    const size_t colon = line.find(':');
    if (colon != std::string::npos &&
        !NoteHeader(std::string_view(line).substr(0, colon),
                    TrimBlanks(std::string_view(line).substr(colon + 1)), head, reason)) {
      return Io::Failed;
    }
  }
}

// What stopped the body, then what is missing: "超时（…），应答正文还差 90 字节没有收到".
BodyRead Failed(Io io, const std::string& what, std::string& reason) {
  reason = (io == Io::Closed ? std::string("连接已断开") : reason) + "，" + what;
  return BodyRead::Failed;
}

BodyRead TooLarge(size_t maxBytes, std::string& reason) {
  reason = "应答长度超过上限 " + std::to_string(maxBytes) + " 字节";
  return BodyRead::TooLarge;
}

// Reads exactly `count` more bytes into `body`.
BodyRead ReadExactly(HttpReader& reader, uint64_t count, const Wait& wait, std::string& body,
                     std::string& reason) {
  const size_t goal = body.size() + static_cast<size_t>(count);
  while (body.size() < goal) {
    const Io io = reader.Some(body, goal - body.size(), wait, reason);
    if (io != Io::Ok) {
      return Failed(io, "应答正文还差 " + std::to_string(goal - body.size()) + " 字节没有收到",
                    reason);
    }
  }
  return BodyRead::Ok;
}

BodyRead ReadChunked(HttpReader& reader, size_t maxBytes, const Wait& wait, std::string& body,
                     std::string& reason) {
  std::string line;
  for (;;) {
    Io io = reader.Line(line, kMaxLine, wait, reason);
    if (io != Io::Ok) return Failed(io, "分块正文没有收完", reason);
    const std::string_view size = TrimBlanks(std::string_view(line).substr(0, line.find(';')));
    uint64_t count = 0;
    bool valid = !size.empty() && size.size() <= 15;
    for (char c : size) {
      const int digit = std::isdigit(static_cast<unsigned char>(c))    ? c - '0'
                        : std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10
                                                                       : -1;
      valid = valid && digit >= 0;
      count = count * 16 + static_cast<uint64_t>(std::max(digit, 0));
    }
    if (!valid) {
      reason = "分块正文格式错误：" + line.substr(0, 40);
      return BodyRead::Failed;
    }
    if (count == 0) break;
    if (count > maxBytes - body.size()) return TooLarge(maxBytes, reason);
    if (BodyRead read = ReadExactly(reader, count, wait, body, reason); read != BodyRead::Ok) {
      return read;
    }
    io = reader.Line(line, kMaxLine, wait, reason);
    if (io != Io::Ok) return Failed(io, "分块正文没有收完", reason);
    if (!line.empty()) {
      reason = "分块正文格式错误：块后面不是行尾";
      return BodyRead::Failed;
    }
  }
  // Trailer lines, up to the blank line that ends the answer.
  for (size_t total = 0;;) {
    const Io io = reader.Line(line, kMaxLine, wait, reason);
    if (io != Io::Ok) return Failed(io, "分块正文的结尾没有收完", reason);
    if (line.empty()) return BodyRead::Ok;
    total += line.size();
    if (total > kMaxHead) {
      reason = "分块正文的尾部字段过长";
      return BodyRead::Failed;
    }
  }
}

BodyRead ReadUntilClose(HttpReader& reader, size_t maxBytes, const Wait& wait, std::string& body,
                        std::string& reason) {
  for (;;) {
    // One byte past the limit shows that the body is longer than it.
    const size_t room = maxBytes - body.size() + 1;
    const Io io = reader.Some(body, std::min(room, size_t{64 * 1024}), wait, reason);
    if (io == Io::Closed) return BodyRead::Ok;
    if (io != Io::Ok) return Failed(io, "应答正文没有收完", reason);
    if (body.size() > maxBytes) return TooLarge(maxBytes, reason);
  }
}

}  // namespace

HttpReader::HttpReader(HttpStream& stream)
    : stream_(stream), buffer_(std::make_unique<char[]>(kBufferSize)) {}

Io HttpReader::Fill(const Wait& wait, std::string& reason) {
  if (begin_ == end_) begin_ = end_ = 0;
  if (end_ == kBufferSize) {
    std::copy(buffer_.get() + begin_, buffer_.get() + end_, buffer_.get());
    end_ -= begin_;
    begin_ = 0;
  }
  size_t got = 0;
  const Io io = stream_.ReadSome(buffer_.get() + end_, kBufferSize - end_, got, wait, reason);
  end_ += got;
  received_ += got;
  return io;
}

Io HttpReader::Line(std::string& out, size_t maxLength, const Wait& wait, std::string& reason) {
  out.clear();
  for (;;) {
    const char* start = buffer_.get() + begin_;
    const char* stop = buffer_.get() + end_;
    const void* found = std::memchr(start, '\n', static_cast<size_t>(stop - start));
    const char* newline = found != nullptr ? static_cast<const char*>(found) : stop;
    const size_t taken = static_cast<size_t>(newline - start);
    out.append(start, taken);
    begin_ += taken;
    if (newline != stop) {
      ++begin_;
      if (!out.empty() && out.back() == '\r') out.pop_back();
      return Io::Ok;
    }
    if (out.size() > maxLength) {
      reason = "应答中的一行超过 " + std::to_string(maxLength) + " 字节";
      return Io::Failed;
    }
    const Io io = Fill(wait, reason);
    if (io != Io::Ok) return io;
  }
}

Io HttpReader::Some(std::string& out, size_t most, const Wait& wait, std::string& reason) {
  if (begin_ == end_) {
    const Io io = Fill(wait, reason);
    if (io != Io::Ok) return io;
  }
  const size_t taken = std::min(most, end_ - begin_);
  out.append(buffer_.get() + begin_, taken);
  begin_ += taken;
  return Io::Ok;
}

std::string RequestBytes(const RequestHead& head) {
  std::string bytes;
  bytes.reserve(head.headers.size() + head.body.size() + head.target.size() + 256);
  bytes.append(head.verb).append(" ").append(head.target).append(" HTTP/1.1\r\n");
  if (!HasHeader(head.headers, "Host")) bytes.append("Host: ").append(head.host).append("\r\n");
  if (!head.authorization.empty() && !HasHeader(head.headers, "Authorization")) {
    bytes.append("Authorization: ").append(head.authorization).append("\r\n");
  }
  if (!head.proxyAuthorization.empty() && !HasHeader(head.headers, "Proxy-Authorization")) {
    bytes.append("Proxy-Authorization: ").append(head.proxyAuthorization).append("\r\n");
  }
  bytes.append(head.headers);
  // A GET or HEAD without a body says nothing of one; every other request says its length,
  // 0 included, so the server does not wait for a body that is not coming.
  const bool saysLength = !head.body.empty() || (head.verb != "GET" && head.verb != "HEAD");
  if (saysLength && !HasHeader(head.headers, "Content-Length")) {
    bytes.append("Content-Length: ").append(std::to_string(head.body.size())).append("\r\n");
  }
  bytes.append("\r\n").append(head.body);
  return bytes;
}

std::string BasicCredentials(const std::string& user, const std::string& password) {
  return "Basic " + Base64Encode(user + ":" + password);
}

bool HasHeader(std::string_view block, std::string_view name) {
  bool found = false;
  ForEachHeader(block, [&](std::string_view n, std::string_view) {
    found = found || EqualsIgnoreCase(n, name);
  });
  return found;
}

std::string WithoutHeaders(std::string_view block, std::initializer_list<std::string_view> names) {
  std::string kept;
  while (!block.empty()) {
    const size_t end = block.find('\n');
    const std::string_view line = block.substr(0, end == std::string_view::npos ? end : end + 1);
    const std::string_view name = line.substr(0, line.find(':'));
    bool dropped = false;
    for (std::string_view n : names) dropped = dropped || EqualsIgnoreCase(name, n);
    if (!dropped) kept.append(line);
    block.remove_prefix(line.size());
  }
  return kept;
}

bool AsksToClose(std::string_view block) {
  bool close = false;
  ForEachHeader(block, [&](std::string_view name, std::string_view value) {
    if (!EqualsIgnoreCase(name, "Connection")) return;
    ForEachToken(value, [&](std::string_view option) {
      close = close || EqualsIgnoreCase(option, "close");
    });
  });
  return close;
}

Io ReadResponseHead(HttpReader& reader, const Wait& wait, ResponseHead& head, std::string& reason) {
  for (;;) {
    const Io io = ReadOneHead(reader, wait, head, reason);
    // 100 Continue and its kind announce the real answer; 101 is an answer of its own.
    if (io != Io::Ok || head.status >= 200 || head.status == 101) return io;
  }
}

Framing FramingOf(const ResponseHead& head, bool headRequest) {
  if (headRequest || head.status < 200 || head.status == 204 || head.status == 304) {
    return Framing::None;
  }
  if (head.chunked) return Framing::Chunked;
  if (head.hasLength) return head.length == 0 ? Framing::None : Framing::Length;
  return Framing::UntilClose;
}

BodyRead ReadBody(HttpReader& reader, const ResponseHead& head, Framing framing, size_t maxBytes,
                  const Wait& wait, std::string& body, std::string& reason) {
  body.clear();
  switch (framing) {
    case Framing::None:
      return BodyRead::Ok;
    case Framing::Length:
      // The length is known up front: a body over the limit is refused before it is read.
      if (head.length > maxBytes) return TooLarge(maxBytes, reason);
      body.reserve(static_cast<size_t>(std::min<uint64_t>(head.length, 1u << 20)));
      return ReadExactly(reader, head.length, wait, body, reason);
    case Framing::Chunked:
      return ReadChunked(reader, maxBytes, wait, body, reason);
    case Framing::UntilClose:
      return ReadUntilClose(reader, maxBytes, wait, body, reason);
  }
  return BodyRead::Failed;
}

}  // namespace qv::platform::posix
