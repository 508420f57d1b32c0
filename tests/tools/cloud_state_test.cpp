#include "tools/sim/cloud_state.h"

#include <gtest/gtest.h>

#include "tools/sim/fault_plan.h"
#include "tools/sim/sim_options.h"

namespace qv::sim {
namespace {

CloudState MakeState() { return CloudState("20260001", {"127.0.0.11", "127.0.0.12"}); }

Json Poll(CloudState& state, int max = 10) {
  std::vector<std::string> keys;
  return state.TakePollAnswer(max, keys);
}

TEST(CloudState, FillsDefaultsAndResolvesPrinterPlaceholders) {
  CloudState state = MakeState();
  AddTasksResult added = state.AddTasks(R"({"tasks": [
      {"print_content": [{"type": 1, "text": "a"}]},
      {"uni_key": "k2", "print_sn": "@2", "print_num": "3", "print_content": "[]"},
      {"uni_key": 77, "print_type": 2, "print_sn": "Kitchen", "print_content": [], "extra": 1}]})");
  ASSERT_EQ(added.error, "");
  ASSERT_EQ(added.keys.size(), 3u);
  EXPECT_EQ(added.keys[1], "k2");
  EXPECT_EQ(added.keys[2], "77");

  Json answer = Poll(state);
  EXPECT_EQ(answer["code"], 200);
  EXPECT_EQ(answer["total"], 3);
  const Json& first = answer["data"][0];
  std::vector<std::string> members;
  for (auto it = first.begin(); it != first.end(); ++it) members.push_back(it.key());
  EXPECT_EQ(members, (std::vector<std::string>{"app_id", "store_id", "uni_key", "print_type",
                                               "print_sn", "print_num", "print_content"}));
  EXPECT_EQ(first["store_id"], "20260001");
  EXPECT_EQ(first["print_sn"], "127.0.0.11");
  EXPECT_EQ(answer["data"][1]["print_sn"], "127.0.0.12");
  EXPECT_EQ(answer["data"][1]["print_num"], "3");       // given as the file has it
  EXPECT_EQ(answer["data"][1]["print_content"], "[]");  // a string stays a string
  EXPECT_EQ(answer["data"][2]["print_sn"], "Kitchen");
  EXPECT_EQ(answer["data"][2]["extra"], 1);
}

TEST(CloudState, HandsOutEachTaskOnceUnlessToldToRepeat) {
  CloudState state = MakeState();
  state.AddTasks(R"([{"uni_key": "once", "print_content": []},
                     {"uni_key": "twice", "sim": {"repeat": 2}, "print_content": []}])");
  Json first = Poll(state);
  EXPECT_EQ(first["total"], 2);
  EXPECT_FALSE(first["data"][1].contains("sim"));
  Json second = Poll(state);
  ASSERT_EQ(second["total"], 1);
  EXPECT_EQ(second["data"][0]["uni_key"], "twice");
  Json third = Poll(state);
  EXPECT_EQ(third["total"], 0);
  EXPECT_EQ(third["data"], Json::array());
}

TEST(CloudState, OneAnswerCarriesDataInOneFormAndRespectsTheLimit) {
  CloudState state = MakeState();
  state.AddTasks(R"([{"uni_key": "a", "print_content": []},
                     {"uni_key": "b", "sim": {"data_as_string": true}, "print_content": []},
                     {"uni_key": "c", "sim": {"data_as_string": true}, "print_content": []},
                     {"uni_key": "d", "sim": {"data_as_string": true}, "print_content": []}])");
  Json first = Poll(state);
  ASSERT_TRUE(first["data"].is_array());
  EXPECT_EQ(first["total"], 1);
  Json second = Poll(state, 2);
  ASSERT_TRUE(second["data"].is_string());
  EXPECT_EQ(second["total"], 2);
  Json inner = Json::parse(second["data"].get<std::string>());
  EXPECT_EQ(inner[0]["uni_key"], "b");
  EXPECT_EQ(inner[1]["uni_key"], "c");
  EXPECT_EQ(Poll(state)["total"], 1);
}

TEST(CloudState, RejectsTaskFilesWithoutContent) {
  CloudState state = MakeState();
  EXPECT_NE(state.AddTasks("not json").error, "");
  EXPECT_NE(state.AddTasks("42").error, "");
  EXPECT_NE(state.AddTasks(R"([{"print_content": []}, {"uni_key": "x"}])").error, "");
  EXPECT_EQ(state.Tasks().size(), 0u);  // nothing of a bad file is added
}

TEST(CloudState, ReportsAreMatchedToTasksAndRepeatsFlagged) {
  CloudState state = MakeState();
  state.AddTasks(R"({"uni_key": "k1", "print_content": []})");
  Poll(state);
  ReportOutcome first = state.RecordReport("k1", "1");
  EXPECT_TRUE(first.knownTask);
  EXPECT_FALSE(first.duplicate);
  EXPECT_TRUE(state.RecordReport("k1", "-1").duplicate);
  EXPECT_FALSE(state.RecordReport("nope", "1").knownTask);
  Json reports = state.Reports();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0]["print_sn"], "127.0.0.11");
  EXPECT_EQ(state.Tasks()[0]["reports"], Json::array({"1", "-1"}));
  EXPECT_EQ(state.Summary()["reported_failed"], 1);
}

TEST(FaultPlan, AppliesToTheNamedEndpointForCountRequests) {
  FaultPlan plan;
  Fault fault;
  ASSERT_EQ(FaultPlan::Parse(Json::parse(R"({"kind": "http500", "count": 2, "endpoint": "wait"})"),
                             fault),
            "");
  plan.Add(fault);
  ASSERT_EQ(FaultPlan::Parse(Json::parse(R"({"kind": "code", "code": 403, "count": 0})"), fault),
            "");
  plan.Add(fault);

  EXPECT_EQ(plan.Take("report")->kind, FaultKind::Code);  // the wait fault does not apply
  EXPECT_EQ(plan.Take("wait")->kind, FaultKind::Http500);
  EXPECT_EQ(plan.Take("wait")->kind, FaultKind::Http500);
  auto lasting = plan.Take("wait");  // count 0 lasts until cleared
  ASSERT_TRUE(lasting);
  EXPECT_EQ(lasting->code, 403);
  EXPECT_TRUE(plan.Take("wait"));
  plan.Clear();
  EXPECT_FALSE(plan.Take("wait"));

  for (const char* bad :
       {R"({"kind": "boom"})", R"({"count": 1})", R"({"kind": "slow", "delay_ms": -1})",
        R"({"kind": "drop", "endpoint": "elsewhere"})", R"({"kind": "redirect"})",
        R"({"kind": "trickle", "bytes_per_second": 0})"}) {
    EXPECT_NE(FaultPlan::Parse(Json::parse(bad), fault), "") << bad;
  }
}

TEST(SimOptions, ReadsTheDemoCommandLineAndRefusesMistakes) {
  SimOptions o;
  ASSERT_EQ(ParseOptions(
                {"demo", "--dir", "/tmp/s", "--tasks", "8", "--printers", "127.0.0.21,127.0.0.22",
                 "--cloud-port", "9443", "--admin-port", "9480", "--write-config", "/tmp/c",
                 "--paper-out", "127.0.0.22", "--drop-after", "127.0.0.21:100"},
                o),
            "");
  EXPECT_EQ(o.mode, SimMode::Demo);
  EXPECT_EQ(o.demoTasks, 8);
  EXPECT_EQ(o.printers, (std::vector<std::string>{"127.0.0.21", "127.0.0.22"}));
  EXPECT_EQ(o.cloudPort, 9443);
  EXPECT_EQ(o.writeConfigDir, "/tmp/c");
  ASSERT_EQ(o.printerSettings.size(), 2u);
  EXPECT_EQ(o.printerSettings[1].second["drop_after_bytes"], 100);

  SimOptions p;
  ASSERT_EQ(ParseOptions({"printer"}, p), "");
  EXPECT_EQ(p.adminPort, 8481);

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"serve"},
                                             {"cloud", "--cloud-port"},
                                             {"cloud", "--cloud-port", "80x"},
                                             {"demo", "--paper-out", "127.0.0.99"},
                                             {"demo", "--drop-after", "127.0.0.11"},
                                             {"cloud", "--colour"}}) {
    SimOptions x;
    std::string error = ParseOptions(bad, x);
    EXPECT_NE(error, "");
    EXPECT_NE(error, "help");
  }
  SimOptions h;
  EXPECT_EQ(ParseOptions({"cloud", "--help"}, h), "help");
}

}  // namespace
}  // namespace qv::sim
