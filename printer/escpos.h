// The ESC/POS operation set that every receipt printer driver offers.
//
// The network, spooler and parallel-port printers differ only in how bytes travel and how a
// printer is opened and closed, so the operations are written once here over a small virtual
// transfer. The byte sequences themselves come from printer/escpos_commands.h.
//
// Texts handed in and out are UTF-8; printText converts to GBK, the printers' code page.
// No operation sends the initialise command or selects a code table: the printer's power-on
// defaults apply.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace qv {

// The status report text: {"key":value,...} in a fixed key order, "{}" when empty.
using PrinterStatusReport = std::string;

// Whether printText ends the line with CR LF (sent as a transfer of its own).
enum class Newline { No, Yes };

// Threads: one at a time; the open state, the last error and the transfer are plain members.
class EscPosPrinter {
 public:
  virtual ~EscPosPrinter() = default;
  EscPosPrinter(const EscPosPrinter&) = delete;
  EscPosPrinter& operator=(const EscPosPrinter&) = delete;

  // True once the last open/connect succeeded; close() does not clear it.
  bool isOpen() const { return open_; }
  // Last barcode/QR validation message (network printer: also the raw status reply), UTF-8.
  const std::string& lastError() const { return lastError_; }
  // Paper width in millimetres given to the last open/connect; stored only.
  int paperWidth() const { return paperWidth_; }

  // Every operation below returns false and sends nothing when the printer is not open,
  // unless its line says otherwise; otherwise it returns the result of its last transfer.

  // CR LF `count` times in one transfer; a count of 0 or less counts as 1.
  bool lineFeed(int count);
  // ESC a for 1 left, 2 centre, 3 right; any other code sends nothing and returns false.
  bool setAlignment(int code);
  // ESC E 1 when on == 1, ESC E 0 for any other value.
  bool setBold(int on);
  // ESC 4 1 when on == 1, ESC 4 0 for any other value.
  bool setEsc4Mode(int on);
  // ESC - 0/1/2 for mode 0/1/2; any other mode sends nothing and returns false.
  bool setUnderline(int mode);
  // The UTF-8 text as GBK bytes ("?" where GBK has no form); with Newline::Yes a second
  // transfer of CR LF follows even when the first failed.
  bool printText(std::string_view text, Newline newline);
  // FS . (cancel Chinese character mode).
  bool cancelChineseMode();
  // sizeCode 0..3 -> n = 00/10/20/30; ESC ! n for family <= 1, GS ! n for family >= 2;
  // any other sizeCode sends nothing and returns false.
  bool setPrintModeSize(int sizeCode, int family);
  // GS ! ((width << 4) | height) for mode 1 (codes 0..7, below 1 counts as 0); a code above
  // the limit sends nothing and returns false. Mode 2 only passes 0, 0 and then sends 00.
  bool setCharacterSize(int width, int height, int mode);
  // ESC m (partial cut).
  bool cut();
  // Not open: false. Otherwise lineFeed(feedCount) when feedCount > 0, cut() when
  // cutAfter == 1, then releases the handle or socket; the result is that of the release.
  // isOpen stays true; later transfers fail until the next open.
  bool close(int feedCount, int cutAfter);
  // ESC p 0 60 255 when pin == 1, ESC p 1 60 255 for any other value.
  bool openDrawer(int pin);
  // Does not check isOpen. Sends the requests of `kind` (0 all, 1 printer, 2 drawer,
  // 3 paper sensor, 4 firmware; selective false means all) and builds the report from the
  // replies the driver can read; drivers that read none return "{}".
  PrinterStatusReport queryStatus(int kind, bool selective);
  // Clamps (level 1..4 else 2, alignment 1..3 else 1, moduleSize to 1..16) and sends
  // alignment, module size, error correction, store and print in one transfer. utf8 == 1
  // sends the text's UTF-8 bytes, otherwise its GBK bytes. Data above 252 bytes uses the
  // two-byte length. Whether a closed printer is refused depends on the driver.
  bool printQRCode(std::string_view text, int level, int moduleSize, int alignment, int utf8);
  // Validates (width 1..6, height 1..255, non-empty content) setting lastError on refusal,
  // then setAlignment, GS h height, GS w width, GS k 4 data NUL as separate transfers.
  bool printCode39(std::string_view content, int width, int height, int alignment);

 protected:
  // How printQRCode treats a printer that is not open.
  enum class ClosedQrCode {
    Refuse,          // returns false and sets lastError "请先连接打印机"
    HandToTransport  // sends anyway; the driver's transfer fails when nothing is open
  };
  explicit EscPosPrinter(ClosedQrCode closedQrCode) : closedQrCode_(closedQrCode) {}

  // One transfer of the driver: true only when every byte was handed on.
  virtual bool Transfer(std::string_view bytes) = 0;
  // Waits at most timeoutMs for the reply to a status request; empty when none arrived.
  // Drivers that cannot read replies keep this default.
  virtual std::string ReceiveReply(int timeoutMs);
  // Releases the handle or socket of the current job; true when that succeeded.
  virtual bool ReleaseTransport() = 0;

  void SetOpen(bool open) { open_ = open; }
  void SetLastError(std::string text) { lastError_ = std::move(text); }
  void SetPaperWidth(int millimetres) { paperWidth_ = millimetres; }
  // Transfer() when open, false otherwise.
  bool SendIfOpen(std::string_view bytes);

 private:
  ClosedQrCode closedQrCode_;
  bool open_ = false;
  std::string lastError_;
  int paperWidth_ = 0;
};

// `number` written in fromBase rewritten in toBase (bases 2..36, digits 0-9A-Z; full-width
// characters and lower case accepted). Invalid input gives the service's error text.
std::string convertBase(std::string_view number, int fromBase, int toBase);

}  // namespace qv
