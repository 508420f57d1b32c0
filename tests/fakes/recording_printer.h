// An ESC/POS printer whose transport records every transfer, for tests of the operation set
// and of the code that drives printers. Open or closed, failing or answering, as a test sets.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "printer/escpos.h"

namespace qv::testing {

class RecordingPrinter : public EscPosPrinter {
 public:
  // `closedQrCode` picks how printQRCode treats a closed printer (network: Refuse).
  explicit RecordingPrinter(ClosedQrCode closedQrCode = ClosedQrCode::Refuse)
      : EscPosPrinter(closedQrCode) {}
  using EscPosPrinter::ClosedQrCode;

  // Opens or closes the printer as a driver's open/connect would.
  void SetOpenState(bool open) { SetOpen(open); }
  // Every later transfer fails (it is still recorded).
  void FailTransfers(bool fail) { fail_ = fail; }
  // Replies handed out, one per status request, in order; an empty text is "no reply".
  void QueueReply(std::string reply) { replies_.push_back(std::move(reply)); }
  // Result of the next close's release.
  void FailRelease(bool fail) { failRelease_ = fail; }

  // Each transfer's bytes in order.
  const std::vector<std::string>& Transfers() const { return transfers_; }
  // All bytes sent, joined.
  std::string Bytes() const {
    std::string all;
    for (const std::string& t : transfers_) all += t;
    return all;
  }
  // Reply wait limits asked for, in order.
  const std::vector<int>& ReplyWaits() const { return replyWaits_; }
  int Releases() const { return releases_; }
  void Clear() { transfers_.clear(); }

 protected:
  bool Transfer(std::string_view bytes) override {
    transfers_.emplace_back(bytes);
    return !fail_;
  }
  std::string ReceiveReply(int timeoutMs) override {
    replyWaits_.push_back(timeoutMs);
    if (replies_.empty()) return std::string();
    std::string reply = std::move(replies_.front());
    replies_.pop_front();
    return reply;
  }
  bool ReleaseTransport() override {
    ++releases_;
    return !failRelease_;
  }

 private:
  std::vector<std::string> transfers_;
  std::deque<std::string> replies_;
  std::vector<int> replyWaits_;
  bool fail_ = false;
  bool failRelease_ = false;
  int releases_ = 0;
};

}  // namespace qv::testing
