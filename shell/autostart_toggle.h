// What happens when the staff tick or untick "开机自动启动".
#pragma once

#include <functional>
#include <string>

#include "platform/autostart.h"

namespace qv::shell {

// The argument the autostart entry passes, which marks an unattended start.
inline constexpr char kAutostartArgument[] = "auto";

// Registers (`checked`) or, after `confirmRemoval` agrees, removes the autostart entry of
// `programPath`. Returns the state the box must show: whether an entry exists afterwards, so
// a refused write or a cancelled removal is visible at once.
bool ToggleAutostart(bool checked, platform::Autostart& autostart, const std::string& programPath,
                     const std::function<bool()>& confirmRemoval);

// The question asked before the entry is removed.
inline constexpr char kAutostartRemovalQuestion[] =
    "确定取消Quorvel打印服务端吗，取消后您将需要手动启动才能进行打印。";

}  // namespace qv::shell
