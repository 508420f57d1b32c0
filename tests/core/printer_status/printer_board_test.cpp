#include "core/printer_status/printer_board.h"

#include <gtest/gtest.h>

#include <variant>

#include "tests/fakes/fake_clock.h"

namespace qv {
namespace {

const PrinterId kKitchen{1, "192.168.1.50"};
const PrinterId kCounter{2, "前台 POS-80"};

// One step of a printer's afternoon: the clock moves, then a ticket ends, a ticket starts,
// the owner asks who is due for a recheck, or a recheck ends.
struct Advance {
  int64_t ms;
};
struct Start {};
struct Ticket {
  TicketOutcome outcome;
};
struct Due {
  bool expected;  // the kitchen printer is among those due
};
struct Check {
  CheckOutcome outcome;
};
using Step = std::variant<Advance, Start, Ticket, Due, Check>;

struct Expect {
  PrinterHealth health;
  std::string alert;  // "" when the step gives none
};

TEST(PrinterBoard, RowFollowsTicketsAndRechecksAndAlertsOncePerChange) {
  using H = PrinterHealth;
  using T = TicketOutcome;
  using C = CheckOutcome;
  const std::string paperOut1 = "厨房 192.168.1.50：缺纸或纸盖开启，1 张小票未打印";
  const std::vector<std::pair<Step, Expect>> steps = {
      {Ticket{T::Printed}, {H::Ready, ""}},
      {Ticket{T::PaperOut}, {H::PaperOut, paperOut1}},
      // Still out of paper: the next failed ticket counts, but alerts nobody again.
      {Ticket{T::PaperOut}, {H::PaperOut, ""}},
      {Due{false}, {H::PaperOut, ""}},  // its last ticket is not 30 s old yet
      {Advance{29999}, {H::PaperOut, ""}},
      {Due{false}, {H::PaperOut, ""}},
      {Advance{1}, {H::PaperOut, ""}},
      {Due{true}, {H::PaperOut, ""}},
      {Due{false}, {H::PaperOut, ""}},  // being checked already
      {Check{C::PaperOut}, {H::PaperOut, ""}},
      {Advance{30000}, {H::PaperOut, ""}},
      {Due{true}, {H::PaperOut, ""}},
      {Check{C::Unreachable}, {H::Unreachable, "厨房 192.168.1.50：无法连接，2 张小票未打印"}},
      {Advance{30000}, {H::Unreachable, ""}},
      {Due{true}, {H::Unreachable, ""}},
      {Check{C::CannotTell}, {H::Unreachable, ""}},
      {Advance{30000}, {H::Unreachable, ""}},
      {Due{true}, {H::Unreachable, ""}},
      // Someone put paper in: the row turns 正常 without waiting for the next order.
      {Check{C::Ready}, {H::Ready, ""}},
      {Advance{60000}, {H::Ready, ""}},
      {Due{false}, {H::Ready, ""}},
      {Ticket{T::ConnectFailed}, {H::Unreachable, "厨房 192.168.1.50：无法连接，1 张小票未打印"}},
      // A printer in use is never rechecked, and a check that a ticket overtook is dropped.
      {Advance{30000}, {H::Unreachable, ""}},
      {Due{true}, {H::Unreachable, ""}},
      {Start{}, {H::Unreachable, ""}},
      {Check{C::Ready}, {H::Unreachable, ""}},
      {Advance{30000}, {H::Unreachable, ""}},
      {Due{false}, {H::Unreachable, ""}},
      {Ticket{T::Failed}, {H::Failed, "厨房 192.168.1.50：打印失败，2 张小票未打印"}},
      {Ticket{T::Printed}, {H::Ready, ""}},
  };

  testing::FakeClock clock;
  PrinterBoard board(clock);
  board.Know(kKitchen, "厨房");
  board.Know(kCounter);
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    const auto& [step, expect] = steps[i];
    std::optional<PrinterAlert> alert;
    if (auto* a = std::get_if<Advance>(&step)) clock.AdvanceMs(a->ms);
    if (std::holds_alternative<Start>(step)) board.TicketStarted(kKitchen);
    if (auto* t = std::get_if<Ticket>(&step)) {
      board.TicketStarted(kKitchen);
      alert = board.TicketFinished(kKitchen, t->outcome);
    }
    if (auto* d = std::get_if<Due>(&step)) {
      // The other printer has never printed: its state is unknown, not trouble.
      const std::vector<PrinterId> due = board.DueForRecheck();
      EXPECT_EQ(due, d->expected ? std::vector<PrinterId>{kKitchen} : std::vector<PrinterId>{});
    }
    if (auto* c = std::get_if<Check>(&step)) alert = board.RecheckFinished(kKitchen, c->outcome);

    EXPECT_EQ(alert ? alert->text : "", expect.alert);
    const std::vector<PrinterRow> rows = board.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, kKitchen);
    EXPECT_EQ(rows[0].health, expect.health);
    EXPECT_EQ(rows[1].health, PrinterHealth::Unknown);
  }
}

TEST(PrinterBoard, TodaysCountsAndLastTicketStartAfreshEachDay) {
  testing::FakeClock clock({2026, 3, 7, 23, 59, 0});
  PrinterBoard board(clock);
  board.TicketFinished(kCounter, TicketOutcome::Printed);
  board.TicketFinished(kCounter, TicketOutcome::Printed);
  const std::optional<PrinterAlert> alert = board.TicketFinished(kCounter, TicketOutcome::Failed);
  ASSERT_TRUE(alert);
  // A printer without a name is named by its address alone.
  EXPECT_EQ(alert->text, "前台 POS-80：打印失败，1 张小票未打印");
  PrinterRow row = board.Rows().at(0);
  EXPECT_EQ(row.printedToday, 2);
  EXPECT_EQ(row.failedToday, 1);
  EXPECT_FALSE(row.lastTicketPrinted);
  EXPECT_EQ(row.lastTicketTime.minute, 59);

  clock.Set({2026, 3, 8, 0, 0, 5});
  row = board.Rows().at(0);
  EXPECT_EQ(row.printedToday, 0);
  EXPECT_EQ(row.failedToday, 0);
  EXPECT_TRUE(row.hasTicket);  // the last ticket stays shown across midnight
  EXPECT_EQ(row.health, PrinterHealth::Failed);
  board.TicketFinished(kCounter, TicketOutcome::Printed);
  row = board.Rows().at(0);
  EXPECT_EQ(row.printedToday, 1);
  EXPECT_EQ(row.unprinted, 0);
  EXPECT_EQ(row.health, PrinterHealth::Ready);
}

}  // namespace
}  // namespace qv
