#include "shell/printers/recent_tickets_window.h"

#include "printer/preview/escpos_decoder.h"
#include "printer/preview/receipt_layout.h"

namespace qv::shell {
namespace {

constexpr int kClientWidth = 760;
constexpr int kClientHeight = 560;
// Half-width characters of the preview's paper: 80 mm paper at the printers' normal font.
constexpr int kPreviewColumns = preview::kPaperColumns;

std::string PrinterText(int32_t printType, const std::string& printSn) {
  return PrinterKindText(printType) + " " + printSn;
}

}  // namespace

std::string TicketListText(const TicketRecord& t) {
  // "2026-03-07 09:05:04": the time of day is enough in a list of the last hours.
  const std::string time = t.localTime.size() > 11 ? t.localTime.substr(11) : t.localTime;
  std::string text = time + " " + t.printSn + (t.printed ? " 成功 " : " 失败 ");
  if (t.reprint) text += "重打 ";
  return text + t.firstLine;
}

RecentTicketsWindow::RecentTicketsWindow(ui::Toolkit& toolkit, ui::Window* owner,
                                         std::function<void()> onClosed, ReprintHandler onReprint)
    : onReprint_(std::move(onReprint)) {
  window_ = toolkit.NewWindow({"最近小票", kClientWidth, kClientHeight, owner, ui::Resizable::No});
  window_->AddLabel("小票：", {12, 16, 48, 24});
  list_ = window_->AddDropDownList({62, 12, kClientWidth - 74, 32});
  list_->OnSelectionChanged([this] { ShowSelected(); });
  preview_ = window_->AddTextBox({12, 56, 470, kClientHeight - 68});
  preview_->SetFixedPitch();
  window_->AddLabel("重打到：", {498, 60, 80, 24});
  targets_ = window_->AddDropDownList({498, 88, 250, 32});
  ui::Button* reprint = window_->AddButton("重打", {498, 132, 96, 40});
  reprint->OnClick([this] { Reprint(); });
  status_ = window_->AddLabel("", {498, 184, 250, 24});
  window_->AddLabel("重打只在本机进行，不上报云端。", {498, kClientHeight - 36, 250, 24});
  window_->OnClosed(std::move(onClosed));
}

void RecentTicketsWindow::ShowTickets(const std::deque<TicketRecord>& tickets,
                                      const std::vector<PrinterId>& printers) {
  tickets_.assign(tickets.rbegin(), tickets.rend());
  printers_ = printers;
  list_->ClearItems();
  for (size_t i = 0; i < tickets_.size(); ++i) {
    list_->AddItem(TicketListText(tickets_[i]), static_cast<int>(i));
  }
  targets_->ClearItems();
  for (size_t i = 0; i < printers_.size(); ++i) {
    targets_->AddItem(PrinterText(printers_[i].printType, printers_[i].printSn),
                      static_cast<int>(i));
  }
  status_->SetText("");
  Select(0);
}

bool RecentTicketsWindow::Select(int index) {
  if (!list_->SelectIndex(index)) {
    preview_->SetText(tickets_.empty() ? "还没有小票" : "");
    return false;
  }
  ShowSelected();
  return true;
}

void RecentTicketsWindow::ShowSelected() {
  const int index = list_->SelectedIndex();
  if (index < 0 || index >= static_cast<int>(tickets_.size())) return;
  const TicketRecord& ticket = tickets_[index];
  std::string text = ticket.localTime + "  " + PrinterText(ticket.printType, ticket.printSn) +
                     "\r\n" + ticket.result + "\r\n";
  if (ticket.bytes.empty()) {
    text += "\r\n这张小票太大，没有保存内容，无法预览和重打。";
  } else {
    preview::EscposDecoder decoder;
    decoder.Feed(ticket.bytes);
    text += preview::RenderReceipt(decoder.Finish(), kPreviewColumns);
  }
  preview_->SetText(text);
  // Its own printer first: the usual reprint goes where the ticket went.
  for (size_t i = 0; i < printers_.size(); ++i) {
    if (printers_[i] == PrinterId{ticket.printType, ticket.printSn}) {
      targets_->SelectIndex(static_cast<int>(i));
      break;
    }
  }
}

void RecentTicketsWindow::Reprint() {
  const int index = list_->SelectedIndex();
  const std::optional<int> target = targets_->SelectedValue();
  if (index < 0 || index >= static_cast<int>(tickets_.size()) || !target) {
    status_->SetText("请先选择小票和打印机");
    return;
  }
  const TicketRecord& ticket = tickets_[index];
  if (ticket.bytes.empty()) {
    status_->SetText("这张小票没有保存内容");
    return;
  }
  status_->SetText("正在重打…");
  if (onReprint_) onReprint_(ticket, printers_[*target]);
}

}  // namespace qv::shell
