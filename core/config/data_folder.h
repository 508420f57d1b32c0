// Where the shop's files live: config.ini, log, the task journal and the printer list export.
#pragma once

#include <string>

namespace qv {

// The two homes the shop's files can have.
enum class DataHome {
  BesideProgram,  // the program's own directory: a plain or portable copy of the program
  MachineFolder,  // the per-machine data folder of an installed program
};

// What the choice looks at, as the system reports it when the program starts.
struct DataFacts {
  bool programFolderWritable = false;  // this account may create files beside the program
  bool configBesideProgram = false;    // config.ini sits beside the program
  bool machineFolderPresent = false;   // the per-machine data folder exists
};

// The home of the shop's files. A copy of the program in a folder its user may write keeps
// them beside itself, as long as config.ini is there or no data folder was made for it; an
// installed program, whose folder only administrators may change, keeps them in the data
// folder (which the program then creates when the installer did not).
DataHome ChooseDataHome(const DataFacts& facts);

// The directory that holds the shop's files for the program in `programDirectory`, given the
// platform's per-machine data folder (`machineFolder`; empty where there is none, which keeps
// the files beside the program). Creates the data folder when it is chosen and missing.
std::string FindDataDirectory(const std::string& programDirectory,
                              const std::string& machineFolder);

}  // namespace qv
