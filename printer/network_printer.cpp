#include "printer/network_printer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/gbk.h"
#include "printer/escpos_commands.h"

namespace qv {
namespace {

// The system's own connect timeout can hold the service for minutes on a printer that is
// switched off; three seconds is ample for a printer on the shop's network.
constexpr int kConnectTimeoutMs = 3000;
constexpr size_t kMaxReplyBytes = 20480;

// A receipt is hundreds of operations of a few bytes each; sending each on its own cost a
// system call and a wake-up of the printer's side per operation, most of a ticket's time. The
// operations' bytes are held and sent together, up to this much, and before every wait for
// the printer, so the printer receives the same stream.
constexpr size_t kHoldLimit = 4096;

// The wait for delivery after a ticket. A printer answers the question after the ticket as
// soon as it has read the ticket; one that does not answer must at least have acknowledged
// every byte. A printer takes a ticket at least as fast as every send demands of it (a held
// piece within the 400 ms I/O limit: about 10 bytes a millisecond), so the wait grows at
// that pace with the ticket, on top of a second for the answer to come back.
constexpr int64_t kDeliveryBaseWaitMs = 1000;
constexpr int64_t kSlowestPaceBytesPerMs = 10;
constexpr int64_t kLongestDeliveryWaitMs = 10 * 60 * 1000;
// Where the system counts the unacknowledged bytes: a printer that takes none of them for
// this long has stopped reading, whatever the size of the ticket.
constexpr auto kStalledAfter = std::chrono::milliseconds(3000);
constexpr int kDeliveryPollMs = 20;

std::chrono::milliseconds DeliveryWait(size_t bytesSent) {
  const int64_t ms = kDeliveryBaseWaitMs +
                     static_cast<int64_t>(bytesSent / static_cast<size_t>(kSlowestPaceBytesPerMs));
  return std::chrono::milliseconds(std::min(ms, kLongestDeliveryWaitMs));
}

}  // namespace

NetworkPrinter::NetworkPrinter() : NetworkPrinter(platform::Network::Create()) {}

NetworkPrinter::NetworkPrinter(std::unique_ptr<platform::Network> network)
    : EscPosPrinter(ClosedQrCode::Refuse), network_(std::move(network)) {}

NetworkPrinter::~NetworkPrinter() = default;

bool NetworkPrinter::Reachable(const std::string& address, int port, int timeoutMs) {
  const platform::PingResult result = network_->Ping(address, timeoutMs);
  if (result.status != platform::PingResult::Status::NoPermission) {
    return result.status == platform::PingResult::Status::Reply;
  }
  // Without ICMP rights the printer's own port is the best sign of life, under the same limit.
  return network_->ConnectTcp(address, port, timeoutMs) != nullptr;
}

bool NetworkPrinter::connect(const std::string& address, int port, int pingTimeoutMs,
                             int ioTimeoutMs, int paperWidth) {
  ioTimeoutMs_ = ioTimeoutMs < 0 ? 0 : ioTimeoutMs;
  if (pingTimeoutMs > 1 && !Reachable(address, port, pingTimeoutMs)) return false;
  SetPaperWidth(paperWidth);
  address_ = address;
  port_ = port;
  held_.clear();
  broken_ = false;
  bytesSent_ = 0;
  answersOwed_ = 0;
  connection_.reset();
  connection_ = network_->ConnectTcp(address, port, kConnectTimeoutMs);
  SetOpen(connection_ != nullptr);
  return isOpen();
}

bool NetworkPrinter::Transfer(std::string_view bytes) {
  if (!connection_ || broken_) return false;
  if (held_.size() + bytes.size() <= kHoldLimit) {
    held_.append(bytes);
    return true;
  }
  if (!SendHeld()) return false;
  if (bytes.size() < kHoldLimit) {
    held_.assign(bytes);
    return true;
  }
  return SendNow(bytes);
}

bool NetworkPrinter::SendNow(std::string_view bytes) {
  // A printer that keeps taking bytes is not given up while it does; the I/O limit is the
  // longest it may take none, and the delivery rule's pace bounds the whole send.
  const int limitMs = ioTimeoutMs_ == 0 ? 0 : static_cast<int>(DeliveryWait(bytes.size()).count());
  broken_ = !connection_->SendAll(bytes, ioTimeoutMs_, limitMs);
  if (broken_) {
    GiveUp();
  } else {
    bytesSent_ += bytes.size();
  }
  return !broken_;
}

void NetworkPrinter::GiveUp() {
  // The ticket is reported as failed; a normal close would still deliver what our system
  // holds of it, and the printer would print it after all (and the ticket twice once the
  // cloud or the staff print it again). A reset drops it.
  connection_->Abort();
}

bool NetworkPrinter::SendHeld() {
  if (!connection_ || broken_) return false;
  if (held_.empty()) return true;
  // After a failed send the connection is of no further use: what it held is dropped, and
  // every later transfer fails as its own send would have.
  const bool sent = SendNow(held_);
  held_.clear();
  return sent;
}

std::string NetworkPrinter::ReceiveReply(int timeoutMs) {
  if (!SendHeld()) return std::string();
  return connection_->ReceiveOnce(timeoutMs, kMaxReplyBytes);
}

NetworkPrinter::PaperState NetworkPrinter::ReadPaperState(int waitMs) {
  if (!Transfer(escpos::kPaperSensorRequest)) return PaperState::Unknown;
  const std::string reply = ReceiveReply(waitMs);
  if (reply.empty()) {
    // A printer still busy with an earlier job may answer later, while or after the ticket
    // goes out; that answer must not pass for the one after the ticket.
    ++answersOwed_;
    return PaperState::Unknown;
  }
  answersOwed_ = 0;
  // Only the one-byte answer 0C means paper end (or an open cover). Printers of this family
  // answer ESC v with other bytes too, the print head's temperature among them (45 = 0x2D
  // has the same two bits set); reading bits would refuse every ticket such a printer gets.
  return reply == "\x0c" ? PaperState::Out : PaperState::Present;
}

bool NetworkPrinter::DeliveryConfirmed() {
  if (!Transfer(escpos::kPaperSensorRequest) || !SendHeld()) return false;
  if (AwaitDelivery()) return true;
  GiveUp();
  return false;
}

bool NetworkPrinter::AwaitDelivery() {
  using Event = platform::TcpConnection::PeerEvent;
  using Clock = std::chrono::steady_clock;
  // A printer answers ESC v only after reading everything sent before it.
  ++answersOwed_;
  const Clock::time_point start = Clock::now();
  const Clock::time_point limit = start + DeliveryWait(bytesSent_);
  Clock::time_point lastProgress = start;
  size_t fewestUnacknowledged = SIZE_MAX;
  for (;;) {
    switch (connection_->WaitForPeer(kDeliveryPollMs)) {
      case Event::Data: {
        const size_t answers = connection_->ReceiveOnce(kDeliveryPollMs, kMaxReplyBytes).size();
        answersOwed_ -= std::min(answers, answersOwed_);
        if (answersOwed_ == 0) return true;
        break;
      }
      case Event::Reset:
        return false;  // it hung up with bytes unread: the ticket is incomplete
      case Event::Closed:
        return connection_->CountUnacknowledged().bytes == 0;
      case Event::Nothing:
        break;
    }
    // A printer that never answers the question has the ticket once its system has
    // acknowledged every byte; bytes still queued here when the socket closes are lost.
    const platform::TcpConnection::Unacknowledged pending = connection_->CountUnacknowledged();
    if (pending.bytes == 0) return true;
    const Clock::time_point now = Clock::now();
    if (pending.exact && pending.bytes < fewestUnacknowledged) {
      fewestUnacknowledged = pending.bytes;
      lastProgress = now;
    }
    if (now >= limit || (pending.exact && now - lastProgress >= kStalledAfter)) return false;
  }
}

bool NetworkPrinter::ReleaseTransport() {
  if (!connection_) return false;
  SendHeld();  // the closing feed and cut, whose results never decided the close's
  const bool closed = connection_->close();
  connection_.reset();
  return closed;
}

std::string NetworkPrinter::checkStatusText(int pingTimeoutMs) {
  constexpr std::string_view kNoAnswer = "通讯故障或超时";
  if (!Reachable(address_, port_, pingTimeoutMs)) return std::string(kNoAnswer);
  if (!Transfer(escpos::kPaperSensorRequest)) return std::string(kNoAnswer);
  const std::string reply = ReceiveReply(ioTimeoutMs_);
  if (reply.empty()) return std::string(kNoAnswer);
  if (reply == std::string_view("\x00", 1)) return "打印机正常";
  if (reply == "\x0c") return "缺纸或纸盖开启";
  SetLastError(ToUtf8(reply.substr(0, reply.find('\0'))));
  return "其他错误";
}

bool NetworkPrinter::printRasterImage(std::string_view data, int widthBytes, int heightDots,
                                      int alignment) {
  return SendIfOpen(escpos::RasterImage(data, widthBytes, heightDots, alignment));
}

bool NetworkPrinter::setEscHashMode(int n) { return SendIfOpen(escpos::EscHashMode(n)); }

}  // namespace qv
