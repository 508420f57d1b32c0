#include "tools/sim/virtual_printer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/posix/errno_text.h"
#include "tools/sim/sim_log.h"

namespace qv::sim {
namespace {

constexpr long long kIdleTimeoutMs = 60'000;
constexpr size_t kReadChunk = 64 * 1024;

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// What failed, with the system's words for why.
std::string FailedCall(const std::string& what) { return what + ": " + platform::ErrnoText(errno); }

std::string HexBytes(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace

VirtualPrinter::VirtualPrinter(std::string address, int port, PrinterState state,
                               JobRecorder& recorder)
    : address_(std::move(address)), port_(port), recorder_(recorder), state_(state) {}

VirtualPrinter::~VirtualPrinter() { Stop(); }

std::string VirtualPrinter::Start() {
  if (pipe2(wakePipe_, O_NONBLOCK | O_CLOEXEC) != 0) return FailedCall("pipe");
  std::string error;
  const PrinterState s = State();
  if (!s.offline && !s.switchedOff && !OpenListener(error)) return error;
  if (s.switchedOff && !OpenDeadListener(error)) return error;
  thread_ = std::thread([this] { Run(); });
  return "";
}

void VirtualPrinter::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  Wake();
  thread_.join();
  CloseListener();
  CloseDeadListener();
  for (int& fd : wakePipe_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

PrinterState VirtualPrinter::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void VirtualPrinter::SetState(const PrinterState& state) {
  {
    std::lock_guard lock(mutex_);
    state_ = state;
  }
  Log("printer " + address_, "state: " + StateText(state));
  Wake();
}

Json VirtualPrinter::Describe() const {
  Json d = Json::object();
  d["address"] = address_;
  d["port"] = port_;
  PrinterState s = State();
  d["state"] = PrinterStateJson(s);
  d["state_text"] = StateText(s);
  std::lock_guard lock(mutex_);
  d["jobs"] = jobCount_;
  return d;
}

void VirtualPrinter::Wake() {
  if (wakePipe_[1] >= 0) {
    char b = 1;
    [[maybe_unused]] ssize_t n = write(wakePipe_[1], &b, 1);
  }
}

bool VirtualPrinter::OpenListener(std::string& error) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = FailedCall("socket");
    return false;
  }
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  // Set on the listener, the size is inherited by the accepted connections and decides the
  // window they advertise from the start.
  listenReceiveBuffer_ = State().receiveBuffer;
  if (listenReceiveBuffer_ > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &listenReceiveBuffer_, sizeof listenReceiveBuffer_);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port_));
  if (inet_pton(AF_INET, address_.c_str(), &addr.sin_addr) != 1) {
    close(fd);
    error = "\"" + address_ + "\" is not an IPv4 address";
    return false;
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
    error = FailedCall("cannot listen on " + address_ + ":" + std::to_string(port_));
    close(fd);
    return false;
  }
  listenFd_ = fd;
  return true;
}

bool VirtualPrinter::OpenDeadListener(std::string& error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port_));
  if (inet_pton(AF_INET, address_.c_str(), &addr.sin_addr) != 1) {
    error = "\"" + address_ + "\" is not an IPv4 address";
    return false;
  }
  deadListenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  deadFillerFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int yes = 1;
  if (deadListenFd_ >= 0) setsockopt(deadListenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  // A backlog of 0 leaves room for exactly one finished connection: the filler's.
  const bool ok = deadListenFd_ >= 0 && deadFillerFd_ >= 0 &&
                  bind(deadListenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  listen(deadListenFd_, 0) == 0 &&
                  (connect(deadFillerFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ||
                   errno == EINPROGRESS);
  if (!ok) {
    error = FailedCall("cannot switch off " + address_ + ":" + std::to_string(port_));
    CloseDeadListener();
    return false;
  }
  // The filler's handshake completes at once on loopback; wait for it so that the queue is
  // full before anyone else knocks.
  pollfd filler{deadFillerFd_, POLLOUT, 0};
  poll(&filler, 1, 1000);
  return true;
}

void VirtualPrinter::CloseDeadListener() {
  for (int* fd : {&deadFillerFd_, &deadListenFd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void VirtualPrinter::CloseListener() {
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
}

void VirtualPrinter::Run() {
  while (!stopping_) {
    PrinterState s = State();
    // An offline printer refuses connections: the service's connect fails as with a printer
    // that is switched off.
    const bool listening = !s.offline && !s.switchedOff;
    if (!listening && listenFd_ >= 0) CloseListener();
    if (!s.switchedOff && deadListenFd_ >= 0) CloseDeadListener();
    // A new receive buffer applies to connections accepted on a new listener.
    if (listenFd_ >= 0 && s.receiveBuffer != listenReceiveBuffer_) CloseListener();
    if (listening && listenFd_ < 0) {
      std::string error;
      if (!OpenListener(error)) Log("printer " + address_, error);
    }
    if (s.switchedOff && deadListenFd_ < 0) {
      std::string error;
      if (!OpenDeadListener(error)) Log("printer " + address_, error);
    }
    std::vector<pollfd> fds;
    fds.push_back({wakePipe_[0], POLLIN, 0});
    if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
    const size_t firstConn = fds.size();
    for (auto& conn : connections_) {
      fds.push_back({conn->fd, static_cast<short>(s.stall ? 0 : POLLIN), 0});
    }
    int ready = poll(fds.data(), fds.size(), 500);
    if (ready < 0 && errno != EINTR) {
      Log("printer " + address_, FailedCall("poll"));
      break;
    }
    if (fds[0].revents) {
      char drain[64];
      while (read(wakePipe_[0], drain, sizeof drain) > 0) {
      }
    }
    if (listenFd_ >= 0 && fds.size() > 1 && fds[1].fd == listenFd_ && (fds[1].revents & POLLIN)) {
      Accept();
    }
    const long long now = NowMs();
    for (size_t i = firstConn; i < fds.size(); ++i) {
      Connection& conn = *connections_[i - firstConn];
      bool open = true;
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
        open = ReadFrom(conn);
      } else if (!s.stall && now - conn.lastActivityMs > kIdleTimeoutMs) {
        Finish(conn, "idle for " + std::to_string(kIdleTimeoutMs / 1000) + " s");
        open = false;
      }
      if (!open) conn.fd = -1;
    }
    std::erase_if(connections_, [](const auto& c) { return c->fd < 0; });
  }
  for (auto& conn : connections_) Finish(*conn, "simulator stopped");
  connections_.clear();
}

void VirtualPrinter::Accept() {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  int fd =
      accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  auto conn = std::make_unique<Connection>();
  conn->fd = fd;
  conn->lastActivityMs = NowMs();
  conn->job.printer = address_;
  conn->job.port = port_;
  conn->job.started = NowText();
  conn->job.startedMs = UnixMs();
  {
    std::lock_guard lock(mutex_);
    conn->job.number = ++jobCount_;
    if (state_.dropAfterBytes >= 0) {
      conn->dropLimit = state_.dropAfterBytes;
      if (state_.dropJobs > 0 && --state_.dropJobs == 0) state_.dropAfterBytes = -1;
    }
  }
  char peerText[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &peer.sin_addr, peerText, sizeof peerText);
  Log("printer " + address_,
      "job " + std::to_string(conn->job.number) + ": connection from " + peerText + ":" +
          std::to_string(ntohs(peer.sin_port)) +
          (conn->dropLimit >= 0
               ? " (will drop it after " + std::to_string(conn->dropLimit) + " bytes)"
               : ""));
  connections_.push_back(std::move(conn));
}

bool VirtualPrinter::ReadFrom(Connection& conn) {
  char buf[kReadChunk];
  ssize_t n = recv(conn.fd, buf, sizeof buf, 0);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (n <= 0) {
    Finish(conn, n == 0 ? "closed by the sender" : FailedCall("connection error"));
    return false;
  }
  conn.lastActivityMs = NowMs();
  std::string_view data(buf, static_cast<size_t>(n));
  if (conn.dropLimit >= 0 && conn.job.bytes.size() + data.size() >= size_t(conn.dropLimit)) {
    Take(conn, data.substr(0, conn.dropLimit - conn.job.bytes.size()));
    conn.job.dropped = true;
    Finish(conn, "dropped by the printer after " + std::to_string(conn.dropLimit) + " bytes");
    return false;
  }
  Take(conn, data);
  return true;
}

void VirtualPrinter::Take(Connection& conn, std::string_view bytes) {
  if (!bytes.empty()) {
    conn.job.lastByteMs = UnixMs();
    if (conn.job.firstByteMs == 0) conn.job.firstByteMs = conn.job.lastByteMs;
  }
  conn.job.bytes.append(bytes);
  const PrinterState s = State();
  for (const StatusQuery& query : conn.decoder.Feed(bytes)) {
    if (s.mute) {
      conn.job.replies.push_back(StatusQueryName(query) + " -> (not answered)");
      continue;
    }
    std::string reply = StatusReply(query, s);
    ssize_t sent = send(conn.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    std::string line = StatusQueryName(query) + " -> " + HexBytes(reply);
    if (sent != static_cast<ssize_t>(reply.size())) line += " (reply not sent)";
    conn.job.replies.push_back(line);
    Log("printer " + address_,
        "job " + std::to_string(conn.job.number) + ": status request " + line);
  }
}

void VirtualPrinter::Finish(Connection& conn, const std::string& end) {
  if (conn.fd >= 0) {
    shutdown(conn.fd, SHUT_RDWR);
    close(conn.fd);
    conn.fd = -1;
  }
  const PrinterState s = State();
  conn.job.receipt = conn.decoder.Finish();
  conn.job.ended = NowText();
  conn.job.endedMs = UnixMs();
  conn.job.end = end;
  conn.job.state = StateText(s);
  conn.job.printed = !(s.paperOut || s.coverOpen);
  recorder_.Record(std::move(conn.job));
}

std::string ApplyPrinterSettings(const Json& settings, PrinterState& state) {
  if (!settings.is_object()) return "printer settings must be a JSON object";
  for (auto it = settings.begin(); it != settings.end(); ++it) {
    const std::string& key = it.key();
    const Json& v = it.value();
    bool* flag = key == "paper_out"        ? &state.paperOut
                 : key == "paper_near_end" ? &state.paperNearEnd
                 : key == "cover_open"     ? &state.coverOpen
                 : key == "drawer_open"    ? &state.drawerOpen
                 : key == "cutter_fault"   ? &state.cutterFault
                 : key == "offline"        ? &state.offline
                 : key == "switched_off"   ? &state.switchedOff
                 : key == "stall"          ? &state.stall
                 : key == "mute"           ? &state.mute
                                           : nullptr;
    if (flag) {
      if (!v.is_boolean()) return key + " must be true or false";
      *flag = v.get<bool>();
    } else if (key == "drop_after_bytes" || key == "drop_jobs") {
      if (!v.is_number_integer()) return key + " must be an integer";
      (key == "drop_jobs" ? state.dropJobs : state.dropAfterBytes) = v.get<int>();
    } else if (key == "paper_reply") {
      if (!v.is_number_integer() || v.get<int>() < -1 || v.get<int>() > 255) {
        return "paper_reply must be an integer from -1 to 255";
      }
      state.paperReply = v.get<int>();
    } else if (key == "receive_buffer") {
      if (!v.is_number_integer() || v.get<int>() < 0) {
        return "receive_buffer must be a non-negative integer";
      }
      state.receiveBuffer = v.get<int>();
    } else {
      return "unknown printer setting \"" + key + "\"";
    }
  }
  return "";
}

Json PrinterStateJson(const PrinterState& s) {
  Json j = Json::object();
  j["paper_out"] = s.paperOut;
  j["paper_near_end"] = s.paperNearEnd;
  j["cover_open"] = s.coverOpen;
  j["drawer_open"] = s.drawerOpen;
  j["cutter_fault"] = s.cutterFault;
  j["offline"] = s.offline;
  j["switched_off"] = s.switchedOff;
  j["stall"] = s.stall;
  j["drop_after_bytes"] = s.dropAfterBytes;
  j["drop_jobs"] = s.dropJobs;
  j["paper_reply"] = s.paperReply;
  j["mute"] = s.mute;
  j["receive_buffer"] = s.receiveBuffer;
  return j;
}

}  // namespace qv::sim
