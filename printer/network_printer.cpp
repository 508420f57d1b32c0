#include "printer/network_printer.h"

#include <cstdint>

#include "printer/escpos_commands.h"
#include "util/text.h"

namespace qv {
namespace {

// The system's own connect timeout can hold the service for minutes on a printer that is
// switched off; three seconds is ample for a printer on the shop's network.
constexpr int kConnectTimeoutMs = 3000;
constexpr size_t kMaxReplyBytes = 20480;

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
  connection_.reset();
  connection_ = network_->connectTcp(address, port, kConnectTimeoutMs);
  setOpen(connection_ != nullptr);
  return isOpen();
}

bool NetworkPrinter::transfer(std::string_view bytes) {
  return connection_ && connection_->sendAll(bytes, ioTimeoutMs_);
}

std::string NetworkPrinter::receiveReply(int timeoutMs) {
  return connection_ ? connection_->receiveOnce(timeoutMs, kMaxReplyBytes) : std::string();
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
  return connection_ && transfer(escpos::kPaperSensorRequest) && !connection_->peerReset(waitMs);
}

bool NetworkPrinter::releaseTransport() { return connection_ && connection_->close(); }

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
