#include "core/config/startup.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "platform/process.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

struct FakeInstance : platform::InstanceLock {};

class FakeEnvironment : public StartupEnvironment {
 public:
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + "|" + text);
  }
  std::string MacAddress() override { return "00:11:22:33:44:55"; }
  std::unique_ptr<platform::InstanceLock> AcquireInstance(const std::string& name) override {
    instanceName = name;
    return otherInstanceRuns ? nullptr : std::make_unique<FakeInstance>();
  }
  void LaunchDetached(const std::string& path, const std::string&) override {
    launched.push_back(path);
  }
  std::string MachineDataDirectory() override { return machineFolder; }

  bool otherInstanceRuns = false;
  std::string instanceName;
  std::vector<std::string> messages;
  std::vector<std::string> launched;
  std::string machineFolder;
};

class StartupTest : public ::testing::Test {
 protected:
  StartOutcome Start(std::vector<std::string> args = {}) {
    return RunStartSequence(args, dir_.Path(), env_, config_, state_, instance_);
  }
  void WriteConfig(const std::string& body) {
    ASSERT_TRUE(platform::WriteFile(platform::JoinPath(dir_.Path(), "config.ini"),
                                    FromUtf8("[set]\r\n" + body)));
  }

  testing::TempDir dir_;
  FakeEnvironment env_;
  ServiceConfig config_;
  ProgramSettings state_;
  std::unique_ptr<platform::InstanceLock> instance_;
};

TEST_F(StartupTest, SecondInstanceShowsOneMessageAndTouchesNothing) {
  env_.otherInstanceRuns = true;
  EXPECT_EQ(Start(), StartOutcome::SecondInstance);
  EXPECT_EQ(env_.instanceName, "asifjslajgojglafs");
  EXPECT_EQ(env_.messages,
            std::vector<std::string>{
                "友情提醒:|程序已经有一个实例运行，如果找不到请在右下角系统托盘查看!"});
  EXPECT_FALSE(platform::DirectoryExists(platform::JoinPath(dir_.Path(), "log")));
  EXPECT_EQ(state_.macAddress, "");
}

TEST_F(StartupTest, ConfiguredStartReadsEverythingAndCreatesTheLogDirectory) {
  WriteConfig("sid=10001\r\nserver=cloud.example\r\ntime=10\r\naurunpr=0\r\nurl=https://x/\r\n");
  EXPECT_EQ(Start({"auto"}), StartOutcome::Started);
  EXPECT_TRUE(env_.messages.empty());
  EXPECT_TRUE(state_.launchedWithArgs);
  EXPECT_EQ(state_.macAddress, "00:11:22:33:44:55");
  EXPECT_EQ(config_.sid, "10001");
  EXPECT_EQ(config_.token, "null");
  EXPECT_EQ(state_.pollSeconds, 10);
  EXPECT_FALSE(state_.autoRunService);
  EXPECT_EQ(state_.webUrl, "https://x/");
  EXPECT_EQ(state_.configPath, platform::JoinPath(dir_.Path(), "config.ini"));
  EXPECT_EQ(state_.dataDirectory, dir_.Path()) << "no data folder on this platform";
  EXPECT_TRUE(platform::DirectoryExists(state_.logDirectory));
  EXPECT_TRUE(env_.launched.empty());
}

TEST_F(StartupTest, AtMostOneBoxAboutTheStore) {
  const std::string server = "信息：|服务器地址为空,请在配置文件里填写";
  const std::string store = "信息：|门店ID为空,请在配置文件里填写";
  struct Case {
    std::string config;
    bool unattended;
    std::vector<std::string> messages;
  };
  for (const Case& c : std::vector<Case>{// 设置 opens by itself and asks for both.
                                         {"", false, {}},
                                         {"server=s\r\n", false, {}},
                                         // Nobody opens 设置: one box, the server first.
                                         {"", true, {server}},
                                         {"aurunpr=0\r\n", false, {server}},
                                         {"server=s\r\n", true, {store}},
                                         {"sid=10001\r\n", false, {server}},
                                         {"sid=10001\r\nserver=s\r\n", true, {}}}) {
    WriteConfig(c.config);
    env_.messages.clear();
    Start(c.unattended ? std::vector<std::string>{"auto"} : std::vector<std::string>{});
    EXPECT_EQ(env_.messages, c.messages) << c.config << (c.unattended ? " unattended" : "");
  }
}

// The installed program: its folder has no config.ini, the installer made the data folder.
TEST_F(StartupTest, InstalledProgramKeepsTheShopsFilesInTheDataFolder) {
  env_.machineFolder = platform::JoinPath(dir_.Path(), "data");
  ASSERT_TRUE(platform::MakeDirectory(env_.machineFolder));
  const std::string ini = platform::JoinPath(env_.machineFolder, "config.ini");
  ASSERT_TRUE(platform::WriteFile(ini, "[set]\r\nsid=10001\r\nserver=s\r\n"));
  Start();
  EXPECT_EQ(state_.dataDirectory, env_.machineFolder);
  EXPECT_EQ(state_.configPath, ini);
  EXPECT_EQ(config_.sid, "10001");
  EXPECT_EQ(state_.logDirectory, platform::JoinPath(env_.machineFolder, "log"));
  EXPECT_TRUE(platform::DirectoryExists(state_.logDirectory));
  EXPECT_FALSE(platform::DirectoryExists(platform::JoinPath(dir_.Path(), "log")));

  // A folder with its own config.ini beside the program stays a plain folder.
  WriteConfig("sid=20002\r\nserver=s\r\n");
  Start();
  EXPECT_EQ(state_.dataDirectory, dir_.Path());
  EXPECT_EQ(config_.sid, "20002");
  EXPECT_EQ(state_.logDirectory, platform::JoinPath(dir_.Path(), "log"));
}

TEST_F(StartupTest, UncreatableLogDirectoryIsReportedOnlyToAPerson) {
  WriteConfig("sid=1\r\nserver=s\r\n");
  // A file named "log" makes the directory impossible to create.
  ASSERT_TRUE(platform::WriteFile(platform::JoinPath(dir_.Path(), "log"), "x"));
  Start({"auto"});
  EXPECT_TRUE(env_.messages.empty());
  Start();
  ASSERT_EQ(env_.messages.size(), 1u);
  EXPECT_EQ(env_.messages[0], "提示|创建日志目录失败，请手动创建\r\n" + state_.logDirectory);
}

TEST_F(StartupTest, StartsTheHelperProgramWhenItIsThere) {
  WriteConfig("sid=1\r\nserver=s\r\n");
  const std::string helper = platform::JoinPath(dir_.Path(), platform::ExecutableName("kestr"));
  ASSERT_TRUE(platform::WriteFile(helper, ""));
  Start();
  EXPECT_EQ(env_.launched, std::vector<std::string>{helper});
}

}  // namespace
}  // namespace qv
