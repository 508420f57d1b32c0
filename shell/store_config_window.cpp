#include "shell/store_config_window.h"

#include "core/config.h"
#include "shell/autostart_toggle.h"
#include "shell/shell.h"

namespace qv::shell {

StoreConfigWindow::StoreConfigWindow(Shell& shell, ui::Window* owner) : shell_(shell) {
  window_ = shell.toolkit().createWindow({"设置", 570, 290, owner, ui::Resizable::No});
  ui::TabPage* page = window_->addTabPage("打印服务设置", {0, 0, 570, 290});
  page->addLabel("服务器地址：", {11, 15, 96, 26});
  server_ = page->addEditBox("", {102, 10, 392, 32});
  page->addLabel("门店ID：", {11, 53, 96, 26});
  storeId_ = page->addEditBox("", {102, 48, 151, 32});
  // These two captions start left of the page and end at the box they name: aligned to the
  // right, the text ends at the box and its first characters stay on the page.
  page->addLabel("打印完成走纸：", {-5, 90, 111, 26})->setAlignment(ui::TextAlign::Right);
  feed_ = page->addEditBox("5", {102, 88, 81, 32});
  page->addLabel("行(范围0-15行,默认5行)", {185, 93, 214, 26});
  cut_ = page->addCheckBox("打印完成是否切纸", {263, 134, 152, 26});
  page->addLabel("将USB打印替换为：", {-13, 135, 143, 26})->setAlignment(ui::TextAlign::Right);
  usb_ = page->addDropDownList({123, 131, 120, 32});
  usb_->addItem("保持USB打印", 0);
  usb_->addItem("LPT1", 1);
  usb_->addItem("LPT2", 2);
  autostart_ = page->addCheckBox("开机自动启动", {8, 177, 129, 26});
  autoRun_ = page->addCheckBox("自动运行打印服务", {152, 176, 185, 26});
  ui::Button* status = page->addButton("打印服务状态", {305, 210, 143, 48});
  ui::Button* save = page->addButton("保存", {459, 210, 96, 48});

  autostart_->onClick([this] { OnAutostartClicked(); });
  autoRun_->onClick([this] { OnAutoRunClicked(); });
  status->onClick([this] { OnStatusClicked(); });
  save->onClick([this] { Save(); });
  window_->onClosed([this] { shell_.DestroyStoreConfig(); });

  Fill();
  window_->show();
}

void StoreConfigWindow::Fill() {
  ShowForm(FillStoreConfigForm(shell_.config(), shell_.state(), shell_.deployment().defaultServer,
                               shell_.context().autostart.Exists(), shell_.autoRunSetting()));
}

StoreConfigForm StoreConfigWindow::ReadForm() const {
  StoreConfigForm form;
  form.server = server_->text();
  form.storeId = storeId_->text();
  form.feedText = feed_->text();
  form.cut = cut_->isChecked();
  form.usbPort = usb_->selectedValue().value_or(0);
  form.autostart = autostart_->isChecked();
  form.autoRun = autoRun_->isChecked();
  return form;
}

void StoreConfigWindow::ShowForm(const StoreConfigForm& form) {
  server_->setText(form.server);
  storeId_->setText(form.storeId);
  feed_->setText(form.feedText);
  cut_->setChecked(form.cut);
  if (!usb_->selectValue(form.usbPort)) usb_->selectValue(0);
  autostart_->setChecked(form.autostart);
  autoRun_->setChecked(form.autoRun);
}

void StoreConfigWindow::Save() {
  if (checking_) return;
  StoreConfigForm form = ReadForm();
  const std::optional<SaveResult> ended =
      SaveStoreOptions(form, shell_.state(), shell_.deployment().defaultServer);
  ShowForm(form);
  if (ended) {
    Tell(MessageFor(*ended));
    return;
  }
  checking_ = true;
  // The user asked for the save: its answer is taken in even when this window is gone by
  // then; only the message needs the window.
  shell_.CheckServer(ServerCheckTarget(form, shell_.config()),
                     [this, &shell = shell_, form, alive = window_->lifetime()](bool accepted) {
                       const SaveResult result =
                           AcceptStoreIdentity(form, accepted, shell.config(), shell.state());
                       if (alive.expired()) return;
                       checking_ = false;
                       Tell(MessageFor(result));
                     });
}

void StoreConfigWindow::OnAutostartClicked() {
  // The question runs the event loop. Should this window be gone by the answer, the answer
  // still goes to the autostart entry, but there is no check box left to show it.
  const std::weak_ptr<const void> alive = window_->lifetime();
  const bool shown = ToggleAutostart(
      autostart_->isChecked(), shell_.context().autostart, shell_.deployment().programPath, [this] {
        return shell_.toolkit().showMessage(
                   {kAutostartRemovalQuestion, "询问", ui::MessageButtons::OkCancel,
                    ui::MessageIcon::Question, window_.get()}) == ui::MessageResult::Ok;
      });
  if (alive.expired()) return;
  autostart_->setChecked(shown);
}

void StoreConfigWindow::OnAutoRunClicked() {
  // Takes effect at the next start; the running service is left as it is.
  const bool on = autoRun_->isChecked();
  WriteConfigValue(shell_.state().configPath, "aurunpr", on ? "1" : "0");
  shell_.RememberAutoRunSetting(on);
}

void StoreConfigWindow::OnStatusClicked() {
  shell_.ShowServiceWindow();
  shell_.DestroyStoreConfig();  // last: destroys this object
}

void StoreConfigWindow::Tell(const SaveMessage& message) {
  shell_.toolkit().showMessage(
      {message.text, message.title, ui::MessageButtons::Ok, ui::MessageIcon::None, window_.get()});
}

}  // namespace qv::shell
