#include "core/config/config.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

class ConfigTest : public ::testing::Test {
 protected:
  // Writes config.ini as the shops' editors do: GBK with CR LF.
  void Write(const std::string& body) {
    ASSERT_TRUE(platform::WriteFile(path_, FromUtf8("[set]\r\n" + body)));
  }
  testing::TempDir dir_;
  std::string path_ = platform::JoinPath(dir_.Path(), "config.ini");
};

TEST_F(ConfigTest, PollSecondsStayBetweenOneSecondAndOneDay) {
  for (const auto& [text, seconds] :
       std::vector<std::pair<std::string, int>>{{"0", 1},
                                                {"-5", 1},
                                                {"abc", 1},
                                                {"10", 10},
                                                {"86400", 86400},
                                                {"86401", 86400},
                                                {"2147483647", 86400},
                                                {"99999999999", 86400}}) {
    Write("time=" + text + "\r\n");
    ProgramSettings state;
    ReadServiceSwitches(path_, state);
    EXPECT_EQ(state.pollSeconds, seconds) << text;
  }
}

TEST_F(ConfigTest, SwitchesCompareAsTheirKeysSay) {
  Write("au_c=2\r\ndebug=true\r\nau_row=20\r\nusbbak=1\r\naurunpr=0\r\n");
  ProgramSettings state;
  ReadServiceSwitches(path_, state);
  ReadShellSettings(path_, state);
  EXPECT_FALSE(state.print.autoCut);     // only the integer 1 cuts
  EXPECT_FALSE(state.debug);             // only the text "1" turns debug on
  EXPECT_EQ(state.print.feedLines, 15);  // a feed above 15 is lowered where it is read
  EXPECT_EQ(state.print.usbFallbackPort, 1);
  EXPECT_FALSE(state.autoRunService);

  Write("au_c=01\r\ndebug=1\r\n");
  ReadServiceSwitches(path_, state);
  EXPECT_TRUE(state.print.autoCut);
  EXPECT_TRUE(state.debug);
}

TEST_F(ConfigTest, StoreIdentityIsTrimmedOfBothKindsOfSpace) {
  Write("sid= 123 \r\nserver=\xE3\x80\x80\xE3\x80\x80\r\n");
  ServiceConfig config;
  ReadStoreIdentity(path_, config);
  EXPECT_EQ(config.sid, "123");
  EXPECT_EQ(config.server, "");

  Write("sid=\xE3\x80\x80门店7\xE3\x80\x80\r\n");
  ReadStoreIdentity(path_, config);
  EXPECT_EQ(config.sid, "门店7");
}

TEST_F(ConfigTest, MissingFileGivesEveryDefault) {
  ServiceConfig config;
  ProgramSettings state;
  ReadStoreIdentity(path_, config);
  ReadServiceSwitches(path_, state);
  ReadShellSettings(path_, state);
  EXPECT_EQ(config.sid, "");
  EXPECT_EQ(config.server, "");
  EXPECT_EQ(state.print.feedLines, 5);
  EXPECT_EQ(state.print.usbFallbackPort, 0);
  EXPECT_FALSE(state.debug);
  EXPECT_EQ(state.pollSeconds, 3);
  EXPECT_TRUE(state.print.autoCut);
  EXPECT_TRUE(state.autoRunService);
  EXPECT_EQ(state.webUrl, DefaultWebUrl());
  EXPECT_TRUE(state.extra.tlsVerify);
}

TEST_F(ConfigTest, WrittenValuesAreReadBack) {
  Write("sid=1\r\n");
  ASSERT_TRUE(WriteStoreIdentity(
      path_, {.server = "cloud.example:8443", .token = "null", .sid = "门店10001"}));
  ServiceConfig config;
  ReadStoreIdentity(path_, config);
  EXPECT_EQ(config.server, "cloud.example:8443");
  EXPECT_EQ(config.sid, "门店10001");
}

}  // namespace
}  // namespace qv
