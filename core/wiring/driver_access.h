// The three process-wide printer drivers behind the print path's PrinterAccess interface.
#pragma once

#include <string>

#include "core/service/printer_access.h"
#include "printer/escpos.h"
#include "printer/lpt_printer.h"
#include "printer/network_printer.h"
#include "printer/spooler_printer.h"

namespace qv {

// The print path's operations on one ESC/POS driver.
class EscPosReceiptDriver : public ReceiptDriver {
 public:
  explicit EscPosReceiptDriver(EscPosPrinter& printer) : p_(printer) {}
  bool setBold(int on) override { return p_.setBold(on); }
  bool setAlignment(int code) override { return p_.setAlignment(code); }
  bool setCharacterSize(int width, int height, int mode) override {
    return p_.setCharacterSize(width, height, mode);
  }
  bool PrintTextLine(const std::string& text) override;
  bool lineFeed(int count) override { return p_.lineFeed(count); }
  bool cut() override { return p_.cut(); }
  bool close(int feedCount, int cutAfter) override { return p_.close(feedCount, cutAfter); }

 private:
  EscPosPrinter& p_;
};

// The network printer can answer whether it has paper, and can tell, shortly after the last
// bytes, whether the printer hung up on them.
class NetworkReceiptDriver : public EscPosReceiptDriver {
 public:
  explicit NetworkReceiptDriver(NetworkPrinter& printer)
      : EscPosReceiptDriver(printer), network_(printer) {}
  // The printer's answer, or its acknowledgement of every byte, within a wait that grows
  // with the ticket.
  bool ConfirmDelivery() override { return network_.DeliveryConfirmed(); }
  // A printer out of paper takes the bytes and prints nothing; asked first, it says so.
  // Printers on the shop's network answer within milliseconds; one that does not answer at
  // all is printed to as before.
  bool PaperReady() override {
    return network_.ReadPaperState(200) != NetworkPrinter::PaperState::Out;
  }

 private:
  NetworkPrinter& network_;
};

// A spooler job prints only once the spooler accepts its end, so the end comes before the
// task is reported; the close afterwards only releases the printer.
class SpoolerReceiptDriver : public EscPosReceiptDriver {
 public:
  explicit SpoolerReceiptDriver(SpoolerPrinter& printer)
      : EscPosReceiptDriver(printer), spooler_(printer) {}
  bool ConfirmDelivery() override { return spooler_.FinishJob(); }

 private:
  SpoolerPrinter& spooler_;
};

// The drivers must outlive this object.
class DriverAccess : public PrinterAccess {
 public:
  DriverAccess(NetworkPrinter& network, SpoolerPrinter& spooler, LptPrinter& lpt)
      : network_(network),
        spooler_(spooler),
        lpt_(lpt),
        networkOps_(network),
        spoolerOps_(spooler),
        lptOps_(lpt) {}

  bool ConnectNetwork(const std::string& address, int port, int pingTimeoutMs, int ioTimeoutMs,
                      int paperWidth) override {
    return network_.connect(address, port, pingTimeoutMs, ioTimeoutMs, paperWidth);
  }
  bool OpenSpooler(const std::string& name, int paperWidth, std::string& errorText) override {
    return spooler_.open(name, paperWidth, errorText);
  }
  bool OpenLpt(int portNumber, int paperWidth) override {
    return lpt_.open(portNumber, paperWidth);
  }
  ReceiptDriver& Driver(Transport transport) override;

 private:
  NetworkPrinter& network_;
  SpoolerPrinter& spooler_;
  LptPrinter& lpt_;
  NetworkReceiptDriver networkOps_;
  SpoolerReceiptDriver spoolerOps_;
  EscPosReceiptDriver lptOps_;
};

}  // namespace qv
