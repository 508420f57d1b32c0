// A receipt printer on the parallel port LPT1 or LPT2.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/lpt_port.h"
#include "printer/escpos.h"

namespace qv {

class LptPrinter : public EscPosPrinter {
 public:
  // Uses the system's parallel ports.
  LptPrinter();
  explicit LptPrinter(std::unique_ptr<platform::LptPorts> ports);
  ~LptPrinter() override;

  // Device files for LPT1 and LPT2 in place of the system's defaults (empty: default).
  void SetPortPaths(const std::string& lpt1, const std::string& lpt2);
  // Opens LPT1 (portNumber 1) or LPT2 (2). Any other number returns false without touching
  // the port or the printer's state; a port that does not open returns false.
  bool open(int portNumber, int paperWidth);
  // Writes the bytes to the port; false when it is not open or the write failed.
  bool writeBytes(std::string_view data);

 protected:
  bool Transfer(std::string_view bytes) override;
  bool ReleaseTransport() override;

 private:
  std::unique_ptr<platform::LptPorts> ports_;
  int handle_ = -1;
};

}  // namespace qv
