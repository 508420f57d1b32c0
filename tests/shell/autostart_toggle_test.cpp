#include "shell/autostart_toggle.h"

#include <gtest/gtest.h>

#include "tests/fakes/shell_fakes.h"

namespace qv::shell {
namespace {

TEST(AutostartToggle, BoxShowsWhatTheSystemHoldsAfterEveryChange) {
  MemoryAutostart entry;
  int questions = 0;
  auto answer = [&](bool ok) {
    return [&questions, ok] {
      ++questions;
      return ok;
    };
  };
  const std::string program = "C:\\Program Files\\Quorvel\\quorvel-print.exe";

  EXPECT_TRUE(ToggleAutostart(true, entry, program, answer(true)));
  EXPECT_EQ(entry.command, program + " auto");
  EXPECT_EQ(questions, 0);

  EXPECT_TRUE(ToggleAutostart(false, entry, program, answer(false))) << "Cancel keeps it";
  EXPECT_EQ(entry.command, program + " auto");
  EXPECT_EQ(questions, 1);

  EXPECT_FALSE(ToggleAutostart(false, entry, program, answer(true)));
  EXPECT_TRUE(entry.command.empty());

  entry.refuseWrites = true;
  EXPECT_FALSE(ToggleAutostart(true, entry, program, answer(true)));
}

}  // namespace
}  // namespace qv::shell
