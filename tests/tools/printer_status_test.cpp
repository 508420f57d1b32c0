#include "tools/sim/printer_status.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv::sim {
namespace {

TEST(PrinterStatus, RepliesFollowTheState) {
  PrinterState ready;
  PrinterState paperOut;
  paperOut.paperOut = true;
  PrinterState coverOpen;
  coverOpen.coverOpen = true;
  coverOpen.drawerOpen = true;
  struct Case {
    StatusQuery query;
    const PrinterState* state;
    std::string reply;
  };
  const std::vector<Case> cases = {
      {{StatusQueryKind::PrinterStatus, 1}, &ready, std::string(1, '\0')},
      {{StatusQueryKind::PrinterStatus, 1}, &paperOut, "\x20"},
      {{StatusQueryKind::PrinterStatus, 1}, &coverOpen, "\x04"},
      {{StatusQueryKind::DrawerStatus, 2}, &coverOpen, "\x04"},
      {{StatusQueryKind::PaperSensor, 0}, &ready, std::string(1, '\0')},
      {{StatusQueryKind::PaperSensor, 0}, &paperOut, "\x0c"},
      {{StatusQueryKind::PaperSensor, 0}, &coverOpen, "\x0c"},
      {{StatusQueryKind::RealTime, 4}, &paperOut, "\x72"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(StatusQueryName(c.query) + " " + StateText(*c.state));
    EXPECT_EQ(StatusReply(c.query, *c.state), c.reply);
  }
  std::string firmware = StatusReply({StatusQueryKind::PrinterId, 65}, ready);
  EXPECT_GE(firmware.size(), 2u);
  EXPECT_EQ(firmware.back(), '\0');
}

}  // namespace
}  // namespace qv::sim
