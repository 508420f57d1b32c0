#include "shell/store_config_window.h"

#include "core/config/config.h"
#include "shell/autostart_toggle.h"
#include "shell/shell.h"

namespace qv::shell {

StoreConfigWindow::StoreConfigWindow(Shell& shell, ui::Window* owner) : shell_(shell) {
  window_ = shell.Toolkit().NewWindow({"设置", 570, 290, owner, ui::Resizable::No});
  ui::TabPage* page = window_->AddTabPage("打印服务设置", {0, 0, 570, 290});
  page->AddLabel("服务器地址：", {11, 15, 96, 26});
  server_ = page->AddEditBox("", {102, 10, 392, 32});
  page->AddLabel("门店ID：", {11, 53, 96, 26});
  storeId_ = page->AddEditBox("", {102, 48, 151, 32});
  // These two captions start left of the page and end at the box they name: aligned to the
  // right, the text ends at the box and its first characters stay on the page.
  page->AddLabel("打印完成走纸：", {-5, 90, 111, 26})->setAlignment(ui::TextAlign::Right);
  feed_ = page->AddEditBox("5", {102, 88, 81, 32});
  page->AddLabel("行(范围0-15行,默认5行)", {185, 93, 214, 26});
  cut_ = page->AddCheckBox("打印完成是否切纸", {263, 134, 152, 26});
  page->AddLabel("将USB打印替换为：", {-13, 135, 143, 26})->setAlignment(ui::TextAlign::Right);
  usb_ = page->AddDropDownList({123, 131, 120, 32});
  usb_->AddItem("保持USB打印", 0);
  usb_->AddItem("LPT1", 1);
  usb_->AddItem("LPT2", 2);
  autostart_ = page->AddCheckBox("开机自动启动", {8, 177, 129, 26});
  autoRun_ = page->AddCheckBox("自动运行打印服务", {152, 176, 185, 26});
  ui::Button* status = page->AddButton("打印服务状态", {305, 210, 143, 48});
  ui::Button* save = page->AddButton("保存", {459, 210, 96, 48});

  autostart_->OnClick([this] { OnAutostartClicked(); });
  autoRun_->OnClick([this] { OnAutoRunClicked(); });
  status->OnClick([this] { OnStatusClicked(); });
  save->OnClick([this] { Save(); });
  window_->OnClosed([this] { shell_.DestroyStoreConfig(); });

  Fill();
  window_->Show();
}

void StoreConfigWindow::Fill() {
  ShowForm(FillStoreConfigForm(shell_.Config(), shell_.State(), shell_.Deployment().defaultServer,
                               shell_.Context().autostart.Exists(), shell_.AutoRunSetting()));
}

StoreConfigForm StoreConfigWindow::ReadForm() const {
  StoreConfigForm form;
  form.server = server_->Text();
  form.storeId = storeId_->Text();
  form.feedText = feed_->Text();
  form.cut = cut_->IsChecked();
  form.usbPort = usb_->SelectedValue().value_or(0);
  form.autostart = autostart_->IsChecked();
  form.autoRun = autoRun_->IsChecked();
  return form;
}

void StoreConfigWindow::ShowForm(const StoreConfigForm& form) {
  server_->SetText(form.server);
  storeId_->SetText(form.storeId);
  feed_->SetText(form.feedText);
  cut_->SetChecked(form.cut);
  if (!usb_->SelectValue(form.usbPort)) usb_->SelectValue(0);
  autostart_->SetChecked(form.autostart);
  autoRun_->SetChecked(form.autoRun);
}

void StoreConfigWindow::Save() {
  if (checking_) return;
  StoreConfigForm form = ReadForm();
  const std::optional<SaveResult> ended =
      SaveStoreOptions(form, shell_.State(), shell_.Deployment().defaultServer);
  ShowForm(form);
  if (ended) {
    Tell(MessageFor(*ended));
    return;
  }
  checking_ = true;
  // The user asked for the save: its answer is taken in even when this window is gone by
  // then; only the message needs the window.
  shell_.CheckServer(ServerCheckTarget(form, shell_.Config()),
                     [this, &shell = shell_, form, alive = window_->Lifetime()](bool accepted) {
                       const SaveResult result =
                           AcceptStoreIdentity(form, accepted, shell.Config(), shell.State());
                       if (alive.expired()) return;
                       checking_ = false;
                       Tell(MessageFor(result));
                     });
}

void StoreConfigWindow::OnAutostartClicked() {
  // The question runs the event loop. Should this window be gone by the answer, the answer
  // still goes to the autostart entry, but there is no check box left to show it.
  const std::weak_ptr<const void> alive = window_->Lifetime();
  const bool shown = ToggleAutostart(
      autostart_->IsChecked(), shell_.Context().autostart, shell_.Deployment().programPath, [this] {
        return shell_.Toolkit().ShowMessage(
                   {kAutostartRemovalQuestion, "询问", ui::MessageButtons::OkCancel,
                    ui::MessageIcon::Question, window_.get()}) == ui::MessageResult::Ok;
      });
  if (alive.expired()) return;
  autostart_->SetChecked(shown);
}

void StoreConfigWindow::OnAutoRunClicked() {
  // Takes effect at the next start; the running service is left as it is.
  const bool on = autoRun_->IsChecked();
  WriteAutoRunService(shell_.State().configPath, on);
  shell_.RememberAutoRunSetting(on);
}

void StoreConfigWindow::OnStatusClicked() {
  shell_.ShowServiceWindow();
  shell_.DestroyStoreConfig();  // last: destroys this object
}

void StoreConfigWindow::Tell(const SaveMessage& message) {
  shell_.Toolkit().ShowMessage(
      {message.text, message.title, ui::MessageButtons::Ok, ui::MessageIcon::None, window_.get()});
}

}  // namespace qv::shell
