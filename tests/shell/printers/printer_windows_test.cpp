#include <gtest/gtest.h>

#include "platform/gbk.h"
#include "shell/printers/printer_status_window.h"
#include "shell/printers/recent_tickets_window.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_toolkit.h"

namespace qv::shell {
namespace {

const PrinterId kKitchen{1, "192.168.1.50"};
const PrinterId kCounter{2, "POS-80"};
const PrinterId kPort{3, "LPT1"};

std::vector<ui::DropDownList*> Lists(test::FakeToolkit& fake, ui::Window& window) {
  std::vector<ui::DropDownList*> lists;
  for (ui::MemoryControl* c : fake.Controls(window)) {
    if (auto* list = dynamic_cast<ui::DropDownList*>(&c->control)) lists.push_back(list);
  }
  return lists;
}

TEST(PrinterStatusWindow, ShowsEachPrintersStateLastTicketAndTodaysCounts) {
  test::FakeToolkit fake;
  testing::FakeClock clock({2026, 3, 7, 12, 30, 5});
  PrinterBoard board(clock);
  board.Know(kKitchen, "厨房");
  board.Know(kCounter);
  board.TicketFinished(kKitchen, TicketOutcome::Printed);
  board.TicketFinished(kKitchen, TicketOutcome::PaperOut);
  board.TicketFinished(kPort, TicketOutcome::Printed);

  bool closed = false;
  PrinterStatusWindow window(fake, nullptr, [&] { closed = true; });
  window.ShowRows(board.Rows());
  using Row = std::array<std::string, PrinterStatusWindow::kColumns>;
  EXPECT_EQ(window.RowTexts(0),
            (Row{"厨房 192.168.1.50", "IP打印机", "缺纸或纸盖开启", "12:30:05 失败", "1", "1"}));
  EXPECT_EQ(window.RowTexts(1), (Row{"POS-80", "USB打印机", "未知", "无", "0", "0"}));
  EXPECT_EQ(window.RowTexts(2), (Row{"LPT1", "LPT打印机", "正常", "12:30:05 成功", "1", "0"}));
  EXPECT_EQ(window.RowTexts(3), Row{});
  EXPECT_EQ(window.Summary(), "共 3 台打印机，1 台需要处理");

  // A shop with more printers than rows is told what it does not see.
  for (int i = 0; i < PrinterStatusWindow::kMaxRows; ++i) {
    board.TicketFinished({1, "10.0.0." + std::to_string(i)}, TicketOutcome::Printed);
  }
  window.ShowRows(board.Rows());
  EXPECT_EQ(window.Summary(), "共 15 台打印机，1 台需要处理（只显示前 12 台）");

  window.Window().RequestClose();
  EXPECT_TRUE(closed);
}

TicketRecord Ticket(const PrinterId& printer, const std::string& time, const std::string& first,
                    std::string bytes, bool printed = true) {
  TicketRecord t;
  t.localTime = "2026-03-07 " + time;
  t.printType = printer.printType;
  t.printSn = printer.printSn;
  t.key = "key " + time;
  t.printed = printed;
  t.result = printed ? "打印成功" : "连接成功但是打印失败，失败状态：[缺纸或纸盖开启]";
  t.firstLine = first;
  t.bytes = std::move(bytes);
  return t;
}

TEST(RecentTicketsWindow, ListsNewestFirstPreviewsTheSentBytesAndReprintsThem) {
  test::FakeToolkit fake;
  std::vector<std::pair<std::string, PrinterId>> reprints;
  RecentTicketsWindow window(fake, nullptr, {}, [&](const TicketRecord& t, const PrinterId& to) {
    reprints.emplace_back(t.bytes, to);
  });
  const std::string kitchenBytes = "\x1b\x61\x01\x1d\x21\x11" + FromUtf8("后厨单") + "\r\n" +
                                   std::string("\x1d\x21\x00", 3) + FromUtf8("宫保鸡丁 x1") +
                                   "\r\n\x1bm";
  const std::deque<TicketRecord> tickets = {
      Ticket(kCounter, "12:00:01", "桌号 3", FromUtf8("米饭 x2") + "\r\n"),
      Ticket(kKitchen, "12:30:05", "后厨单", kitchenBytes, false),
      Ticket(kCounter, "12:31:00", "太大的小票", ""),
  };
  window.ShowTickets(tickets, {kKitchen, kCounter, kPort});

  const std::vector<ui::DropDownList*> lists = Lists(fake, window.Window());
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(fake.State(*lists[0])->items,
            (std::vector<std::string>{"12:31:00 POS-80 成功 太大的小票",
                                      "12:30:05 192.168.1.50 失败 后厨单",
                                      "12:00:01 POS-80 成功 桌号 3"}));
  // The newest has no bytes kept: nothing to preview or send.
  EXPECT_NE(window.PreviewText().find("无法预览和重打"), std::string::npos);
  window.Reprint();
  EXPECT_EQ(window.StatusText(), "这张小票没有保存内容");
  EXPECT_TRUE(reprints.empty());

  // The kitchen ticket: drawn from its bytes, centred and enlarged as printed, then its cut.
  ASSERT_TRUE(window.Select(1));
  const std::string preview = window.PreviewText();
  EXPECT_NE(preview.find("缺纸或纸盖开启"), std::string::npos) << preview;
  EXPECT_NE(preview.find("后  厨  单  "), std::string::npos) << preview;
  EXPECT_NE(preview.find("| 2x2"), std::string::npos) << preview;
  EXPECT_NE(preview.find("宫保鸡丁 x1"), std::string::npos) << preview;
  EXPECT_NE(preview.find(" cut "), std::string::npos) << preview;
  // Its own printer is offered first; 重打 sends the very bytes that were sent.
  EXPECT_EQ(lists[1]->SelectedIndex(), 0);
  window.Reprint();
  ASSERT_EQ(reprints.size(), 1u);
  EXPECT_EQ(reprints[0].first, kitchenBytes);
  EXPECT_EQ(reprints[0].second, kKitchen);
  EXPECT_EQ(window.StatusText(), "正在重打…");

  // ... or to another printer the shop picks.
  ASSERT_TRUE(lists[1]->SelectIndex(2));
  window.Reprint();
  ASSERT_EQ(reprints.size(), 2u);
  EXPECT_EQ(reprints[1].second, kPort);

  // Shown again with fewer tickets, the lists hold only the new ones.
  window.ShowTickets({tickets[0]}, {kCounter});
  EXPECT_EQ(fake.State(*lists[0])->items.size(), 1u);
  EXPECT_EQ(fake.State(*lists[1])->items, (std::vector<std::string>{"USB打印机 POS-80"}));
  EXPECT_NE(window.PreviewText().find("米饭 x2"), std::string::npos);
}

}  // namespace
}  // namespace qv::shell
