// The rules of the store configuration form, apart from its window: what it shows when it
// opens, and how a save checks, corrects and writes the values.
#pragma once

#include <functional>
#include <string>

#include "core/service_state.h"

namespace qv::shell {

// The texts and choices of the form's controls.
struct StoreConfigForm {
  std::string server;
  std::string storeId;
  std::string feedText;
  bool cut = false;
  int usbPort = 0;  // 0 keeps USB printing, 1 LPT1, 2 LPT2
  bool autostart = false;
  bool autoRun = false;
};

enum class SaveResult {
  StoreIdRefused,     // store ID of 4 bytes or fewer; options saved, server and store kept
  ServerCheckFailed,  // the cloud did not answer code 200; options saved, server and store kept
  Saved,              // everything saved and in effect
  NotPersisted,       // in effect, but config.ini refused the server or store ID
};

// Message box text and title of a save outcome.
struct SaveMessage {
  std::string text;
  std::string title;
};
SaveMessage MessageFor(SaveResult result);

// The form's content when it opens.
StoreConfigForm FillStoreConfigForm(const ServiceConfig& config, const ServiceState& state,
                                    const std::string& defaultServer, bool autostartExists,
                                    bool autoRun);

// Reports the printer list to the server and store of `candidate`; true on code 200.
using ServerCheck = std::function<bool(const ServiceConfig& candidate)>;

// The save button: trims and corrects the form in place (the window shows the corrected
// texts), writes au_c, au_row and usbbak to state.configPath at once, then accepts the server
// and store ID only when `check` succeeds against them.
SaveResult SaveStoreConfig(StoreConfigForm& form, ServiceConfig& config, ServiceState& state,
                           const std::string& defaultServer, const ServerCheck& check);

}  // namespace qv::shell
