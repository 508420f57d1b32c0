#include "shell/store_config_save.h"

#include <gtest/gtest.h>

#include "core/config/config.h"
#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"

namespace qv::shell {
namespace {

struct SaveFixture : ::testing::Test {
  testing::TempDir dir;
  ServiceConfig config{"old.example", "null", "10001"};
  ServiceState state;
  std::vector<ServiceConfig> checks;  // what each server check was asked
  bool checkAnswer = true;

  // The whole save, with a server check that answers `checkAnswer`.
  SaveResult Save(StoreConfigForm& form) {
    if (const std::optional<SaveResult> ended = SaveStoreOptions(form, state, "default.example")) {
      return *ended;
    }
    checks.push_back(ServerCheckTarget(form, config));
    return AcceptStoreIdentity(form, checkAnswer, config, state);
  }

  SaveFixture() {
    state.configPath = platform::JoinPath(dir.Path(), "config.ini");
    WriteStoreIdentity(state.configPath,
                       {.server = "old.example", .token = "null", .sid = "10001"});
  }

  StoreConfigForm Form(std::string server, std::string sid, std::string feed = "5") {
    StoreConfigForm form;
    form.server = std::move(server);
    form.storeId = std::move(sid);
    form.feedText = std::move(feed);
    return form;
  }

  // The settings as the next start would read them.
  ServiceConfig StoredIdentity() const {
    ServiceConfig stored;
    ReadStoreIdentity(state.configPath, stored);
    return stored;
  }
  struct Switches {
    int feedLines;
    int usbFallbackPort;
    bool autoCut;
  };
  Switches StoredSwitches() const {
    ServiceState stored;
    ReadServiceSwitches(state.configPath, stored);
    return {stored.print.feedLines, stored.print.usbFallbackPort, stored.print.autoCut};
  }
};

TEST_F(SaveFixture, FeedRowsAreCorrectedSilently) {
  for (const auto& [typed, stored] : std::vector<std::pair<std::string, int>>{
           {"20", 15}, {"-3", 5}, {"abc", 0}, {"15", 15}, {"0", 0}, {" 7rows", 7}}) {
    StoreConfigForm form = Form("new.example", "20002", typed);
    Save(form);
    EXPECT_EQ(form.feedText, std::to_string(stored)) << typed;
    EXPECT_EQ(state.print.feedLines, stored) << typed;
    EXPECT_EQ(StoredSwitches().feedLines, stored) << typed;
  }
}

TEST_F(SaveFixture, StoreIdOfFourGbkBytesOrFewerIsRefusedBeforeAnyRequest) {
  struct Case {
    std::string sid;
    bool refused;
  };
  for (const Case& c : std::vector<Case>{{"1234", true},
                                         {"12345", false},
                                         {"门店", true},  // 4 GBK bytes, 6 UTF-8 bytes
                                         {"门店1", false},
                                         {"\xe3\x80\x80"
                                          "1234 ",
                                          true}}) {  // trimmed first
    checks.clear();
    StoreConfigForm form = Form("new.example", c.sid);
    const SaveResult result = Save(form);
    EXPECT_EQ(result == SaveResult::StoreIdRefused, c.refused) << c.sid;
    EXPECT_EQ(checks.empty(), c.refused) << c.sid;
  }
  EXPECT_EQ(MessageFor(SaveResult::StoreIdRefused).text, "门店ID填写错误，请核对！");
}

TEST_F(SaveFixture, AcceptedValuesAreTrimmedCheckedAgainstThemselvesAndStored) {
  StoreConfigForm form = Form("\xe3\x80\x80 new.example:8443 ", "  20002\xe3\x80\x80");
  form.cut = false;
  form.usbPort = 2;

  EXPECT_EQ(Save(form), SaveResult::Saved);

  EXPECT_EQ(form.server, "new.example:8443");
  EXPECT_EQ(form.storeId, "20002");
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0].server, "new.example:8443");
  EXPECT_EQ(checks[0].sid, "20002");
  EXPECT_EQ(checks[0].token, "null");
  EXPECT_EQ(config.server, "new.example:8443");
  EXPECT_EQ(config.sid, "20002");
  EXPECT_EQ(StoredIdentity().server, "new.example:8443");
  EXPECT_EQ(StoredIdentity().sid, "20002");
  EXPECT_FALSE(StoredSwitches().autoCut);
  EXPECT_EQ(StoredSwitches().usbFallbackPort, 2);
  EXPECT_EQ(state.print.usbFallbackPort, 2);
  EXPECT_EQ(MessageFor(SaveResult::Saved).title, "完成");
}

TEST_F(SaveFixture, EmptyServerBoxGetsTheDefaultHostBeforeTheCheck) {
  StoreConfigForm form = Form("  ", "20002");
  Save(form);
  EXPECT_EQ(form.server, "default.example");
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0].server, "default.example");
}

TEST_F(SaveFixture, FailedCheckKeepsServerAndStoreButSavesTheOptions) {
  checkAnswer = false;
  StoreConfigForm form = Form("new.example", "20002", "9");
  form.cut = true;
  form.usbPort = 1;
  state.print.autoCut = false;

  EXPECT_EQ(Save(form), SaveResult::ServerCheckFailed);

  EXPECT_EQ(config.server, "old.example");
  EXPECT_EQ(config.sid, "10001");
  EXPECT_EQ(StoredIdentity().server, "old.example");
  EXPECT_EQ(StoredIdentity().sid, "10001");
  const Switches stored = StoredSwitches();
  EXPECT_EQ(stored.feedLines, 9);
  EXPECT_TRUE(stored.autoCut);
  EXPECT_EQ(stored.usbFallbackPort, 1);
  EXPECT_TRUE(state.print.autoCut);
  EXPECT_EQ(MessageFor(SaveResult::ServerCheckFailed).text, "连接到服务器失败，请核对！");
}

TEST_F(SaveFixture, UnwritableConfigIsNotReportedAsSaved) {
  state.configPath = platform::JoinPath(platform::JoinPath(dir.Path(), "gone"), "config.ini");
  StoreConfigForm form = Form("new.example", "20002");
  EXPECT_EQ(Save(form), SaveResult::NotPersisted);
  EXPECT_EQ(config.sid, "20002") << "in effect until the program ends";
  EXPECT_EQ(MessageFor(SaveResult::NotPersisted).title, "错误");
}

TEST(StoreConfigFill, ShowsTheSettingsInEffect) {
  ServiceConfig config{"", "null", "10001"};
  ServiceState state;
  state.print.autoCut = false;
  state.print.usbFallbackPort = 2;
  state.print.feedLines = 7;
  const StoreConfigForm form = FillStoreConfigForm(config, state, "default.example", true, false);
  EXPECT_EQ(form.server, "default.example");
  EXPECT_EQ(form.storeId, "10001");
  EXPECT_EQ(form.feedText, "7");
  EXPECT_FALSE(form.cut);
  EXPECT_EQ(form.usbPort, 2);
  EXPECT_TRUE(form.autostart);
  EXPECT_FALSE(form.autoRun);
}

}  // namespace
}  // namespace qv::shell
