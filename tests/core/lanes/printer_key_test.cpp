#include "core/lanes/printer_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Spellings of one printer share a key (a shared key only makes tickets take turns); different
// printers, or one name on two transports, never do.
TEST(PrinterKey, OnePrinterOneKey) {
  struct Case {
    int type;
    std::string sn;
    std::string key;
  };
  for (const Case& c : std::vector<Case>{
           {1, "192.168.1.50", "net:192.168.1.50:9100"},
           {1, " 192.168.1.50\t", "net:192.168.1.50:9100"},
           {1, "Kitchen-Printer.local", "net:kitchen-printer.local:9100"},
           {1, "192.168.1.51", "net:192.168.1.51:9100"},
           {2, "POS-80", "spooler:pos-80"},
           {2, "pos-80 ", "spooler:pos-80"},
           {2, "厨房打印机", "spooler:厨房打印机"},
           {3, "1", "lpt:1"},
           {3, "01", "lpt:1"},
           {3, "2", "lpt:2"},
           {3, "x", "lpt:0"},
           {0, "192.168.1.50", "none"},
           {4, "POS-80", "none"},
       }) {
    EXPECT_EQ(PrinterKey(c.type, c.sn), c.key) << c.type << " " << c.sn;
  }
  EXPECT_NE(PrinterKey(1, "POS-80"), PrinterKey(2, "POS-80"));
}

}  // namespace
}  // namespace qv
