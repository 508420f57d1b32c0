#include "shell/polling_window.h"

#include "shell/shell.h"

namespace qv::shell {

PollingWindow::PollingWindow(Shell& shell, ui::Window* owner)
    : poller_(shell.Context().core, *this) {
  window_ = shell.Toolkit().NewWindow({"打印队列", 372, 108, owner, ui::Resizable::No});
  window_->AddLabel("上一次获取数据时间：", {2, 4, 128, 24});
  previousMessage_ = window_->AddLabel("无", {124, 4, 245, 24});
  window_->AddLabel("下一次获取数据时间：", {2, 31, 128, 24});
  lastMessage_ = window_->AddLabel("无", {124, 29, 245, 24});
  window_->AddLabel("服务运行以来：", {7, 80, 86, 24});
  pollLine_ = window_->AddLabel("无", {87, 80, 282, 24});
  // It goes away only when the service stops; closing it merely hides it.
  window_->OnCloseRequest([this] {
    window_->Hide();
    return ui::CloseReply::Refuse;
  });
  timer_ = shell.Toolkit().CreateTimer([this] { poller_.PollTimerTick(); });
}

void PollingWindow::Start() {
  timer_->SetInterval(1000);
  poller_.StartPolling();
}

}  // namespace qv::shell
