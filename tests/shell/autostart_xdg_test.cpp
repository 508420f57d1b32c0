// The XDG autostart entry, written into a temporary configuration directory.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/autostart.h"
#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"

namespace qv::platform {
namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

std::string Read(const std::string& path) {
  std::string text;
  ReadFile(path, text);
  return text;
}

TEST(XdgAutostart, WritesAndRemovesTheEntryWithTheProgramQuoted) {
  testing::TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "/cfg");
  const std::string entry = dir.Path() + "/cfg/autostart/quorvel-print.desktop";
  auto autostart = Autostart::Create();

  EXPECT_FALSE(autostart->Exists());
  ASSERT_TRUE(autostart->Set("/opt/Quorvel Print/quorvel-print", "auto"));
  EXPECT_TRUE(autostart->Exists());
  const std::string text = Read(entry);
  EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=\"/opt/Quorvel Print/quorvel-print\" auto\n"), std::string::npos)
      << text;

  ASSERT_TRUE(autostart->Set("/opt/quorvel/quorvel-print", "auto"));
  EXPECT_NE(Read(entry).find("\nExec=/opt/quorvel/quorvel-print auto\n"), std::string::npos)
      << "a plain path needs no quotes; setting again replaces the entry";

  EXPECT_TRUE(autostart->Remove());
  EXPECT_FALSE(autostart->Exists());
  EXPECT_FALSE(FileExists(entry));
  EXPECT_TRUE(autostart->Remove()) << "nothing left to remove is no failure";
}

TEST(XdgAutostart, RelativeConfigHomeFallsBackToHomeConfig) {
  testing::TempDir dir;
  ScopedEnv home("HOME", dir.Path());
  ScopedEnv config("XDG_CONFIG_HOME", "relative/dir");
  auto autostart = Autostart::Create();
  ASSERT_TRUE(autostart->Set("/usr/bin/quorvel-print", "auto"));
  EXPECT_TRUE(FileExists(dir.Path() + "/.config/autostart/quorvel-print.desktop"));
}

TEST(XdgAutostart, UnwritableDirectoryIsReported) {
  testing::TempDir dir;
  WriteFile(dir.Path() + "/file", "x");
  ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "/file");
  auto autostart = Autostart::Create();
  EXPECT_FALSE(autostart->Set("/usr/bin/quorvel-print", "auto"));
  EXPECT_FALSE(autostart->Exists());
}

}  // namespace
}  // namespace qv::platform
