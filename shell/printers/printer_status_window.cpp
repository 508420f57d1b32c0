#include "shell/printers/printer_status_window.h"

#include <cstdio>

namespace qv::shell {
namespace {

struct Column {
  const char* title;
  int left;
  int width;
  ui::TextAlign align;
};
constexpr std::array<Column, PrinterStatusWindow::kColumns> kColumnLayout = {{
    {"打印机", 12, 226, ui::TextAlign::Left},
    {"类型", 242, 84, ui::TextAlign::Left},
    {"状态", 330, 124, ui::TextAlign::Left},
    {"最后小票", 458, 120, ui::TextAlign::Left},
    {"今日打印", 582, 62, ui::TextAlign::Right},
    {"今日失败", 648, 62, ui::TextAlign::Right},
}};
constexpr int kClientWidth = 722;
constexpr int kHeaderTop = 12;
constexpr int kFirstRowTop = 44;
constexpr int kRowHeight = 28;
constexpr int kLabelHeight = 24;

std::string Clock(const LocalTime& t) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

}  // namespace

std::array<std::string, PrinterStatusWindow::kColumns> PrinterRowTexts(const PrinterRow& row) {
  std::string last = "无";
  if (row.hasTicket) {
    last = Clock(row.lastTicketTime) + (row.lastTicketPrinted ? " 成功" : " 失败");
  }
  return {row.name.empty() ? row.id.printSn : row.name + " " + row.id.printSn,
          PrinterKindText(row.id.printType),
          HealthText(row.health),
          last,
          std::to_string(row.printedToday),
          std::to_string(row.failedToday)};
}

PrinterStatusWindow::PrinterStatusWindow(ui::Toolkit& toolkit, ui::Window* owner,
                                         std::function<void()> onClosed) {
  const int height = kFirstRowTop + kMaxRows * kRowHeight + 36;
  window_ = toolkit.NewWindow({"打印机状态", kClientWidth, height, owner, ui::Resizable::No});
  for (const Column& c : kColumnLayout) {
    window_->AddLabel(c.title, {c.left, kHeaderTop, c.width, kLabelHeight})->setAlignment(c.align);
  }
  for (int r = 0; r < kMaxRows; ++r) {
    std::array<ui::Label*, kColumns> row{};
    for (int c = 0; c < kColumns; ++c) {
      const Column& column = kColumnLayout[c];
      row[c] = window_->AddLabel(
          "", {column.left, kFirstRowTop + r * kRowHeight, column.width, kLabelHeight});
      row[c]->setAlignment(column.align);
    }
    cells_.push_back(row);
  }
  summary_ = window_->AddLabel("", {12, height - 32, kClientWidth - 24, kLabelHeight});
  window_->OnClosed(std::move(onClosed));
  ShowRows({});
}

void PrinterStatusWindow::ShowRows(const std::vector<PrinterRow>& rows) {
  int trouble = 0;
  for (const PrinterRow& row : rows) {
    if (row.health != PrinterHealth::Ready && row.health != PrinterHealth::Unknown) ++trouble;
  }
  for (int r = 0; r < kMaxRows; ++r) {
    const bool shown = r < static_cast<int>(rows.size());
    const auto texts = shown ? PrinterRowTexts(rows[r]) : std::array<std::string, kColumns>{};
    for (int c = 0; c < kColumns; ++c) cells_[r][c]->SetText(texts[c]);
  }
  std::string summary =
      rows.empty() ? "还没有打印过小票的打印机" : "共 " + std::to_string(rows.size()) + " 台打印机";
  if (trouble > 0) summary += "，" + std::to_string(trouble) + " 台需要处理";
  if (static_cast<int>(rows.size()) > kMaxRows) {
    summary += "（只显示前 " + std::to_string(kMaxRows) + " 台）";
  }
  summary_->SetText(summary);
}

std::array<std::string, PrinterStatusWindow::kColumns> PrinterStatusWindow::RowTexts(
    int index) const {
  std::array<std::string, kColumns> texts{};
  if (index < 0 || index >= kMaxRows) return texts;
  for (int c = 0; c < kColumns; ++c) texts[c] = cells_[index][c]->Text();
  return texts;
}

}  // namespace qv::shell
