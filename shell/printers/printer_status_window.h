// 打印机状态: one row per printer the service knows, with its state, its last ticket and
// today's counts, drawn from the status board's rows.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/printer_status/printer_board.h"
#include "ui/toolkit.h"

namespace qv::shell {

// Thread: the UI thread.
class PrinterStatusWindow {
 public:
  // Rows shown; a shop with more printers sees the first ones and a line saying so.
  static constexpr int kMaxRows = 12;
  static constexpr int kColumns = 6;

  // Creates the window (hidden), owned by `owner`; `onClosed` runs when the user closes it.
  PrinterStatusWindow(ui::Toolkit& toolkit, ui::Window* owner, std::function<void()> onClosed);

  // Shows these rows in place of the ones shown before.
  void ShowRows(const std::vector<PrinterRow>& rows);

  // The texts of the shown row `index` (empty when not shown), and the line under the rows.
  std::array<std::string, kColumns> RowTexts(int index) const;
  std::string Summary() const { return summary_->Text(); }

  ui::Window& Window() { return *window_; }

 private:
  std::unique_ptr<ui::Window> window_;
  std::vector<std::array<ui::Label*, kColumns>> cells_;
  ui::Label* summary_ = nullptr;
};

// The cells of one row: 打印机, 类型, 状态, 最后小票, 今日打印, 今日失败.
std::array<std::string, PrinterStatusWindow::kColumns> PrinterRowTexts(const PrinterRow& row);

}  // namespace qv::shell
