// A receipt printer on a raw TCP port (usually 9100), one connection per task.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/network.h"
#include "printer/escpos.h"

namespace qv {

class NetworkPrinter : public EscPosPrinter {
 public:
  // Uses the system's sockets.
  NetworkPrinter();
  explicit NetworkPrinter(std::unique_ptr<platform::Network> network);
  ~NetworkPrinter() override;

  // Stores ioTimeoutMs (negative: 0, no limit). With pingTimeoutMs above 1 the printer must
  // first answer a ping (or, where ICMP is not permitted, accept a TCP connection) within
  // that time, else false with nothing else changed. Then connects to the dotted IPv4
  // address within 3 s; isOpen becomes the result.
  bool connect(const std::string& address, int port, int pingTimeoutMs, int ioTimeoutMs,
               int paperWidth);
  // Pings the stored address, asks ESC v and reads the reply with ioTimeoutMs: "打印机正常",
  // "缺纸或纸盖开启", "通讯故障或超时", or "其他错误" with the reply text in lastError.
  // Does not check isOpen.
  std::string checkStatusText(int pingTimeoutMs = 10000);
  // [ESC a] GS v 0 0 xL xH yL yH data in one send; false when not open.
  bool printRasterImage(std::string_view data, int widthBytes, int heightDots, int alignment);
  // ESC # with the low byte of n; false when not open.
  bool setEscHashMode(int n);

  // What the paper sensor says before a job.
  enum class PaperState { Present, Out, Unknown };
  // Sends ESC v and waits at most waitMs for the reply: Out when the reply is the one byte
  // 0C (paper end or cover open, as checkStatusText reads it), Present for any other reply,
  // Unknown when the printer does not answer or the request could not be sent.
  PaperState ReadPaperState(int waitMs);

  // After the last bytes of a job: asks the paper question again and returns true once the
  // printer answers it (it has read the whole ticket) or its system has acknowledged every
  // byte sent; false when the question cannot be sent, the printer resets the connection,
  // or neither happens within a wait that grows with the bytes sent (where the system counts
  // unacknowledged bytes, also when the printer takes none of them for 3 s). A send alone
  // cannot tell: the bytes may still sit in our system's buffers when the socket closes.
  // When false, the connection is reset so that the printer gets nothing more of the ticket.
  bool DeliveryConfirmed();

  // How long a send may go without the printer taking any of its bytes, in milliseconds; 0
  // means no limit. A send that fails resets the connection: the printer gets nothing more.
  // The operations' bytes are held and sent together, before any wait for the printer (a
  // reply, the delivery check, the close), so an operation's failure to send may show in a
  // later one's result.
  int ioTimeoutMs() const { return ioTimeoutMs_; }
  // Address given to the last connect that got past the reachability check.
  const std::string& Address() const { return address_; }

 protected:
  bool Transfer(std::string_view bytes) override;
  std::string ReceiveReply(int timeoutMs) override;
  bool ReleaseTransport() override;

 private:
  bool Reachable(const std::string& address, int port, int timeoutMs);
  // Sends the held bytes; false when they could not all go out or nothing is connected.
  bool SendHeld();
  // Sends at once and counts the bytes that went out; a failure breaks the connection.
  bool SendNow(std::string_view bytes);
  // DeliveryConfirmed's wait, after the question went out.
  bool AwaitDelivery();
  // Resets the connection of a ticket given up.
  void GiveUp();

  std::unique_ptr<platform::Network> network_;
  std::unique_ptr<platform::TcpConnection> connection_;  // none before connect, after close
  bool broken_ = false;                                  // a send on connection_ failed
  size_t bytesSent_ = 0;                                 // on connection_, for the delivery wait
  size_t answersOwed_ = 0;  // paper questions on connection_ not answered yet
  std::string held_;        // bytes of operations not yet sent
  std::string address_;
  int port_ = 0;
  int ioTimeoutMs_ = 0;
};

}  // namespace qv
