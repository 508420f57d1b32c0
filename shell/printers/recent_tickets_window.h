// 最近小票: the recent tickets, newest first; the selected one's preview drawn from the bytes
// that were sent, and 重打 to send those bytes again to its printer or another one.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/history/ticket_history.h"
#include "core/printer_status/printer_board.h"
#include "ui/toolkit.h"

namespace qv::shell {

// Thread: the UI thread.
class RecentTicketsWindow {
 public:
  // What 重打 asks for: this ticket's bytes to this printer. The owner sends them on the
  // printer's lane and reports nothing to the cloud.
  using ReprintHandler = std::function<void(const TicketRecord&, const PrinterId&)>;

  // Creates the window (hidden), owned by `owner`; `onClosed` runs when the user closes it.
  RecentTicketsWindow(ui::Toolkit& toolkit, ui::Window* owner, std::function<void()> onClosed,
                      ReprintHandler onReprint);

  // Lists `tickets` (oldest first, as the store keeps them) newest first and offers
  // `printers` as reprint targets; selects the newest ticket.
  void ShowTickets(const std::deque<TicketRecord>& tickets, const std::vector<PrinterId>& printers);
  // Selects the listed ticket at `index` (0: the newest) as the user would; false when none.
  bool Select(int index);
  // Asks for the reprint of the selected ticket to the selected printer, as 重打 does.
  void Reprint();
  // The line beside 重打: what became of the last reprint.
  void SetStatus(const std::string& text) { status_->SetText(text); }

  std::string PreviewText() const { return preview_->Text(); }
  std::string StatusText() const { return status_->Text(); }
  ui::Window& Window() { return *window_; }

 private:
  void ShowSelected();

  std::unique_ptr<ui::Window> window_;
  ui::DropDownList* list_ = nullptr;
  ui::TextBox* preview_ = nullptr;
  ui::DropDownList* targets_ = nullptr;
  ui::Label* status_ = nullptr;
  ReprintHandler onReprint_;
  std::vector<TicketRecord> tickets_;  // newest first, as listed
  std::vector<PrinterId> printers_;    // reprint targets, as listed
};

// A listed ticket: "09:05:04 192.168.1.50 成功 桌号 12" (重打 marked).
std::string TicketListText(const TicketRecord& ticket);

}  // namespace qv::shell
