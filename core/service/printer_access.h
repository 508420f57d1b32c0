// The printer drivers as the print path sees them: three ways to open a printer and the few
// operations it sends, so that print execution can run on the real drivers or on a fake.
#pragma once

#include <string>

namespace qv {

// The transport a task names by its print_type.
enum class Transport { Network = 1, Spooler = 2, Lpt = 3 };

// The operations the print path sends to an opened printer. Each returns false when the
// printer refused the arguments or when a transfer did not hand on all of its bytes.
class ReceiptDriver {
 public:
  virtual ~ReceiptDriver() = default;
  // ESC E 1 when on == 1, ESC E 0 otherwise.
  virtual bool setBold(int on) = 0;
  // 1 left, 2 centre, 3 right; other codes are refused.
  virtual bool setAlignment(int code) = 0;
  // GS ! for mode 1 with codes 0..7 (below 1 counts as 0); larger codes are refused.
  virtual bool setCharacterSize(int width, int height, int mode) = 0;
  // The UTF-8 text as GBK bytes, then CR LF as a second transfer; false when either failed.
  virtual bool PrintTextLine(const std::string& text) = 0;
  // CR LF `count` times (0 or less counts as 1).
  virtual bool lineFeed(int count) = 0;
  // Partial cut.
  virtual bool cut() = 0;
  // Releases the printer after an optional feed and cut; false when the release failed.
  virtual bool close(int feedCount, int cutAfter) = 0;
  // Before the first copy: false when the printer says it has no paper (or its cover is
  // open), so that nothing is sent to it; true when it has paper or cannot tell.
  virtual bool PaperReady() { return true; }
  // After the last copy: false when the printer is known to have lost part of the job, or
  // the spooler refused to take the finished job.
  virtual bool ConfirmDelivery() { return true; }
};

class PrinterAccess {
 public:
  virtual ~PrinterAccess() = default;
  // Pings then connects to address:port; false when unreachable or refused.
  virtual bool ConnectNetwork(const std::string& address, int port, int pingTimeoutMs,
                              int ioTimeoutMs, int paperWidth) = 0;
  // Starts a raw job on the named printer; false with `errorText` describing why.
  virtual bool OpenSpooler(const std::string& name, int paperWidth, std::string& errorText) = 0;
  // Opens LPT1 or LPT2; false for other numbers or when the port cannot be opened.
  virtual bool OpenLpt(int portNumber, int paperWidth) = 0;
  // The driver object behind a transport; lives as long as this object.
  virtual ReceiptDriver& Driver(Transport transport) = 0;
};

}  // namespace qv
