#include "printer/network_printer.h"

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

}  // namespace

NetworkPrinter::NetworkPrinter() : NetworkPrinter(platform::Network::create()) {}

NetworkPrinter::NetworkPrinter(std::unique_ptr<platform::Network> network)
    : EscPosPrinter(ClosedQrCode::Refuse), network_(std::move(network)) {}

NetworkPrinter::~NetworkPrinter() = default;

bool NetworkPrinter::reachable(const std::string& address, int port, int timeoutMs) {
  const platform::PingResult result = network_->ping(address, timeoutMs);
  if (result.status != platform::PingResult::Status::NoPermission) {
    return result.status == platform::PingResult::Status::Reply;
  }
  // Without ICMP rights the printer's own port is the best sign of life, under the same limit.
  return network_->connectTcp(address, port, timeoutMs) != nullptr;
}

bool NetworkPrinter::connect(const std::string& address, int port, int pingTimeoutMs,
                             int ioTimeoutMs, int paperWidth) {
  ioTimeoutMs_ = ioTimeoutMs < 0 ? 0 : ioTimeoutMs;
  if (pingTimeoutMs > 1 && !reachable(address, port, pingTimeoutMs)) return false;
  setPaperWidth(paperWidth);
  address_ = address;
  port_ = port;
  held_.clear();
  broken_ = false;
  connection_.reset();
  connection_ = network_->connectTcp(address, port, kConnectTimeoutMs);
  setOpen(connection_ != nullptr);
  return isOpen();
}

bool NetworkPrinter::transfer(std::string_view bytes) {
  if (!connection_ || broken_) return false;
  if (held_.size() + bytes.size() <= kHoldLimit) {
    held_.append(bytes);
    return true;
  }
  if (!sendHeld()) return false;
  if (bytes.size() < kHoldLimit) {
    held_.assign(bytes);
    return true;
  }
  broken_ = !connection_->sendAll(bytes, ioTimeoutMs_);
  return !broken_;
}

bool NetworkPrinter::sendHeld() {
  if (!connection_ || broken_) return false;
  if (held_.empty()) return true;
  // After a failed send the connection is of no further use: what it held is dropped, and
  // every later transfer fails as its own send would have.
  broken_ = !connection_->sendAll(held_, ioTimeoutMs_);
  held_.clear();
  return !broken_;
}

std::string NetworkPrinter::receiveReply(int timeoutMs) {
  if (!sendHeld()) return std::string();
  return connection_->receiveOnce(timeoutMs, kMaxReplyBytes);
}

NetworkPrinter::PaperState NetworkPrinter::paperState(int waitMs) {
  if (!transfer(escpos::kPaperSensorRequest)) return PaperState::Unknown;
  const std::string reply = receiveReply(waitMs);
  if (reply.empty()) return PaperState::Unknown;
  constexpr uint8_t kPaperEnd = 0x0C;
  return (static_cast<uint8_t>(reply[0]) & kPaperEnd) == kPaperEnd ? PaperState::Out
                                                                   : PaperState::Present;
}

bool NetworkPrinter::deliveryConfirmed(int waitMs) {
  // A printer answers ESC v only after reading everything sent before it, so its answer
  // ends the wait at once; one that does not answer costs the whole wait for a reset.
  return transfer(escpos::kPaperSensorRequest) && sendHeld() && !connection_->peerReset(waitMs);
}

bool NetworkPrinter::releaseTransport() {
  if (!connection_) return false;
  sendHeld();  // the closing feed and cut, whose results never decided the close's
  const bool closed = connection_->close();
  connection_.reset();
  return closed;
}

std::string NetworkPrinter::checkStatusText(int pingTimeoutMs) {
  constexpr std::string_view kNoAnswer = "通讯故障或超时";
  if (!reachable(address_, port_, pingTimeoutMs)) return std::string(kNoAnswer);
  if (!transfer(escpos::kPaperSensorRequest)) return std::string(kNoAnswer);
  const std::string reply = receiveReply(ioTimeoutMs_);
  if (reply.empty()) return std::string(kNoAnswer);
  if (reply == std::string_view("\x00", 1)) return "打印机正常";
  if (reply == "\x0c") return "缺纸或纸盖开启";
  setLastError(ToUtf8(reply.substr(0, reply.find('\0'))));
  return "其他错误";
}

bool NetworkPrinter::printRasterImage(std::string_view data, int widthBytes, int heightDots,
                                      int alignment) {
  return sendIfOpen(escpos::RasterImage(data, widthBytes, heightDots, alignment));
}

bool NetworkPrinter::setEscHashMode(int n) { return sendIfOpen(escpos::EscHashMode(n)); }

}  // namespace qv
