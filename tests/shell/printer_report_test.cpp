#include "shell/printer_report.h"
#include "platform/gbk.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/file_system.h"
#include "tests/fakes/shell_fakes.h"
#include "tests/fakes/temp_dir.h"
#include "util/text.h"

namespace qv::shell {
namespace {

struct ReportFixture : ::testing::Test {
  PrinterListRequest request{{"cloud.example", "null", "10001"}, "", false};
  RecordingUplink uplink;
};

TEST(PrinterList, ItemsKeepSystemOrderAndEscapeOnlyWhatJsonNeeds) {
  const std::vector<PrinterEntry> two = {{"前台打印机", "USB001"}, {"Kitchen", "IP_10.0.0.9"}};
  EXPECT_EQ(PrinterListJson(two),
            R"([{"n":"前台打印机","p":"USB001"},{"n":"Kitchen","p":"IP_10.0.0.9"}])");
  EXPECT_EQ(PrinterListItems(two),
            R"({"n":"前台打印机","p":"USB001"},{"n":"Kitchen","p":"IP_10.0.0.9"})");
  EXPECT_EQ(PrinterListJson({}), "[]");

  // A name with a quote, a backslash or a control character still gives valid JSON that
  // reads back as the same name.
  const std::vector<PrinterEntry> odd = {{"HP \"Laser\" \\\\srv\\q\t1", "COM1:\n"}};
  const auto parsed = nlohmann::json::parse(PrinterListJson(odd));
  EXPECT_EQ(parsed[0]["n"], odd[0].name);
  EXPECT_EQ(parsed[0]["p"], odd[0].port);

  // Bytes that are no UTF-8 (a queue name CUPS accepted as it stood) become U+FFFD, so the
  // list stays valid UTF-8 JSON; valid UTF-8 next to them is kept.
  const std::vector<PrinterEntry> raw = {{"q\xff"
                                          "1",
                                          "p\xc3"},
                                         {"\xe4\xb8\xad\x80", "ok"}};
  const std::string json = PrinterListJson(raw);
  EXPECT_EQ(json,
            "[{\"n\":\"q\xef\xbf\xbd"
            "1\",\"p\":\"p\xef\xbf\xbd\"},"
            "{\"n\":\"\xe4\xb8\xad\xef\xbf\xbd\",\"p\":\"ok\"}]");
  EXPECT_NO_THROW(nlohmann::json::parse(json));
}

TEST_F(ReportFixture, SendsTheListHashedAndEncodedToTheGivenStore) {
  ListedPrinters printers({{"前台", "USB001"}, {"Bar", "LPT1:"}});
  request.macAddress = "00:1A:2B:3C:4D:5E";
  PrinterListReporter reporter(printers, uplink);

  const PrinterListReport report = reporter.ReportPrinterList(request);
  EXPECT_TRUE(report.accepted);

  const std::string list = R"([{"n":"前台","p":"USB001"},{"n":"Bar","p":"LPT1:"}])";
  EXPECT_EQ(uplink.body, "X-Token=1&times=1700000000&mac=00:1A:2B:3C:4D:5E&md5=" + Md5Hex(list) +
                             "&plist=" + Base64Encode(list));
  EXPECT_EQ(uplink.server, "cloud.example");
  EXPECT_EQ(uplink.sid, "10001");
  EXPECT_TRUE(report.logText.empty()) << "no log entries outside debug mode";
}

TEST_F(ReportFixture, OnlyCode200CountsAsAccepted) {
  ListedPrinters none;
  PrinterListReporter reporter(none, uplink);
  const std::vector<std::pair<std::string, bool>> cases = {
      {R"({"code":200})", true},  {R"({"code":"200"})", true},  {R"({"code":500})", false},
      {R"({"msg":"ok"})", false}, {"<html>busy</html>", false}, {"", false}};
  for (const auto& [answer, accepted] : cases) {
    uplink.answer = answer;
    EXPECT_EQ(reporter.ReportPrinterList(request).accepted, accepted) << answer;
  }
}

TEST_F(ReportFixture, DebugModeLogsEveryOutcomeWithTheItems) {
  ListedPrinters printers({{"A", "P1"}, {"B", "P2"}});
  request.debug = true;
  PrinterListReporter reporter(printers, uplink);
  const std::string url = "https://cloud.example/api/v2/common/local/print/chk";
  const std::string items = R"({"n":"A","p":"P1"},{"n":"B","p":"P2"})";
  struct Case {
    std::string answer, prefix, reason;
  };
  for (const Case& c : std::vector<Case>{
           {R"({"code":200})", "上报打印机成功", "上报打印机成功，"},
           {R"({"code":401})", "上报打印机失败", "上报打印机失败，原因是解析返回code=200，"},
           {"oops", "上报打印机失败", "上报打印机失败，原因是解析返回的数据错误，"}}) {
    uplink.answer = c.answer;
    const PrinterListReport report = reporter.ReportPrinterList(request);
    EXPECT_EQ(report.logPrefix, c.prefix) << c.answer;
    EXPECT_EQ(report.logText,
              url + c.reason + "提交POST内容：" + uplink.body + "\r\n打印机列表：[" + items + "]");
  }
}

TEST(PrinterExport, WritesGbkLinesOrNothing) {
  testing::TempDir dir;
  const std::string path = platform::JoinPath(dir.Path(), kPrinterListFileName);

  ListedPrinters none;
  EXPECT_EQ(ExportPrinterList(none, dir.Path()), ExportResult::NoPrinters);
  EXPECT_FALSE(platform::FileExists(path));

  ListedPrinters two({{"前台打印机", "USB001"}, {"Kitchen", "9100"}});
  ASSERT_EQ(ExportPrinterList(two, dir.Path()), ExportResult::Written);
  std::string bytes;
  ASSERT_TRUE(platform::ReadFile(path, bytes));
  EXPECT_EQ(bytes, FromUtf8("打印机名称：[前台打印机]    打印机端口：[USB001]\r\n"
                            "打印机名称：[Kitchen]    打印机端口：[9100]\r\n"));
  EXPECT_NE(bytes.find("\xc7\xb0\xcc\xa8"), std::string::npos) << "前台 in GBK";

  EXPECT_EQ(ExportPrinterList(two, platform::JoinPath(dir.Path(), "missing")),
            ExportResult::WriteFailed);
}

}  // namespace
}  // namespace qv::shell
