// 打印机状态 and 最近小票 on a real toolkit with a lunchtime's state: the kitchen printer out
// of paper, the counter's printing, the port printer not used yet; the kitchen's failed ticket
// selected in the recent tickets with its preview. The loop runs for `ms` so that a script can
// take screenshots.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "platform/gbk.h"
#include "shell/printers/printer_status_window.h"
#include "shell/printers/recent_tickets_window.h"
#include "tests/fakes/fake_clock.h"
#include "ui/toolkit.h"

namespace qv::shell {

inline std::string StyledLine(int bold, int align, int size, const std::string& utf8) {
  std::string bytes = "\x1b\x45" + std::string(1, static_cast<char>(bold));
  bytes += "\x1b\x61" + std::string(1, static_cast<char>(align));
  bytes += "\x1d\x21" + std::string(1, static_cast<char>(size));
  return bytes + FromUtf8(utf8) + "\r\n";
}

inline std::string KitchenTicket() {
  const std::string url = "https://q.example/o/1024";
  // GS ( k: model 2, store the data, print it. Written with their lengths: they hold zeros.
  std::string qr(std::string_view("\x1d(k\x04\x00\x31\x41\x32\x00", 9));
  qr += std::string_view("\x1d(k", 3);
  qr += static_cast<char>(url.size() + 3);
  qr += '\0';
  qr += "\x31\x50\x30" + url;
  qr += std::string_view("\x1d(k\x03\x00\x31\x51\x30", 8);
  return StyledLine(1, 1, 0x11, "后厨单（热菜）") + StyledLine(0, 0, 0, "桌号：8    人数：4") +
         StyledLine(0, 0, 0, "下单：12:29  收银员：小李") +
         StyledLine(0, 0, 0, "------------------------------------------------") +
         StyledLine(1, 0, 0x01, "宫保鸡丁 x1") + StyledLine(1, 0, 0x01, "水煮鱼 x1") +
         StyledLine(0, 0, 0, "  备注：加麻加辣") + StyledLine(0, 2, 0, "共 2 道菜") + qr + "\x1bm";
}

inline int ShowPrinterWindowsFor(ui::Toolkit& toolkit, int ms) {
  const PrinterId kitchen{1, "192.168.1.50"};
  const PrinterId counter{1, "192.168.1.51"};
  const PrinterId port{3, "LPT1"};
  testing::FakeClock clock({2026, 3, 7, 12, 30, 5});
  PrinterBoard board(clock);
  board.Know(kitchen, "厨房");
  board.Know(counter, "前台");
  board.Know(port);
  for (int i = 0; i < 14; ++i) board.TicketFinished(kitchen, TicketOutcome::Printed);
  board.TicketFinished(kitchen, TicketOutcome::PaperOut);
  for (int i = 0; i < 23; ++i) board.TicketFinished(counter, TicketOutcome::Printed);

  PrinterStatusWindow status(toolkit, nullptr, {});
  status.ShowRows(board.Rows());
  status.Window().SetPosition(10, 10);
  status.Window().Show();

  TicketRecord kitchenTicket;
  kitchenTicket.localTime = "2026-03-07 12:30:05";
  kitchenTicket.printType = 1;
  kitchenTicket.printSn = kitchen.printSn;
  kitchenTicket.result = "连接成功但是打印失败，失败状态：[缺纸或纸盖开启]";
  kitchenTicket.firstLine = "后厨单（热菜）";
  kitchenTicket.bytes = KitchenTicket();
  TicketRecord counterTicket = kitchenTicket;
  counterTicket.localTime = "2026-03-07 12:31:40";
  counterTicket.printSn = counter.printSn;
  counterTicket.printed = true;
  counterTicket.result = "打印成功";
  counterTicket.firstLine = "顾客联 桌号：8";
  counterTicket.bytes = StyledLine(1, 1, 0x11, "顾客联") + StyledLine(0, 0, 0, "合计：88.00");

  RecentTicketsWindow recent(toolkit, nullptr, {}, {});
  recent.ShowTickets(std::deque<TicketRecord>{kitchenTicket, counterTicket},
                     {kitchen, counter, port});
  recent.Select(1);
  recent.Window().SetPosition(10, 470);
  recent.Window().Show();

  std::unique_ptr<ui::Timer> stop = toolkit.CreateTimer([&] { toolkit.Quit(0); });
  stop->SetInterval(ms);
  return toolkit.Run();
}

}  // namespace qv::shell
