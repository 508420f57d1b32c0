// The program's fixed-layout windows (设置, 打印服务, 打印队列 and the debug view) on a real
// toolkit, opened and placed as the user opens them, for the backends' scaling tests. Each
// backend measures its own controls: the texts against their controls, the controls against
// their window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/debug_window.h"
#include "shell/polling_window.h"
#include "shell/service_window.h"
#include "shell/store_config_window.h"
#include "tests/fakes/shell_fakes.h"

namespace qv::shell {

// Runs the toolkit's loop for `ms` milliseconds, so the windows lay out and paint.
inline void Pump(ui::Toolkit& toolkit, int ms) {
  auto stop = toolkit.CreateTimer([&] { toolkit.Quit(0); });
  stop->SetInterval(ms);
  toolkit.Run();
}

struct ShellWindowsOnScreen : testing::CoreFixture {
  explicit ShellWindowsOnScreen(ui::Toolkit& toolkit) {
    state.configPath = platform::JoinPath(dir.Path(), "config.ini");
    shell = std::make_unique<Shell>(ShellContext{toolkit, services, printerList, uplink, autostart},
                                    deployment);
    shell->ShowServiceWindow();
    shell->OpenStoreConfig(&shell->Service()->Window());
    shell->CreatePollingWindow();
    shell->Polling()->Window().Show();
    // As the service window's right click places them: the debug view at the left edge, the
    // queue beside it.
    ui::Window& debug = shell->OpenDebugWindow().Window();
    debug.Show();
    debug.SetPosition(0, debug.FrameBounds().top);
    const ui::Rect placed = debug.FrameBounds();
    shell->Polling()->Window().SetPosition(placed.left + placed.width + 2,
                                           shell->Polling()->Window().FrameBounds().top);
    shell->Debug()->Append("调试信息：打印机列表上报成功\r\n");
  }

  struct Measured {
    std::string name;  // of its screenshot
    ui::Window* window;
    int designWidth;  // of its client area in the 96-DPI layout
  };
  // The windows to measure.
  std::vector<Measured> Windows() const {
    return {{"config", &shell->StoreConfig()->Window(), 570},
            {"service", &shell->Service()->Window(), 525},
            {"queue", &shell->Polling()->Window(), 372},
            {"debug", &shell->Debug()->Window(), 1035}};
  }

  ListedPrinters printerList;
  RecordingUplink uplink;
  MemoryAutostart autostart;
  ShellDeployment deployment;
  std::unique_ptr<Shell> shell;
};

}  // namespace qv::shell
