// The printer alert from the program's tray icon, on a real desktop backend: the icon goes
// up, one alert is given, and the loop runs on for `ms` so that a screenshot can be taken.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace qv::ui {

inline constexpr const char* kAlertTitle = "打印机需要处理";
inline constexpr const char* kAlertText = "厨房 192.168.1.50：缺纸或纸盖开启，1 张小票未打印";

inline int ShowAlertFor(Toolkit& toolkit, int ms) {
  std::unique_ptr<TrayIcon> icon = toolkit.CreateTrayIcon([] {});
  icon->Show("Quorvel打印服务端");
  icon->Notify(kAlertTitle, kAlertText, AlertSound::Off);
  std::unique_ptr<Timer> stop = toolkit.CreateTimer([&] { toolkit.Quit(0); });
  stop->SetInterval(ms);
  return toolkit.Run();
}

}  // namespace qv::ui
