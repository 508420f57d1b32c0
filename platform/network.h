// TCP connections and ICMP echo for the network receipt printers.
//
// Addresses for TCP are dotted IPv4 literals only: a printer is named by its address, and a
// name lookup on the print path could hang the service on a broken resolver.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qv::platform {

// One connected TCP socket; closed when the object goes away.
// Threads: one at a time (the one that connected it, or one it was handed to).
class TcpConnection {
 public:
  virtual ~TcpConnection() = default;
  // Sends every byte; false when the peer took none of them for idleMs (0: no limit), when
  // limitMs passed in all (0: no limit), or when the peer went away or the connection is
  // closed. Bytes count as taken when our system accepts them from us or, where it counts
  // them, when the peer acknowledges earlier ones. Never raises SIGPIPE.
  virtual bool SendAll(std::string_view bytes, int idleMs, int limitMs) = 0;
  // Waits at most timeoutMs (0: no limit) for data and reads once, up to maxBytes; empty on
  // timeout, error or a connection the peer or close() ended.
  virtual std::string ReceiveOnce(int timeoutMs, size_t maxBytes) = 0;
  // What the peer did first within a wait: sent bytes (left unread), ended its side in
  // order, reset the connection (a printer that hung up with bytes unread), or nothing.
  enum class PeerEvent { Nothing, Data, Closed, Reset };
  // Waits at most waitMs (0: not at all) for the peer to send or end the connection.
  virtual PeerEvent WaitForPeer(int waitMs) = 0;
  // How many of the bytes sent the peer's system has not acknowledged yet. `exact` false: the
  // system cannot count them, and `bytes` is 0 when every byte is acknowledged, else 1.
  struct Unacknowledged {
    size_t bytes = 0;
    bool exact = false;
  };
  virtual Unacknowledged CountUnacknowledged() = 0;
  // Ends our side, reads and drops what the peer still sends until it ends its side (at most
  // half a second), then closes the socket; true when the system closed it without error.
  // Afterwards every send and receive fails, and a second close returns false.
  virtual bool close() = 0;
  // Resets the connection at once: bytes the peer has not received yet are dropped instead of
  // delivered later, and the peer sees a reset, not an orderly end. Afterwards every
  // operation fails (close returns false).
  virtual void Abort() = 0;
};

// The outcome of one ICMP echo.
struct PingResult {
  enum class Status {
    Reply,        // an echo reply arrived in time
    NoReply,      // no reply in time, the name did not resolve, or the request was refused
    NoPermission  // this process may not send ICMP at all
  };
  Status status = Status::NoReply;
  int roundTripMs = -1;  // set with Reply
};

// Threads: one at a time (the ICMP sequence number is a plain member); the connections it
// makes are independent of it and of each other.
class Network {
 public:
  virtual ~Network() = default;
  // Connects to ipv4:port, giving up after timeoutMs; nullptr when the address is not a
  // dotted IPv4 literal or the connection failed, was refused or timed out.
  virtual std::unique_ptr<TcpConnection> ConnectTcp(const std::string& ipv4, int port,
                                                    int timeoutMs) = 0;
  // One ICMP echo request without payload to `host` (dotted IPv4, or a name resolved first),
  // waiting at most timeoutMs for the reply.
  virtual PingResult Ping(const std::string& host, int timeoutMs) = 0;
  // The system's sockets, initialised for the life of the object.
  static std::unique_ptr<Network> Create();
};

}  // namespace qv::platform
