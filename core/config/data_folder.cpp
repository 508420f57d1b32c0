#include "core/config/data_folder.h"

#include "platform/file_system.h"

namespace qv {

DataHome ChooseDataHome(const DataFacts& facts) {
  // Files beside a program in a read-only folder could be read but never saved: settings
  // would not stick and queued tickets would be lost at the next start.
  if (!facts.programFolderWritable) return DataHome::MachineFolder;
  // A writable folder with its own config.ini is a portable copy (or a shop that copied the
  // folder): it keeps working exactly as a plain folder does.
  if (facts.configBesideProgram) return DataHome::BesideProgram;
  // An administrator running the installed program may write Program Files, but the shop's
  // data is in the folder the installer made; only a fresh copy with no such folder starts
  // its files beside itself.
  return facts.machineFolderPresent ? DataHome::MachineFolder : DataHome::BesideProgram;
}

std::string FindDataDirectory(const std::string& programDirectory,
                              const std::string& machineFolder) {
  if (machineFolder.empty()) return programDirectory;
  const std::string besideConfig = platform::JoinPath(programDirectory, "config.ini");
  const DataFacts facts{platform::DirectoryWritable(programDirectory),
                        platform::FileExists(besideConfig),
                        platform::DirectoryExists(machineFolder)};
  if (ChooseDataHome(facts) == DataHome::BesideProgram) return programDirectory;
  // The installer makes the folder with write access for the till's users; without it the
  // program makes it itself, which %ProgramData% allows every user, for this user at least.
  platform::MakeDirectory(machineFolder);
  return machineFolder;
}

}  // namespace qv
