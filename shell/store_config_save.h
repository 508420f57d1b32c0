// The rules of the store configuration form, apart from its window: what it shows when it
// opens, and how a save checks, corrects and writes the values.
#pragma once

#include <optional>
#include <string>

#include "core/service/service_state.h"

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

// The save button, in two halves around the server check, which waits on the cloud.
//
// First: trims and corrects the form in place (the window shows the corrected texts) and
// writes au_c, au_row and usbbak to state.configPath at once. Returns the outcome when the
// save ends here (a store ID that cannot be real), nullopt when the server check must decide.
std::optional<SaveResult> SaveStoreOptions(StoreConfigForm& form, ServiceState& state,
                                           const std::string& defaultServer);

// What the server check is made against: the values the user entered, not the ones in
// effect (on a first installation the configured server is empty, and a check against it
// could never succeed).
ServiceConfig ServerCheckTarget(const StoreConfigForm& form, const ServiceConfig& config);

// Second, once the check has answered: accepts the form's server and store ID, in config.ini
// and in `config`, when the check passed.
SaveResult AcceptStoreIdentity(const StoreConfigForm& form, bool checkPassed, ServiceConfig& config,
                               const ServiceState& state);

}  // namespace qv::shell
