#include "platform/posix/cups_direct_list.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/posix/http_stream.h"
#include "platform/posix/http_wire.h"
#include "platform/posix/tcp_connect.h"

namespace qv::platform::posix {
namespace {

// Where the scheduler listens, found as libcups finds it: CUPS_SERVER, then ServerName in the
// user's and the system's client.conf, else the local socket when there is one.
struct Scheduler {
  std::string socketPath;  // a local socket, or empty for host:port
  std::string host = "localhost";
  int port = 631;
};

std::string ServerNameIn(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const size_t end = line.find_first_of(" \t", start);
    std::string directive = line.substr(start, end - start);
    for (char& c : directive) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (directive != "servername" || end == std::string::npos) continue;
    const size_t value = line.find_first_not_of(" \t", end);
    if (value == std::string::npos) continue;
    return line.substr(value, line.find_last_not_of(" \t\r") - value + 1);
  }
  return "";
}

Scheduler FindScheduler() {
  std::string name;
  if (const char* env = std::getenv("CUPS_SERVER"); env != nullptr) name = env;
  if (const char* home = std::getenv("HOME"); name.empty() && home != nullptr) {
    name = ServerNameIn(std::string(home) + "/.cups/client.conf");
  }
  if (name.empty()) {
    const char* root = std::getenv("CUPS_SERVERROOT");
    name = ServerNameIn(std::string(root != nullptr ? root : "/etc/cups") + "/client.conf");
  }
  Scheduler scheduler;
  if (const char* port = std::getenv("IPP_PORT"); port != nullptr && std::atoi(port) > 0) {
    scheduler.port = std::atoi(port);
  }
  if (name.empty()) {
    if (::access("/run/cups/cups.sock", F_OK) == 0) scheduler.socketPath = "/run/cups/cups.sock";
    return scheduler;
  }
  if (name.front() == '/') {
    scheduler.socketPath = name;
    return scheduler;
  }
  name = name.substr(0, name.find("/version="));
  const size_t colon = name.rfind(':');
  if (colon != std::string::npos && name.find(']', colon) == std::string::npos) {
    scheduler.port = std::atoi(name.c_str() + colon + 1);
    name.resize(colon);
  }
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  scheduler.host = name;
  return scheduler;
}

Fd ConnectLocal(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return Fd();
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Ok() ||
      ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return Fd();
  }
  return fd;
}

void AppendShort(std::string& out, size_t value) {
  out += static_cast<char>((value >> 8) & 0xff);
  out += static_cast<char>(value & 0xff);
}

// One attribute value; an empty name adds another value to the attribute before it.
void AppendAttribute(std::string& out, char tag, std::string_view name, std::string_view value) {
  out += tag;
  AppendShort(out, name.size());
  out.append(name);
  AppendShort(out, value.size());
  out.append(value);
}

// The five attributes a printer list shows, asked for each queue.
std::string GetPrintersRequest() {
  std::string ipp("\x02\x00\x40\x02\x00\x00\x00\x01\x01", 9);  // IPP 2.0, CUPS-Get-Printers
  AppendAttribute(ipp, 0x47, "attributes-charset", "utf-8");
  AppendAttribute(ipp, 0x48, "attributes-natural-language", "en");
  AppendAttribute(ipp, 0x44, "requested-attributes", "printer-name");
  for (const char* name :
       {"device-uri", "printer-make-and-model", "printer-info", "printer-location"}) {
    AppendAttribute(ipp, 0x44, "", name);
  }
  ipp += '\x03';  // end of the attributes
  return ipp;
}

// Reads big-endian numbers and byte runs off an IPP body, refusing to read past its end.
class IppCursor {
 public:
  explicit IppCursor(std::string_view bytes) : bytes_(bytes) {}
  bool Byte(unsigned& value) { return Take(1, value); }
  bool Number16(unsigned& value) { return Take(2, value); }
  bool Run(size_t size, std::string_view& value) {
    if (size > bytes_.size()) return false;
    value = bytes_.substr(0, size);
    bytes_.remove_prefix(size);
    return true;
  }

 private:
  bool Take(size_t size, unsigned& value) {
    if (size > bytes_.size()) return false;
    value = 0;
    for (size_t i = 0; i < size; ++i) value = value << 8 | static_cast<unsigned char>(bytes_[i]);
    bytes_.remove_prefix(size);
    return true;
  }
  std::string_view bytes_;
};

// The text of a string value; text and name values "with language" carry the language first.
std::string TextOf(unsigned tag, std::string_view value) {
  if (tag != 0x35 && tag != 0x36) return std::string(value);
  IppCursor cursor(value);
  unsigned size = 0;
  std::string_view skipped, text;
  if (!cursor.Number16(size) || !cursor.Run(size, skipped) || !cursor.Number16(size) ||
      !cursor.Run(size, text)) {
    return "";
  }
  return std::string(text);
}

void Note(PrinterInfo& printer, std::string_view name, std::string text) {
  if (name == "printer-name") printer.printerName = std::move(text);
  if (name == "device-uri") printer.portName = std::move(text);
  if (name == "printer-make-and-model") printer.driverName = std::move(text);
  if (name == "printer-info") printer.comment = std::move(text);
  if (name == "printer-location") printer.location = std::move(text);
}

// The queues of a CUPS-Get-Printers answer's IPP body; nullopt when it is malformed.
std::optional<std::vector<PrinterInfo>> PrintersOfIppAnswer(std::string_view body) {
  IppCursor cursor(body);
  unsigned version = 0, status = 0, requestId = 0, requestIdLow = 0;
  if (!cursor.Number16(version) || !cursor.Number16(status) || !cursor.Number16(requestId) ||
      !cursor.Number16(requestIdLow)) {
    return std::nullopt;
  }
  std::vector<PrinterInfo> printers;
  PrinterInfo current;
  auto flush = [&] {
    if (!current.printerName.empty()) printers.push_back(std::move(current));
    current = PrinterInfo();
  };
  unsigned group = 0;
  for (;;) {
    unsigned tag = 0;
    if (!cursor.Byte(tag)) return std::nullopt;  // the end tag is missing
    if (tag == 0x03) break;
    if (tag < 0x10) {  // a group starts: each printer is one
      flush();
      group = tag;
      continue;
    }
    unsigned nameSize = 0, valueSize = 0;
    std::string_view name, value;
    if (!cursor.Number16(nameSize) || !cursor.Run(nameSize, name) || !cursor.Number16(valueSize) ||
        !cursor.Run(valueSize, value)) {
      return std::nullopt;
    }
    if (nameSize == 0) continue;  // a further value of a list; the list shows the first
    if (group == 0x04) Note(current, name, TextOf(tag, value));
  }
  flush();
  // A failed request (no queues at all reads as "not found") simply lists nothing.
  if (status >= 0x0100) printers.clear();
  return printers;
}

}  // namespace

std::optional<std::vector<PrinterInfo>> ListPrintersDirectly() {
  constexpr int kTimeoutMs = 30000;
  const Deadline deadline(kTimeoutMs);
  const Scheduler scheduler = FindScheduler();
  std::string reason;
  Fd fd = scheduler.socketPath.empty()
              ? ConnectTcp(scheduler.host, scheduler.port, deadline, reason)
              : ConnectLocal(scheduler.socketPath);
  if (!fd.Ok()) return std::vector<PrinterInfo>();  // no scheduler: no queues
  HttpStream stream(std::move(fd));
  HttpReader reader(stream);
  const Wait wait{kTimeoutMs, deadline};
  const std::string ipp = GetPrintersRequest();
  const std::string host = scheduler.socketPath.empty()
                               ? scheduler.host + ":" + std::to_string(scheduler.port)
                               : "localhost";
  const std::string request = RequestBytes({.verb = "POST",
                                            .target = "/",
                                            .host = host,
                                            .headers = "Content-Type: application/ipp\r\n",
                                            .authorization = "",
                                            .proxyAuthorization = "",
                                            .body = ipp});
  ResponseHead head;
  std::string body;
  if (stream.WriteAll(request, wait, reason) != Io::Ok ||
      ReadResponseHead(reader, wait, head, reason) != Io::Ok) {
    return std::vector<PrinterInfo>();
  }
  if (head.status != 200) return std::nullopt;
  if (ReadBody(reader, head, FramingOf(head, false), 16u << 20, wait, body, reason) !=
      BodyRead::Ok) {
    return std::vector<PrinterInfo>();
  }
  std::optional<std::vector<PrinterInfo>> printers = PrintersOfIppAnswer(body);
  return printers ? printers : std::vector<PrinterInfo>();
}

}  // namespace qv::platform::posix
