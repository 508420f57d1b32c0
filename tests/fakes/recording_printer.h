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
  void setOpenState(bool open) { setOpen(open); }
  // Every later transfer fails (it is still recorded).
  void failTransfers(bool fail) { fail_ = fail; }
  // Replies handed out, one per status request, in order; an empty text is "no reply".
  void queueReply(std::string reply) { replies_.push_back(std::move(reply)); }
  // Result of the next close's release.
  void failRelease(bool fail) { failRelease_ = fail; }

  // Each transfer's bytes in order.
  const std::vector<std::string>& transfers() const { return transfers_; }
  // All bytes sent, joined.
  std::string bytes() const {
    std::string all;
    for (const std::string& t : transfers_) all += t;
    return all;
  }
  // Reply wait limits asked for, in order.
  const std::vector<int>& replyWaits() const { return replyWaits_; }
  int releases() const { return releases_; }
  void clear() { transfers_.clear(); }

 protected:
  bool transfer(std::string_view bytes) override {
    transfers_.emplace_back(bytes);
    return !fail_;
  }
  std::string receiveReply(int timeoutMs) override {
    replyWaits_.push_back(timeoutMs);
    if (replies_.empty()) return std::string();
    std::string reply = std::move(replies_.front());
    replies_.pop_front();
    return reply;
  }
  bool releaseTransport() override {
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
