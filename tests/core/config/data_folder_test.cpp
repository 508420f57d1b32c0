#include "core/config/data_folder.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

TEST(DataFolder, ChoiceByWhatTheSystemReports) {
  struct Case {
    bool writable, configBeside, machinePresent;
    DataHome home;
    const char* why;
  };
  for (const Case& c : std::vector<Case>{
           {true, true, false, DataHome::BesideProgram, "portable copy"},
           {true, true, true, DataHome::BesideProgram, "a copied folder keeps its own files"},
           {true, false, false, DataHome::BesideProgram, "fresh copy, nothing installed"},
           {true, false, true, DataHome::MachineFolder, "installed, run by an administrator"},
           {false, false, true, DataHome::MachineFolder, "installed, run by a user"},
           {false, false, false, DataHome::MachineFolder, "read-only folder, no data folder yet"},
           {false, true, true, DataHome::MachineFolder, "config.ini there but not writable"},
           {false, true, false, DataHome::MachineFolder, "read-only copy with config.ini"}}) {
    EXPECT_EQ(ChooseDataHome({c.writable, c.configBeside, c.machinePresent}), c.home) << c.why;
  }
}

// On the real file system: the facts are read from the folders (a test's folders are
// writable, so the read-only cases are the table's).
TEST(DataFolder, FindsTheFolderOnDisk) {
  testing::TempDir dir;
  const std::string program = platform::JoinPath(dir.Path(), "program");
  const std::string machine = platform::JoinPath(dir.Path(), "machine");
  ASSERT_TRUE(platform::MakeDirectory(program));

  EXPECT_EQ(FindDataDirectory(program, ""), program) << "no data folder on this platform";
  EXPECT_EQ(FindDataDirectory(program, machine), program);
  EXPECT_FALSE(platform::DirectoryExists(machine)) << "not made for a plain folder";

  ASSERT_TRUE(platform::MakeDirectory(machine));
  EXPECT_EQ(FindDataDirectory(program, machine), machine);

  ASSERT_TRUE(platform::WriteFile(platform::JoinPath(program, "config.ini"), "[set]\r\n"));
  EXPECT_EQ(FindDataDirectory(program, machine), program);
}

}  // namespace
}  // namespace qv
